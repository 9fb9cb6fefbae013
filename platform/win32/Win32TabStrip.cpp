#include "platform/win32/Win32TabStrip.h"

#include <windows.h>

#include <oleacc.h>

#include <deque>
#include <vector>

#include "platform/win32/ComHandles.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Desktop.h"

namespace zorvex::win32 {

namespace {

// The strip sits several levels below the client object, beside toolbars and the page. The walk
// is bounded, in the nodes it reads and those it queues; one that runs out of bounds before it
// finds a strip cannot say there is none.
constexpr int kMaxDepth = 16;
constexpr int kMaxNodes = 1000;
// Tab groups and vertical strips nest the tabs below the list; a tab's buttons below the tab.
constexpr int kMaxTabDepth = 4;
constexpr int kMaxTabNodes = 2000;
constexpr int kMaxButtonDepth = 2;
constexpr long kMaxChildren = 1024;
// A browser whose own interface is a document (its window's) holds the strip inside it, near the
// top; pages are documents too, named by their address, and never entered.
constexpr int kMaxInterfaceDocumentDepth = 2;

using Acc = ComRef<IAccessible>;

VARIANT Self() {
  VARIANT self;
  late::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  return self;
}

// Cut as window titles are: by UTF-16 units, never inside a character.
std::string Utf8(const wchar_t* text) {
  if (text == nullptr) return std::string();
  return Narrow(CutWide(std::wstring(text), kMaxWindowText));
}

// The object's role; 0 when it does not say (or gives a role of its own as text).
long RoleOf(IAccessible& acc) {
  UniqueVariant role;
  if (FAILED(acc.get_accRole(Self(), role.put())) || role.get().vt != VT_I4) return 0;
  return role.get().lVal;
}

long StateOf(IAccessible& acc) {
  UniqueVariant state;
  if (FAILED(acc.get_accState(Self(), state.put())) || state.get().vt != VT_I4) return 0;
  return state.get().lVal;
}

std::string NameOf(IAccessible& acc) {
  UniqueBstr name;
  if (acc.get_accName(Self(), name.put()) != S_OK) return std::string();
  return Utf8(name.get());
}

// The children that are objects of their own; simple elements have no children and are no tabs.
// False when the object failed to tell them.
bool ChildrenOf(IAccessible& acc, std::vector<Acc>& children) {
  children.clear();
  long count = 0;
  if (FAILED(acc.get_accChildCount(&count))) return false;
  if (count <= 0) return true;
  if (count > kMaxChildren) count = kMaxChildren;
  UniqueVariants slots(static_cast<std::size_t>(count));
  long obtained = 0;
  if (FAILED(late::AccessibleChildren(&acc, 0, count, slots.data(), &obtained))) return false;
  for (long i = 0; i < obtained && i < count; ++i) {
    const VARIANT& v = slots[static_cast<std::size_t>(i)];
    if (v.vt != VT_DISPATCH || v.pdispVal == nullptr) continue;
    Acc child;
    if (SUCCEEDED(v.pdispVal->QueryInterface(IID_IAccessible, reinterpret_cast<void**>(child.put())))) {
      children.push_back(std::move(child));
    }
  }
  return true;
}

// The tab's close button: found by its role, never by its name, which is translated. A tab may
// carry other buttons (a sound switch); the close button comes last.
Acc CloseButtonOf(IAccessible& tab) {
  std::vector<Acc> level;
  if (!ChildrenOf(tab, level)) return Acc();
  for (int depth = 1; depth <= kMaxButtonDepth && !level.empty(); ++depth) {
    Acc found;
    for (Acc& child : level) {
      if (RoleOf(*child) == ROLE_SYSTEM_PUSHBUTTON) found = std::move(child);
    }
    if (found) return found;
    std::vector<Acc> next;
    std::vector<Acc> children;
    for (const Acc& child : level) {
      if (child && ChildrenOf(*child, children)) {
        for (Acc& c : children) next.push_back(std::move(c));
      }
    }
    level = std::move(next);
  }
  return Acc();
}

// The tabs read, with their objects; a tab's buttons are looked for only when it is to be closed:
// every call crosses into the browser's process.
class Win32TabStrip : public ITabStrip {
 public:
  const std::vector<PageTab>& Tabs() const override { return tabs_; }
  bool CloseTab(std::size_t index) override {
    if (index >= objects_.size()) return false;
    const Acc button = CloseButtonOf(*objects_[index]);
    return button && SUCCEEDED(button->accDoDefaultAction(Self()));
  }

  void Add(PageTab tab, Acc object) {
    tabs_.push_back(std::move(tab));
    objects_.push_back(std::move(object));
  }

