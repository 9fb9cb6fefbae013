// Test helper: a browser's DDE interface as the closer knows it. Registers a DDE service (by
// default "IEXPLORE"), owns one page window and answers:
//   WWW_GetWindowInfo, item "0xFFFFFFFF,sUrl,xsTitle"  ->  "\"URL\",\"TITLE\"" (or "\"\"" with --quotes)
//   WWW_OpenURL, an item holding "javascript:window.close();"  ->  closes its page window
//
//   dde_browser.exe --ready=EVENT [--service=NAME] [--url=URL] [--title=TITLE] [--quotes]
//                   [--refuse=N] [--record=FILE] [--seconds=N]
// With --refuse=N its first N window-info requests are turned down as not processed, as a busy
// browser does.
// Every request item is appended to FILE as "TOPIC|ITEM". The program ends when its window is
// closed or the time runs out.
#include <windows.h>
#include <ddeml.h>

#include <cstdio>
#include <string>

namespace {

DWORD g_instance = 0;
HWND g_page = nullptr;
std::string g_url = "http://example.com/";
std::string g_title = "Page";
std::string g_record;
bool g_quotes = false;
int g_refuse = 0;

constexpr const char* kInfoTopic = "WWW_GetWindowInfo";
constexpr const char* kOpenTopic = "WWW_OpenURL";
constexpr const char* kInfoItem = "0xFFFFFFFF,sUrl,xsTitle";

std::string Text(HSZ handle) {
  char buffer[1024] = {};
  ::DdeQueryStringA(g_instance, handle, buffer, sizeof buffer, CP_WINANSI);
  return buffer;
}

void Record(const std::string& line) {
  if (g_record.empty()) return;
  if (FILE* f = std::fopen(g_record.c_str(), "ab")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

HDDEDATA Reply(HSZ item, const std::string& text) {
  return ::DdeCreateDataHandle(g_instance, reinterpret_cast<LPBYTE>(const_cast<char*>(text.c_str())),
                               static_cast<DWORD>(text.size() + 1), 0, item, CF_TEXT, 0);
}

HDDEDATA CALLBACK Callback(UINT type, UINT format, HCONV, HSZ topicHandle, HSZ itemHandle, HDDEDATA, ULONG_PTR,
                           ULONG_PTR) {
  switch (type) {
    case XTYP_CONNECT: {
      const std::string topic = Text(topicHandle);
      return reinterpret_cast<HDDEDATA>(static_cast<ULONG_PTR>(topic == kInfoTopic || topic == kOpenTopic));
    }
    case XTYP_REQUEST: {
      if (format != CF_TEXT) return nullptr;
      const std::string topic = Text(topicHandle);
      const std::string item = Text(itemHandle);
      Record(topic + "|" + item);
      if (topic == kInfoTopic && item == kInfoItem) {
        // No data handle is the server's "not processed".
        if (g_refuse > 0) {
          --g_refuse;
          return nullptr;
        }
        return Reply(itemHandle, g_quotes ? "\"\"" : "\"" + g_url + "\",\"" + g_title + "\"");
      }
      if (topic == kOpenTopic && item.find("javascript:window.close();") != std::string::npos) {
        ::PostMessageA(g_page, WM_CLOSE, 0, 0);
        return Reply(itemHandle, "0");
      }
      return nullptr;
    }
    default:
      return nullptr;
  }
}

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) ::PostQuitMessage(0);
  return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::string service = "IEXPLORE";
  std::string ready;
  int seconds = 60;
  for (int i = 1; i < __argc; ++i) {
    const std::string arg = __argv[i];
    auto value = [&](const char* name) { return arg.substr(std::char_traits<char>::length(name)); };
    if (arg.rfind("--ready=", 0) == 0) ready = value("--ready=");
    else if (arg.rfind("--service=", 0) == 0) service = value("--service=");
    else if (arg.rfind("--url=", 0) == 0) g_url = value("--url=");
    else if (arg.rfind("--title=", 0) == 0) g_title = value("--title=");
    else if (arg.rfind("--record=", 0) == 0) g_record = value("--record=");
    else if (arg.rfind("--seconds=", 0) == 0) seconds = std::stoi(value("--seconds="));
    else if (arg.rfind("--refuse=", 0) == 0) g_refuse = std::stoi(value("--refuse="));
    else if (arg == "--quotes") g_quotes = true;
  }

  WNDCLASSA wc{};
  wc.lpfnWndProc = PageProc;
  wc.hInstance = instance;
  wc.lpszClassName = "DdeTestPage";
  ::RegisterClassA(&wc);
  g_page = ::CreateWindowExA(0, wc.lpszClassName, g_title.c_str(), WS_OVERLAPPEDWINDOW, 60, 60, 700, 500, nullptr,
                             nullptr, instance, nullptr);
  ::ShowWindow(g_page, SW_SHOWNOACTIVATE);

  if (::DdeInitializeA(&g_instance, Callback, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS, 0) != DMLERR_NO_ERROR)
    return 3;
  HSZ name = ::DdeCreateStringHandleA(g_instance, service.c_str(), CP_WINANSI);
  ::DdeNameService(g_instance, name, nullptr, DNS_REGISTER);

  if (!ready.empty()) {
    if (HANDLE event = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, ready.c_str())) {
      ::SetEvent(event);
      ::CloseHandle(event);
    }
  }

  ::SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  ::DdeNameService(g_instance, nullptr, nullptr, DNS_UNREGISTER);
  ::DdeFreeStringHandle(g_instance, name);
  ::DdeUninitialize(g_instance);
  return 0;
}
