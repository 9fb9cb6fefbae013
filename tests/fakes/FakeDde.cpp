#include "tests/fakes/FakeDde.h"

#include <algorithm>

#include "base/Text.h"

namespace zorvex::fake {

bool FakeDdeMonitor::Join(const std::string& ownService, RegisterHandler onRegister) {
  if (refuse) return false;
  joins.push_back(ownService);
  handler_ = std::move(onRegister);
  return true;
}

void FakeDdeMonitor::Leave() {
  ++leaves;
  handler_ = nullptr;
}

bool FakeDdeMonitor::Announce(const std::string& service, const std::string& instance) {
  if (!handler_) return false;
  handler_(service, instance);
  return true;
}

namespace {

class FakeConversation : public IDdeConversation {
 public:
  explicit FakeConversation(FakeDdePeer& peer) : peer_(peer) { ++peer_.live; }
  ~FakeConversation() override { --peer_.live; }

  bool Open(const std::string& service, const std::string& topic) override {
    open_ = AsciiUpper(service) == AsciiUpper(peer_.service) &&
            std::find(peer_.topics.begin(), peer_.topics.end(), topic) != peer_.topics.end();
    open_ ? ++peer_.opened : ++peer_.refused;
    service_ = service;
    topic_ = topic;
    return open_;
  }

  std::optional<std::string> RequestText(const std::string& item) override {
    if (!open_) return std::nullopt;
    peer_.requests.push_back({service_, topic_, item});
    if (!peer_.answer) return std::nullopt;
    auto reply = peer_.answer(topic_, item);
    if (reply) reply = reply->substr(0, reply->find('\0'));
    return reply;
  }

 private:
  FakeDdePeer& peer_;
  bool open_ = false;
  std::string service_;
  std::string topic_;
};

}  // namespace

std::unique_ptr<IDdeConversation> FakeDdePeer::NewConversation() {
  return std::make_unique<FakeConversation>(*this);
}

}  // namespace zorvex::fake
