// In-memory DDE for the tests: a registry that the test announces registrations through, and a
// scripted browser peer that answers requests by topic and item.
#pragma once

#include <map>
#include <vector>

#include "platform/Platform.h"

namespace zorvex::fake {

class FakeDdeMonitor : public IDdeMonitor {
 public:
  bool Join(const std::string& ownService, RegisterHandler onRegister) override;
  void Leave() override;
  // Tells the joined handler of a registration, as the system would; false when nobody listens.
  bool Announce(const std::string& service, const std::string& instance);

  bool refuse = false;          // Join fails, as a DDE initialisation failure would
  std::vector<std::string> joins;  // service names joined under, in order
  int leaves = 0;
  bool Joined() const { return static_cast<bool>(handler_); }

 private:
  RegisterHandler handler_;
};

// A scripted browser DDE server and the client that reaches it.
class FakeDdePeer : public IDdeClient {
 public:
  struct Request {
    std::string service;
    std::string topic;
    std::string item;
  };
  std::unique_ptr<IDdeConversation> NewConversation() override;

  // Topics the server offers (service names compared without regard to case).
  std::string service = "IEXPLORE";
  std::vector<std::string> topics = {"WWW_GetWindowInfo", "WWW_OpenURL"};
  // The answer to a request; none means no answer.
  std::function<std::optional<std::string>(const std::string& topic, const std::string& item)> answer;

  std::vector<Request> requests;
  int opened = 0;
  int refused = 0;
  int live = 0;  // conversations not yet ended
};

// Clocks the test sets. Time passes by step at every reading of either clock; Advance moves both,
// while setting time alone changes the wall clock only, as a user setting the system time would.
// A clock without a step is only read by its readers, so that closing threads may read it at once;
// the test moves it while no thread reads it.
class FakeClock : public IClock {
 public:
  std::chrono::system_clock::time_point Now() override {
    const auto now = time;
    if (step != std::chrono::system_clock::duration::zero()) Advance(step);
    return now;
  }
  std::chrono::steady_clock::time_point Steady() override {
    const auto now = steady;
    if (step != std::chrono::system_clock::duration::zero()) Advance(step);
    return now;
  }
  void Advance(std::chrono::system_clock::duration d) {
    time += d;
    steady += std::chrono::duration_cast<std::chrono::steady_clock::duration>(d);
  }
  std::chrono::system_clock::time_point time = std::chrono::system_clock::time_point() + std::chrono::hours(24 * 365 * 30);
  std::chrono::steady_clock::time_point steady = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
  std::chrono::system_clock::duration step{};
};

// A pump with no messages of its own: onPump stands for whatever the main thread would handle. A
// pause lets its span pass on the clock, when one is given.
class FakePump : public IMessagePump {
 public:
  void ProcessMessages() override {
    ++calls;
    if (onPump) onPump();
  }
  void ProcessMessagesFor(std::chrono::milliseconds span) override {
    ++calls;
    pauses.push_back(span);
    if (clock) clock->Advance(span);
    if (onPump) onPump();
  }
  int calls = 0;
  std::vector<std::chrono::milliseconds> pauses;
  std::shared_ptr<FakeClock> clock;
  std::function<void()> onPump;
};

}  // namespace zorvex::fake