 private:
  std::vector<PageTab> tabs_;
  std::vector<Acc> objects_;
};

std::string ValueOf(IAccessible& acc) {
  UniqueBstr value;
  if (acc.get_accValue(Self(), value.put()) != S_OK) return std::string();
  return Utf8(value.get());
}

// A document that is the browser's own interface rather than a page: near the window's top, and
// named by the browser's own address, not a web one.
bool IsOwnInterface(IAccessible& document, int depth) {
  if (depth > kMaxInterfaceDocumentDepth) return false;
  const std::string value = ValueOf(document);
  return value.rfind("chrome://", 0) == 0 || value.rfind("resource://", 0) == 0;
}

// Collects the page tabs below a list, through groups, in order. False when the strip failed, the
// reader was given up, or the strip holds more nodes than any real one.
bool CollectTabs(IAccessible& node, bool stripVisible, int depth, Win32TabStrip& strip, int& nodes,
                 ReadWatch& watch) {
  std::vector<Acc> children;
  if (watch.givenUp || !ChildrenOf(node, children)) return false;
  for (Acc& child : children) {
    if (++nodes > kMaxTabNodes || watch.givenUp) return false;
    ++watch.steps;
    const long role = RoleOf(*child);
    if (role == ROLE_SYSTEM_PAGETAB) {
      const long state = StateOf(*child);
      PageTab tab;
      tab.title = NameOf(*child);
      tab.visible = stripVisible && (state & STATE_SYSTEM_INVISIBLE) == 0;
      tab.selected = (state & STATE_SYSTEM_SELECTED) != 0;
      strip.Add(std::move(tab), std::move(child));
    } else if (role != ROLE_SYSTEM_DOCUMENT && depth < kMaxTabDepth) {
      if (!CollectTabs(*child, stripVisible, depth + 1, strip, nodes, watch)) return false;
    }
  }
  return true;
}

}  // namespace

std::shared_ptr<void> Win32TabStrips::EnterThread() {
  // A thread that is already in an apartment keeps it and must not leave it on our behalf.
  if (FAILED(late::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return nullptr;
  return std::shared_ptr<void>(nullptr, [](void*) { late::CoUninitialize(); });
}

TabStripRead Win32TabStrips::Read(WindowHandle window, ReadWatch& watch) {
  const HWND hwnd = ToHwnd(window);
  if (!::IsWindow(hwnd)) return TabStripRead{TabStripState::None, nullptr};
  // Not AccessibleObjectFromWindow: against a hung window it waits without limit.
  DWORD_PTR answer = 0;
  if (::SendMessageTimeoutW(hwnd, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT), SMTO_ABORTIFHUNG,
                            answerTimeoutMs_, &answer) == 0) {
    return TabStripRead{::IsWindow(hwnd) ? TabStripState::Timeout : TabStripState::None, nullptr};
  }
  // No tree of its own: the system's standard object has no strip.
  if (answer == 0) return TabStripRead{TabStripState::None, nullptr};
  Acc root;
  if (FAILED(late::ObjectFromLresult(static_cast<LRESULT>(answer), IID_IAccessible, 0,
                                 reinterpret_cast<void**>(root.put())))) {
    return TabStripRead{TabStripState::Error, nullptr};
  }

  // Breadth first: the strip is nearer the client object than most of what lies beside it.
  struct Node {
    Acc acc;
    int depth;
  };
  std::deque<Node> queue;
  queue.push_back(Node{std::move(root), 0});
  // Every node read or queued counts: a node with a thousand children costs its thousand.
  int counted = 1;
  bool cut = false;
  std::vector<Acc> children;
  while (!queue.empty()) {
    if (watch.givenUp) return TabStripRead{TabStripState::Timeout, nullptr};
    ++watch.steps;
    Node node = std::move(queue.front());
    queue.pop_front();
    const long role = RoleOf(*node.acc);
    // The page: thousands of nodes, and walking it makes the browser build them.
    if (role == ROLE_SYSTEM_DOCUMENT && !IsOwnInterface(*node.acc, node.depth)) continue;
    if (role == ROLE_SYSTEM_PAGETABLIST) {
      auto strip = std::make_unique<Win32TabStrip>();
      const bool stripVisible = (StateOf(*node.acc) & STATE_SYSTEM_INVISIBLE) == 0;
      int nodes = 0;
      if (!CollectTabs(*node.acc, stripVisible, 1, *strip, nodes, watch)) {
        return TabStripRead{watch.givenUp ? TabStripState::Timeout : TabStripState::Error, nullptr};
      }
      return TabStripRead{TabStripState::Read, std::move(strip)};
    }
    if (!ChildrenOf(*node.acc, children)) {
      // The strip may have been below the node that failed.
      cut = true;
      continue;
    }
    if (children.empty()) continue;
    if (node.depth >= kMaxDepth) {
      cut = true;
      continue;
    }
    for (Acc& child : children) {
      if (++counted > kMaxNodes) {
        cut = true;
        break;
      }
      queue.push_back(Node{std::move(child), node.depth + 1});
    }
    if (cut) break;
  }
  if (!::IsWindow(hwnd)) return TabStripRead{TabStripState::None, nullptr};
  return TabStripRead{cut ? TabStripState::Error : TabStripState::None, nullptr};
}

}  // namespace zorvex::win32
