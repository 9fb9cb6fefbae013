#include "tests/fakes/FakeTabStrips.h"

#include <thread>

namespace zorvex::fake {

namespace {

// Entries of the calling thread that have not ended.
thread_local int t_entered = 0;

class FakeStrip : public ITabStrip {
 public:
  FakeStrip(std::shared_ptr<FakeTabStrips> owner, WindowHandle window, std::vector<PageTab> tabs)
      : owner_(std::move(owner)), window_(window), tabs_(std::move(tabs)) {}
  const std::vector<PageTab>& Tabs() const override { return tabs_; }
  bool CloseTab(std::size_t index) override {
    return index < tabs_.size() && owner_->CloseTab(window_, tabs_[index].title);
  }

 private:
  std::shared_ptr<FakeTabStrips> owner_;
  WindowHandle window_;
  std::vector<PageTab> tabs_;
};

}  // namespace

void FakeTabStrips::SetTabs(WindowHandle window, const std::vector<std::string>& titles, std::size_t selected) {
  StripRecord record;
  for (std::size_t i = 0; i < titles.size(); ++i) {
    record.tabs.push_back(PageTab{titles[i], true, i == selected});
  }
  Set(window, record);
  if (selected < titles.size()) desktop_->Edit(window, [&](WindowRecord& w) { w.title = titles[selected]; });
}

void FakeTabStrips::Set(WindowHandle window, const StripRecord& record) {
  std::lock_guard<std::mutex> lock(mutex_);
  strips_[window] = record;
}

StripRecord FakeTabStrips::Get(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = strips_.find(window);
  if (it != strips_.end()) return it->second;
  StripRecord none;
  none.state = TabStripState::None;
  return none;
}

void FakeTabStrips::Release(WindowHandle window) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    releasedWindows_.insert(window);
  }
  released_.notify_all();
}

void FakeTabStrips::ReleaseAll() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& strip : strips_) releasedWindows_.insert(strip.first);
  }
  released_.notify_all();
}

int FakeTabStrips::Reads(WindowHandle window) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = reads_.find(window);
  return it == reads_.end() ? 0 : it->second;
}

int FakeTabStrips::HangingReads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hanging_;
}

std::vector<std::string> FakeTabStrips::ClosedTabs() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closedTabs_;
}

int FakeTabStrips::Faults() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return faults_;
}

int FakeTabStrips::Entered() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entered_;
}

std::shared_ptr<void> FakeTabStrips::EnterThread() {
  ++t_entered;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++entered_;
  }
  const std::thread::id thread = std::this_thread::get_id();
  return std::shared_ptr<void>(nullptr, [self = shared_from_this(), thread](void*) {
    std::lock_guard<std::mutex> lock(self->mutex_);
    --self->entered_;
    if (std::this_thread::get_id() != thread) {
      ++self->faults_;
      return;
    }
    --t_entered;
  });
}

TabStripRead FakeTabStrips::Read(WindowHandle window, ReadWatch& watch) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++reads_[window];
  if (t_entered <= 0) ++faults_;
  const auto it = strips_.find(window);
  if (it == strips_.end() || !desktop_->Exists(window)) return TabStripRead{TabStripState::None, nullptr};
  if (it->second.hangs && releasedWindows_.count(window) == 0) {
    ++hanging_;
    released_.wait(lock, [&] { return releasedWindows_.count(window) != 0; });
    --hanging_;
    if (!it->second.answersLate) return TabStripRead{TabStripState::Timeout, nullptr};
  }
  const StripRecord record = it->second;
  lock.unlock();
  for (int i = 0; i < record.slowSteps; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ++watch.steps;
  }
  ++watch.steps;
  lock.lock();
  if (record.state != TabStripState::Read) return TabStripRead{record.state, nullptr};
  lock.unlock();
  return TabStripRead{TabStripState::Read, std::make_unique<FakeStrip>(shared_from_this(), window, record.tabs)};
}

bool FakeTabStrips::CloseTab(WindowHandle window, const std::string& title) {
  std::string front;
  bool last = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (t_entered <= 0) ++faults_;
    const auto it = strips_.find(window);
    if (it == strips_.end() || it->second.closeFails || it->second.buttonless.count(title) != 0) return false;
    if (it->second.pressKeeps) return true;
    std::vector<PageTab>& tabs = it->second.tabs;
    std::size_t at = 0;
    while (at < tabs.size() && tabs[at].title != title) ++at;
    if (at == tabs.size()) return false;
    const bool wasSelected = tabs[at].selected;
    tabs.erase(tabs.begin() + static_cast<std::ptrdiff_t>(at));
    closedTabs_.push_back(title);
    last = tabs.empty();
    if (!last && wasSelected) {
      PageTab& next = tabs[at < tabs.size() ? at : tabs.size() - 1];
      next.selected = true;
      front = next.title;
    }
  }
  if (last) {
    desktop_->Close(window);
  } else if (!front.empty()) {
    desktop_->Edit(window, [&](WindowRecord& w) { w.title = front; });
  }
  return true;
}

}  // namespace zorvex::fake
