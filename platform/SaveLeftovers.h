// The names a save gives its files beside the target, and how recovery tells them apart. Shared by
// the POSIX and the Win32 file code; never includes system headers.
//
// A save writes "<target>.~<pid>_<n>.part", flushes it and only then renames it: to the target
// (POSIX), or to "<target>.~<pid>_<n>.new" and then over the target (Windows), where a target held
// open is first moved aside to "<target>.~<pid>_<n>.old". So a ".part" may be cut off, while a
// ".new" or ".old" is always a whole file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorvex::leftovers {

// A file a save is writing, removed by remove() unless it was moved into place.
class TempFile {
 public:
  TempFile(std::string path, void (*remove)(const std::string&)) : path_(std::move(path)), remove_(remove) {}
  ~TempFile() {
    if (!path_.empty()) remove_(path_);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
  void (*remove_)(const std::string&);
};

enum class Kind { Part, New, Old };

// What a file name beside the target says about the save that left it.
struct Leftover {
  Kind kind = Kind::Part;
  std::uint64_t pid = 0;  // the saving process
  std::uint64_t n = 0;    // which of its saves
};

// "<target>.~<pid>_<n><suffix>", suffix ".part", ".new" or ".old".
inline std::string Name(const std::string& target, std::uint64_t pid, unsigned n, const char* suffix) {
  return target + ".~" + std::to_string(pid) + "_" + std::to_string(n) + suffix;
}

namespace detail {
// Reads decimal digits at pos; false when there are none or they overflow.
inline bool Digits(const std::string& s, std::size_t& pos, std::uint64_t& value) {
  const std::size_t start = pos;
  value = 0;
  for (; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos) {
    if (value > (UINT64_MAX - 9) / 10) return false;
    value = value * 10 + static_cast<std::uint64_t>(s[pos] - '0');
  }
  return pos > start;
}
}  // namespace detail

// True when name (a bare file name) was left by a save of the file named base; fills out.
// Also knows the names earlier versions used: "<base>.tmp<pid>.<n>" (POSIX) and
// "<base>.~<pid>_<n>.tmp", with its moved-aside "<base>.~<pid>_<n>.tmp.old" (Windows).
inline bool Parse(const std::string& base, const std::string& name, Leftover& out) {
  if (name.size() <= base.size() || name.compare(0, base.size(), base) != 0) return false;
  const std::string rest = name.substr(base.size());
  std::size_t pos = 0;
  std::uint64_t pid = 0, n = 0;
  if (rest.compare(0, 4, ".tmp") == 0) {
    pos = 4;
    if (!detail::Digits(rest, pos, pid) || pos >= rest.size() || rest[pos] != '.') return false;
    ++pos;
    if (!detail::Digits(rest, pos, n) || pos != rest.size()) return false;
    out = {Kind::Part, pid, n};
    return true;
  }
  if (rest.compare(0, 2, ".~") != 0) return false;
  pos = 2;
  if (!detail::Digits(rest, pos, pid) || pos >= rest.size() || rest[pos] != '_') return false;
  ++pos;
  if (!detail::Digits(rest, pos, n)) return false;
  const std::string suffix = rest.substr(pos);
  if (suffix == ".part" || suffix == ".tmp") {
    out = {Kind::Part, pid, n};
  } else if (suffix == ".new") {
    out = {Kind::New, pid, n};
  } else if (suffix == ".old" || suffix == ".tmp.old") {
    out = {Kind::Old, pid, n};
  } else {
    return false;
  }
  return true;
}

// One leftover found beside the target.
struct Found {
  std::string path;
  Leftover what;
  std::int64_t time = 0;  // last written, in the system's file time
};

// Whether the process with this id runs now and was started before time (the system's file time).
using StartedBefore = std::function<bool(std::uint64_t pid, std::int64_t time)>;

// What recovery at start does with the leftovers it found.
struct Plan {
  std::optional<std::size_t> restore;  // the copy put back as the target
  std::vector<std::size_t> remove;     // leftovers of saves that cannot be running any more
};

// Decides recovery at start, when no save of this process (ownPid) can be running. Process ids are
// reused, so a leftover's id alone proves nothing: its save may still run only when a process of
// that id started before the save wrote its last file (a moved-aside ".old" keeps the time of the
// content it holds, so a save's time is the latest of its files). A missing target always gets
// the newest whole copy back, whoever left it; an older ".new" never wins over a newer ".old".
inline Plan PlanRecovery(const std::vector<Found>& found, bool targetMissing, std::uint64_t ownPid,
                         const StartedBefore& startedBefore) {
  Plan plan;
  if (targetMissing) {
    for (std::size_t i = 0; i < found.size(); ++i) {
      const Found& f = found[i];
      if (f.what.kind == Kind::Part) continue;  // may be cut off
      if (!plan.restore) {
        plan.restore = i;
        continue;
      }
      const Found& best = found[*plan.restore];
      if (f.time > best.time || (f.time == best.time && f.what.kind == Kind::New && best.what.kind != Kind::New))
        plan.restore = i;
    }
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (plan.restore == i) continue;
    const Leftover& what = found[i].what;
    std::int64_t saveTime = found[i].time;
    for (const Found& other : found) {
      if (other.what.pid == what.pid && other.what.n == what.n) saveTime = std::max(saveTime, other.time);
    }
    const bool mayRun = what.pid != ownPid && startedBefore(what.pid, saveTime);
    if (!mayRun) plan.remove.push_back(i);
  }
  return plan;
}

}  // namespace zorvex::leftovers
