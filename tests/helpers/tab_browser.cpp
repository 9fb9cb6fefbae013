// Test helper: one browser window of today's kind, whose pages are tabs that it shows to other
// programs through its own accessibility tree (it answers WM_GETOBJECT), the tab strip nested
// several levels down beside the page, as real browsers have it. Copy it as chrome.exe,
// firefox.exe or thunderbird.exe so that the program name says what it is.
//
//   tab_browser.exe --ready=EVENT --class=CLASS --mode=MODE [--tabs=A|B|C] [--selected=N]
//                   [--log=FILE] [--stall=MS] [--size=W,H] [--seconds=N]
//   MODE: popup   one tab, the strip there but hidden (a page opened with window features)
//         one     one tab, the strip shown
//         tabs    the tabs given, the one at --selected in front
//         none    no accessibility at all (WM_GETOBJECT left to the system)
//         stall   as tabs, but the strip stops answering for MS milliseconds once it is asked
//         grouped as tabs, every tab but the front one in a collapsed group, hidden
//         hidden  as tabs, the whole strip hidden
//         full    no strip at all, the window filling its monitor (full screen)
//         mute    as tabs, each tab's last button its sound switch
//         uidoc   as tabs, the strip inside a document that is the browser's own interface
// The window's title is the front tab's title, or --titled=TITLE. FILE gets a line "lost tab: TITLE" for each tab
// the browser loses (closed by its button, or with the window), "muted: TITLE" for a sound button
// pressed, and "entered the page" if anyone walks into the page's document.
#include <windows.h>

#include <oleacc.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &out[0], size);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

std::string g_logPath;
DWORD g_stallMs = 0;
HWND g_window = nullptr;

void Log(const std::string& line) {
  if (g_logPath.empty()) return;
  FILE* file = std::fopen(g_logPath.c_str(), "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", line.c_str());
  std::fclose(file);
}

class Node;
// Every node lives until the process ends: other programs may hold references to any of them.
std::vector<std::unique_ptr<Node>> g_nodes;

class Node : public IAccessible {
 public:
  Node(long role, std::string name, long initial = 0) : state(initial), role_(role), name_(std::move(name)) {}
  std::string value;  // an address, for documents
  virtual ~Node() = default;

  static Node* Make(long role, const std::string& name, long state = 0) {
    g_nodes.push_back(std::make_unique<Node>(role, name, state));
    return g_nodes.back().get();
  }
  Node* Add(Node* child) {
    child->parent = this;
    children.push_back(child);
    return child;
  }

  std::vector<Node*> children;
  Node* parent = nullptr;
  long state = 0;
  bool stalls = false;   // the strip: stops answering once
  bool decoy = false;    // inside the page: nobody should come here
  void (*action)(Node*) = nullptr;
  std::string tabTitle;  // for buttons: the tab they belong to

  // IUnknown: the tree owns the nodes; references only keep the count honest.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_IAccessible) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }

