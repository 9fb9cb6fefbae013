#include "platform/win32/Win32Dde.h"

#include "base/Trace.h"
#include "platform/CodePage.h"
#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"

namespace zorvex::win32 {

namespace {

constexpr DWORD kRequestTimeoutMs = 10000;
constexpr DWORD kQueryBuffer = 4096;
constexpr int kBusyRetries = 25;
constexpr DWORD kBusyRetryMs = 10;

// The DDE link is the one part of the program that speaks the system's ANSI code page: browsers
// answer in CF_TEXT. Names we send are ASCII; everything that arrives is converted to UTF-8 here.

// A DDE string handle; needs its instance to be freed.
class DdeString {
 public:
  DdeString(DWORD instance, const std::string& text)
      : instance_(instance), handle_(::DdeCreateStringHandleA(instance, text.c_str(), CP_WINANSI)) {}
  ~DdeString() {
    if (handle_ != nullptr) ::DdeFreeStringHandle(instance_, handle_);
  }
  DdeString(const DdeString&) = delete;
  DdeString& operator=(const DdeString&) = delete;
  HSZ get() const { return handle_; }

 private:
  DWORD instance_;
  HSZ handle_;
};

// The one monitor that hears registrations; DDEML's callback carries no context of its own.
Win32DdeMonitor* g_monitor = nullptr;

class Win32Conversation : public IDdeConversation {
 public:
  explicit Win32Conversation(DWORD instance) : instance_(instance) {}
  ~Win32Conversation() override { Disconnect(); }

  bool Open(const std::string& service, const std::string& topic) override {
    Disconnect();
    if (instance_ == 0) return false;
    DdeString serviceName(instance_, service);
    DdeString topicName(instance_, topic);
    CONVCONTEXT context{};
    context.cb = sizeof context;
    context.iCodePage = CP_WINANSI;
    // No program is ever started to get a server: a popup killer must not launch browsers.
    conversation_ = ::DdeConnect(instance_, serviceName.get(), topicName.get(), &context);
    return conversation_ != nullptr;
  }

  std::optional<std::string> RequestText(const std::string& item) override {
    if (conversation_ == nullptr) return std::nullopt;
    DdeString itemName(instance_, item);
    HDDEDATA data = Request(itemName.get());
    // A server still busy with the acknowledgement of our previous request turns the next one down
    // as not processed (seen under Wine with back-to-back requests); a few short retries get its
    // real answer.
    for (int retry = 0; retry < kBusyRetries && data == nullptr && ::DdeGetLastError(instance_) == DMLERR_NOTPROCESSED;
         ++retry) {
      ::Sleep(kBusyRetryMs);
      data = Request(itemName.get());
    }
    if (data == nullptr) return std::nullopt;
    const UniqueDdeData owned(data);
    DWORD size = 0;
    std::string text;
    if (const BYTE* bytes = ::DdeAccessData(data, &size)) {
      // Unaccessed however the copy ends: a reply too large to copy fails this pass only.
      struct Unaccess {
        HDDEDATA data;
        ~Unaccess() { ::DdeUnaccessData(data); }
      } unaccess{data};
      text.assign(reinterpret_cast<const char*>(bytes), size);
    }
    return AnsiToUtf8(text.substr(0, text.find('\0')));
  }

 private:
  HDDEDATA Request(HSZ item) {
    return ::DdeClientTransaction(nullptr, 0, conversation_, item, CF_TEXT, XTYP_REQUEST, kRequestTimeoutMs, nullptr);
  }
  void Disconnect() {
    if (conversation_ != nullptr) ::DdeDisconnect(conversation_);
    conversation_ = nullptr;
  }
  DWORD instance_;
  HCONV conversation_ = nullptr;
};

}  // namespace

bool Win32DdeMonitor::Join(const std::string& ownService, RegisterHandler onRegister) {
  Leave();
  handler_ = std::move(onRegister);
  g_monitor = this;
  if (::DdeInitializeA(&instance_, Callback, APPCLASS_MONITOR, 0) != DMLERR_NO_ERROR) {
    instance_ = 0;
    g_monitor = nullptr;
    handler_ = nullptr;
    return false;
  }
  DdeString name(instance_, ownService);
  ::DdeNameService(instance_, name.get(), nullptr, DNS_REGISTER);
  return true;
}

void Win32DdeMonitor::Leave() {
  if (instance_ != 0) {
    ::DdeNameService(instance_, nullptr, nullptr, DNS_UNREGISTER);
    ::DdeUninitialize(instance_);
  }
  instance_ = 0;
  handler_ = nullptr;
  if (g_monitor == this) g_monitor = nullptr;
}

std::string Win32DdeMonitor::Query(HSZ handle) const {
  if (handle == nullptr) return std::string();
  char buffer[kQueryBuffer] = {};
  const DWORD length = ::DdeQueryStringA(instance_, handle, buffer, kQueryBuffer, CP_WINANSI);
  return AnsiToUtf8(std::string(buffer, length < kQueryBuffer ? length : kQueryBuffer - 1));
}

HDDEDATA CALLBACK Win32DdeMonitor::Callback(UINT type, UINT, HCONV, HSZ first, HSZ second, HDDEDATA, ULONG_PTR,
                                            ULONG_PTR) {
  Win32DdeMonitor* self = g_monitor;
  if (type != XTYP_REGISTER || self == nullptr || self->instance_ == 0 || !self->handler_) return nullptr;
  // No exception may cross into DDEML; a notice we cannot handle is missed, with a trace.
  DropFailure("DDE registration notice", [&] { self->handler_(self->Query(first), self->Query(second)); });
  return nullptr;
}

Win32DdeClient::Win32DdeClient() {
  if (::DdeInitializeA(&instance_, Callback, 0, 0) != DMLERR_NO_ERROR) instance_ = 0;
}

Win32DdeClient::~Win32DdeClient() {
  if (instance_ != 0) ::DdeUninitialize(instance_);
}

std::unique_ptr<IDdeConversation> Win32DdeClient::NewConversation() {
  return std::make_unique<Win32Conversation>(instance_);
}

void Win32MessagePump::ProcessMessages() { Drain(); }

void Win32MessagePump::ProcessMessagesFor(std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  for (;;) {
    // A quit request stays queued for the main loop; waiting on it would only spin.
    if (!Drain()) return;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return;
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

bool Win32MessagePump::Drain() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // The main loop must still see it.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      return false;
    }
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return true;
}

}  // namespace zorvex::win32
