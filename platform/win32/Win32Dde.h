// DDE over DDEML: the monitor link that hears service registrations, the client conversations,
// and the message pump the closer lets run while it waits for a browser.
//
// Lifecycle: all of these belong to the main thread (DDEML instances are bound to the thread that
// made them). The monitor's instance lives from Join to Leave; the client's from construction to
// destruction. Every string handle and data handle is freed on every path.
#pragma once

#include <windows.h>
#include <ddeml.h>

#include "platform/Platform.h"

namespace zorvex::win32 {

class Win32DdeMonitor : public IDdeMonitor {
 public:
  Win32DdeMonitor() = default;
  ~Win32DdeMonitor() override { Leave(); }
  Win32DdeMonitor(const Win32DdeMonitor&) = delete;
  Win32DdeMonitor& operator=(const Win32DdeMonitor&) = delete;

  bool Join(const std::string& ownService, RegisterHandler onRegister) override;
  void Leave() override;

 private:
  static HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV conversation, HSZ first, HSZ second,
                                    HDDEDATA data, ULONG_PTR data1, ULONG_PTR data2);
  std::string Query(HSZ handle) const;

  DWORD instance_ = 0;
  RegisterHandler handler_;
};

class Win32DdeClient : public IDdeClient {
 public:
  Win32DdeClient();
  ~Win32DdeClient() override;
  Win32DdeClient(const Win32DdeClient&) = delete;
  Win32DdeClient& operator=(const Win32DdeClient&) = delete;

  std::unique_ptr<IDdeConversation> NewConversation() override;

 private:
  static HDDEDATA CALLBACK Callback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }
  DWORD instance_ = 0;
};

class Win32MessagePump : public IMessagePump {
 public:
  void ProcessMessages() override;
  void ProcessMessagesFor(std::chrono::milliseconds span) override;

 private:
  // Handles the pending messages; false when it met WM_QUIT (posted again for the main loop).
  bool Drain();
};

}  // namespace zorvex::win32
