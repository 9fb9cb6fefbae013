#include "popups/WindowFacts.h"

#include <iterator>

#include "base/CaseFold.h"
#include "base/Text.h"

namespace zorvex {

namespace {

enum : unsigned {
  kExists = 1u << 0,
  kClass = 1u << 1,
  kTitle = 1u << 2,
  kProgram = 1u << 3,
  kOwner = 1u << 4,
  kTool = 1u << 5,
  kVisible = 1u << 6,
  kMinimised = 1u << 7,
  kRect = 1u << 8,
  kProcess = 1u << 9,
  kDpi = 1u << 10,
};

// Walks after which a process not met again is forgotten.
constexpr std::uint64_t kForgetAfterWalks = 20;
constexpr const char* kFrameHost = "applicationframehost.exe";

}  // namespace

const ProgramFile& ProgramNames::Of(std::uint32_t pid, bool sameProcess) {
  Known& known = files_[pid];
  if (known.walk == walk_) return known.file;
  if (sameProcess && known.walk != 0 && !known.file.path.empty()) {
    known.walk = walk_;
    return known.file;
  }
  const std::uint64_t started = pid != 0 ? desktop_.ProcessStartTime(pid) : 0;
  const bool same = known.walk != 0 && known.started == started && !known.file.path.empty();
  known.walk = walk_;
  if (same) return known.file;
  known.started = started;
  known.file = ProgramFile{};
  if (pid != 0) known.file.path = desktop_.ProgramPath(pid);
  const std::size_t slash = known.file.path.find_last_of("\\/");
  known.file.name = FoldCase(slash == std::string::npos ? known.file.path : known.file.path.substr(slash + 1));
  return known.file;
}

void ProgramNames::NewWalk() {
  ++walk_;
  if (walk_ % kForgetAfterWalks != 0) return;
  for (auto it = files_.begin(); it != files_.end();) {
    it = walk_ - it->second.walk > kForgetAfterWalks ? files_.erase(it) : std::next(it);
  }
}

WindowIdentities::Identity& WindowIdentities::Of(WindowHandle window) {
  Known& known = windows_[window];
  known.walk = walk_;
  return known.identity;
}

void WindowIdentities::Forget(WindowHandle window) { windows_.erase(window); }

void WindowIdentities::EndWalk() {
  for (auto it = windows_.begin(); it != windows_.end();) {
    it = it->second.walk != walk_ ? windows_.erase(it) : std::next(it);
  }
  ++walk_;
}

WindowFacts::WindowFacts(IDesktop& desktop, WindowHandle window, bool topLevel, ProgramNames* programs,
                         WindowIdentities* identities)
    : desktop_(&desktop), window_(window), programs_(programs),
      identity_(identities != nullptr ? &identities->Of(window) : nullptr),
      processKnown_(identity_ != nullptr && identity_->processId != 0) {
  known_.topLevel = topLevel;
}

template <typename T, typename Read>
const T& WindowFacts::Fact(unsigned bit, T& field, const Read& read) const {
  if ((read_ & bit) == 0) {
    field = read();
    read_ |= bit;
  }
  return field;
}

bool WindowFacts::Exists() const {
  return Fact(kExists, known_.exists, [&] { return desktop_->Exists(window_); });
}

const std::string& WindowFacts::ClassName() const {
  if (identity_ == nullptr) return Fact(kClass, known_.className, [&] { return desktop_->ClassName(window_); });
  // Empty when the window is gone: nothing to remember then.
  if (identity_->className.empty()) identity_->className = desktop_->ClassName(window_);
  return identity_->className;
}

const std::string& WindowFacts::Title() const {
  return Fact(kTitle, known_.title, [&] { return desktop_->Title(window_); });
}

const ProgramFile& WindowFacts::Program() const {
  if (program_ != nullptr) return *program_;
  if ((read_ & kProgram) != 0 || desktop_ == nullptr) return known_.program;
  read_ |= kProgram;
  // Without a walk's cache, the program is read into the facts themselves.
  ProgramNames once(*desktop_);
  ProgramNames& names = programs_ != nullptr ? *programs_ : once;
  program_ = &names.Of(ProcessId(), processKnown_);
  if (program_->name == kFrameHost) {
    // The frame draws around a window of the app's own process.
    for (WindowHandle child : desktop_->Descendants(window_)) {
      const std::uint32_t pid = desktop_->ProcessId(child);
      if (pid != 0 && pid != ProcessId()) {
        program_ = &names.Of(pid);
        break;
      }
    }
  }
  if (programs_ != nullptr) return *program_;
  known_.program = *program_;
  program_ = nullptr;
  return known_.program;
}

std::uint32_t WindowFacts::ProcessId() const {
  if (identity_ == nullptr) return Fact(kProcess, known_.processId, [&] { return desktop_->ProcessId(window_); });
  if (identity_->processId == 0) identity_->processId = desktop_->ProcessId(window_);
  return identity_->processId;
}

WindowHandle WindowFacts::Owner() const {
  return Fact(kOwner, known_.owner, [&] { return desktop_->Owner(window_); });
}

bool WindowFacts::IsToolWindow() const {
  return Fact(kTool, known_.toolWindow, [&] { return desktop_->IsToolWindow(window_); });
}

bool WindowFacts::IsVisible() const {
  return Fact(kVisible, known_.visible, [&] { return desktop_->IsVisible(window_); });
}

bool WindowFacts::IsMinimised() const {
  return Fact(kMinimised, known_.minimised, [&] { return desktop_->IsMinimised(window_); });
}

int WindowFacts::Dpi() const {
  return Fact(kDpi, known_.dpi, [&] { return desktop_->WindowDpi(window_); });
}

const Rect& WindowFacts::WindowRect() const {
  return Fact(kRect, known_.rect, [&] { return desktop_->WindowRect(window_); });
}

}  // namespace zorvex