  // IDispatch: not offered.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** out) override {
    Visit();
    *out = parent;
    if (parent == nullptr) return S_FALSE;
    parent->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override {
    Visit();
    *count = static_cast<long>(children.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT id, IDispatch** out) override {
    Visit();
    *out = nullptr;
    if (id.vt != VT_I4 || id.lVal < 1 || id.lVal > static_cast<long>(children.size())) return E_INVALIDARG;
    *out = children[static_cast<std::size_t>(id.lVal - 1)];
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accName(VARIANT, BSTR* out) override {
    Visit();
    *out = SysAllocString(Wide(name_).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT, BSTR* out) override {
    *out = value.empty() ? nullptr : SysAllocString(Wide(value).c_str());
    return value.empty() ? S_FALSE : S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT, BSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT, VARIANT* out) override {
    Visit();
    out->vt = VT_I4;
    out->lVal = role_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT, VARIANT* out) override {
    Visit();
    out->vt = VT_I4;
    out->lVal = state;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT, BSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, long* topic) override {
    *file = nullptr;
    *topic = 0;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT, BSTR* out) override {
    *out = nullptr;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* out) override {
    out->vt = VT_EMPTY;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* out) override {
    out->vt = VT_EMPTY;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT, BSTR* out) override {
    *out = action != nullptr ? SysAllocString(L"Press") : nullptr;
    return action != nullptr ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accSelect(long, VARIANT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE accLocation(long* l, long* t, long* w, long* h, VARIANT) override {
    *l = *t = *w = *h = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE accNavigate(long, VARIANT, VARIANT* out) override {
    out->vt = VT_EMPTY;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE accHitTest(long, long, VARIANT* out) override {
    out->vt = VT_EMPTY;
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override {
    Visit();
    if (action == nullptr) return DISP_E_MEMBERNOTFOUND;
    action(this);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  void Visit() {
    if (decoy) {
      decoy = false;
      Log("entered the page");
    }
    if (stalls && g_stallMs > 0) {
      stalls = false;
      Sleep(g_stallMs);  // as a browser busy with a heavy page, in the middle of the walk
    }
  }

  long role_;
  std::string name_;
  LONG refs_ = 1;
};

// The browser's model: its tabs in strip order, the selected one in front.
struct Tab {
  std::string title;
  Node* node = nullptr;
  Node* holder = nullptr;  // the list or the group the tab sits in
};
std::vector<Tab> g_tabs;
std::size_t g_selected = 0;
Node* g_root = nullptr;
std::string g_titled;

void ShowFront() {
  for (std::size_t i = 0; i < g_tabs.size(); ++i) {
    const long selected = i == g_selected ? STATE_SYSTEM_SELECTED : 0;
    g_tabs[i].node->state = (g_tabs[i].node->state & ~STATE_SYSTEM_SELECTED) | selected;
  }
  if (!g_tabs.empty()) SetWindowTextW(g_window, Wide(g_titled.empty() ? g_tabs[g_selected].title : g_titled).c_str());
}

void CloseTabOf(Node* button) {
  for (std::size_t i = 0; i < g_tabs.size(); ++i) {
    if (g_tabs[i].title != button->tabTitle) continue;
    Log("lost tab: " + g_tabs[i].title);
    std::vector<Node*>& siblings = g_tabs[i].holder->children;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
      if (*it == g_tabs[i].node) {
        siblings.erase(it);
        break;
      }
    }
    g_tabs.erase(g_tabs.begin() + static_cast<std::ptrdiff_t>(i));
    if (g_tabs.empty()) {
      // The last tab takes its window along, after this call has returned.
      PostMessageW(g_window, WM_CLOSE, 0, 0);
      return;
    }
    if (g_selected > i) --g_selected;
    if (g_selected >= g_tabs.size()) g_selected = g_tabs.size() - 1;
    ShowFront();
    return;
  }
}

void Mute(Node* button) { Log("muted: " + button->tabTitle); }

// client > pane > document (the page, holding a decoy strip)
//        > grouping > toolbar > grouping > page tab list > tabs (the second in a tab group)
void BuildTree(const std::string& mode, const std::vector<std::string>& titles, std::size_t selected) {
  g_root = Node::Make(ROLE_SYSTEM_CLIENT, "browser");
  // The browser's own interface as a document, with the page inside it, the strip beside.
  Node* top = g_root;
  if (mode == "uidoc") {
    top = g_root->Add(Node::Make(ROLE_SYSTEM_DOCUMENT, "Browser"));
    top->value = "chrome://browser/content/browser.xhtml";
  }
  Node* pane = top->Add(Node::Make(ROLE_SYSTEM_PANE, ""));
  Node* page = pane->Add(Node::Make(ROLE_SYSTEM_DOCUMENT, "page"));
  page->value = "https://example.com/";
  Node* decoy = page->Add(Node::Make(ROLE_SYSTEM_PAGETABLIST, "page's own tabs"));
  decoy->decoy = true;
  Node* decoyTab = decoy->Add(Node::Make(ROLE_SYSTEM_PAGETAB, "a tab inside the page"));
  decoyTab->decoy = true;
  Node* chrome = top->Add(Node::Make(ROLE_SYSTEM_GROUPING, ""));
  Node* toolbar = chrome->Add(Node::Make(ROLE_SYSTEM_TOOLBAR, "Tabs"));
  // In full screen this browser shows no strip at all: it holds its tabs all the same.
  Node* box = Node::Make(ROLE_SYSTEM_GROUPING, "");
  if (mode != "full") toolbar->Add(box);
  const bool hidden = mode == "popup" || mode == "hidden";
  Node* list = box->Add(Node::Make(ROLE_SYSTEM_PAGETABLIST, "Tab strip", hidden ? STATE_SYSTEM_INVISIBLE : 0));
  list->stalls = mode == "stall";
  Node* collapsed = nullptr;
  for (std::size_t i = 0; i < titles.size(); ++i) {
    Node* holder = list;
    if (mode == "grouped" && i != selected) {
      if (collapsed == nullptr) collapsed = list->Add(Node::Make(ROLE_SYSTEM_GROUPING, "Group", STATE_SYSTEM_COLLAPSED));
      holder = collapsed;
    } else if (mode != "grouped" && i == 1) {
      holder = list->Add(Node::Make(ROLE_SYSTEM_GROUPING, "Group"));
    }
    const bool tabHidden = hidden || holder == collapsed;
    Node* tab = holder->Add(Node::Make(ROLE_SYSTEM_PAGETAB, titles[i],
                                       STATE_SYSTEM_SELECTABLE | (tabHidden ? STATE_SYSTEM_INVISIBLE : 0)));
    tab->Add(Node::Make(ROLE_SYSTEM_GRAPHIC, "favicon"));
    // A sound switch before the close button: only the last button closes (but in mode mute).
    Node* mute = tab->Add(Node::Make(ROLE_SYSTEM_PUSHBUTTON, "Mute"));
    mute->tabTitle = titles[i];
    mute->action = Mute;
    Node* close = Node::Make(ROLE_SYSTEM_PUSHBUTTON, "Close");
    close->tabTitle = titles[i];
    close->action = CloseTabOf;
    if (mode == "mute") {
      tab->children.insert(tab->children.begin() + 1, close);
      close->parent = tab;
    } else {
      tab->Add(close);
    }
    g_tabs.push_back(Tab{titles[i], tab, holder});
  }
  Node* newTab = list->Add(Node::Make(ROLE_SYSTEM_PUSHBUTTON, "New tab"));
  (void)newTab;
}

bool g_accessible = true;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETOBJECT:
      if (g_accessible && g_root != nullptr && static_cast<LONG>(lParam) == OBJID_CLIENT) {
        return LresultFromObject(IID_IAccessible, wParam, g_root);
      }
      break;
    case WM_CLOSE:
      for (const Tab& tab : g_tabs) Log("lost tab: " + tab.title);
      g_tabs.clear();
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == separator) {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  std::string readyEvent, cls = "Chrome_WidgetWin_1", mode = "tabs", tabs = "Page";
  int seconds = 60, width = 900, height = 700;
  std::size_t selected = 0;
  for (int i = 1; i < __argc; ++i) {
    const std::string arg = __argv[i];
    auto value = [&](const char* name) {
      const std::string prefix = std::string("--") + name + "=";
      return arg.rfind(prefix, 0) == 0 ? arg.substr(prefix.size()) : std::string();
    };
    if (!value("ready").empty()) readyEvent = value("ready");
    if (!value("class").empty()) cls = value("class");
    if (!value("mode").empty()) mode = value("mode");
    if (!value("tabs").empty()) tabs = value("tabs");
    if (!value("selected").empty()) selected = static_cast<std::size_t>(std::stoul(value("selected")));
    if (!value("log").empty()) g_logPath = value("log");
    if (!value("stall").empty()) g_stallMs = static_cast<DWORD>(std::stoul(value("stall")));
    if (!value("titled").empty()) g_titled = value("titled");
    if (!value("seconds").empty()) seconds = std::stoi(value("seconds"));
    if (!value("size").empty()) {
      const std::vector<std::string> size = Split(value("size"), ',');
      width = std::stoi(size.at(0));
      height = std::stoi(size.at(1));
    }
  }
  std::vector<std::string> titles = Split(tabs, '|');
  if (mode == "popup" || mode == "one") titles.resize(1);
  if (selected >= titles.size()) selected = 0;
  g_accessible = mode != "none";

  // The tree's objects are called from other processes through this thread's messages.
  if (FAILED(CoInitialize(nullptr))) return 4;
  BuildTree(mode, titles, selected);
  g_selected = selected;

  const std::wstring className = Wide(cls);
  WNDCLASSW wc{};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = className.c_str();
  if (RegisterClassW(&wc) == 0) return 2;
  int left = 40, top = 40;
  DWORD style = WS_OVERLAPPEDWINDOW;
  if (mode == "full") {
    // As a browser in full screen: no frame, the whole monitor.
    style = WS_POPUP;
    left = top = 0;
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
  }
  g_window = CreateWindowExW(0, className.c_str(), Wide(titles[selected]).c_str(), style, left, top, width, height,
                             nullptr, nullptr, instance, nullptr);
  if (g_window == nullptr) return 3;
  ShowFront();
  ShowWindow(g_window, SW_SHOWNOACTIVATE);

  if (!readyEvent.empty()) {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent.c_str());
    if (event != nullptr) {
      SetEvent(event);
      CloseHandle(event);
    }
  }
  SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  CoUninitialize();
  return 0;
}
