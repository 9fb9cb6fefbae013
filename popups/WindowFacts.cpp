#include "popups/WindowFacts.h"

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
};

}  // namespace

const ProgramFile& ProgramNames::Of(WindowHandle window) {
  const std::uint32_t pid = desktop_.ProcessId(window);
  auto it = files_.find(pid);
  if (it != files_.end()) return it->second;
  ProgramFile file;
  if (pid != 0) file.path = desktop_.ProgramPath(pid);
  const std::size_t slash = file.path.find_last_of("\\/");
  file.name = AsciiLower(slash == std::string::npos ? file.path : file.path.substr(slash + 1));
  return files_[pid] = std::move(file);
}

WindowFacts::WindowFacts(IDesktop& desktop, WindowHandle window, bool topLevel, ProgramNames* programs)
    : desktop_(&desktop), window_(window), programs_(programs) {
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
  return Fact(kClass, known_.className, [&] { return desktop_->ClassName(window_); });
}

const std::string& WindowFacts::Title() const {
  return Fact(kTitle, known_.title, [&] { return desktop_->Title(window_); });
}

const ProgramFile& WindowFacts::Program() const {
  return Fact(kProgram, known_.program, [&] {
    if (programs_ != nullptr) return programs_->Of(window_);
    ProgramNames once(*desktop_);
    return once.Of(window_);
  });
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

const Rect& WindowFacts::WindowRect() const {
  return Fact(kRect, known_.rect, [&] { return desktop_->WindowRect(window_); });
}

}  // namespace zorvex
