// The names a save gives its files beside the target, and how recovery tells them apart. Shared by
// the POSIX and the Win32 file code; never includes system headers.
//
// A save writes "<target>.~<pid>_<n>.part", flushes it and only then renames it: to the target
// (POSIX), or to "<target>.~<pid>_<n>.new" and then over the target (Windows), where a target held
// open is first moved aside to "<target>.~<pid>_<n>.old". So a ".part" may be cut off, while a
// ".new" or ".old" is always a whole file.
//
// A target with more than one name (a hard link, as a package manager makes to keep settings
// between versions) would lose its other names to a rename, so it is saved in place: its old
// content is written whole to "<target>.~<pid>_<n>.kept" first (".part", flushed, renamed), then
// the new content into the target itself, flushed, and only then the copy goes. While a ".kept"
// is there the target may be half written: recovery writes the copy back into it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/Trace.h"

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

enum class Kind { Part, New, Old, Kept };

// What a file name beside the target says about the save that left it.
struct Leftover {
  Kind kind = Kind::Part;
  std::uint64_t pid = 0;  // the saving process
  std::uint64_t n = 0;    // which of its saves
};

// "<target>.~<pid>_<n><suffix>", suffix ".part", ".new", ".old" or ".kept".
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
  } else if (suffix == ".kept") {
    out = {Kind::Kept, pid, n};
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
  std::optional<std::size_t> rewrite;  // the copy written back into the target itself, before removal
  std::vector<std::size_t> remove;     // leftovers of saves that cannot be running any more
};

// Decides recovery at start, when no save of this process (ownPid) can be running. Process ids are
// reused, so a leftover's id alone proves nothing: its save may still run only when a process of
// that id started before the save wrote its last file (a moved-aside ".old" keeps the time of the
// content it holds, so a save's time is the latest of its files). A missing target always gets
// the newest whole copy back, whoever left it; an older ".new" never wins over a newer ".old". A
// target that is there gets the newest ".kept" of a save that cannot be running written back.
inline Plan PlanRecovery(const std::vector<Found>& found, bool targetMissing, std::uint64_t ownPid,
                         const StartedBefore& startedBefore) {
  Plan plan;
  std::vector<bool> mayRun(found.size());
  for (std::size_t i = 0; i < found.size(); ++i) {
    const Leftover& what = found[i].what;
    std::int64_t saveTime = found[i].time;
    for (const Found& other : found) {
      if (other.what.pid == what.pid && other.what.n == what.n) saveTime = std::max(saveTime, other.time);
    }
    mayRun[i] = what.pid != ownPid && startedBefore(what.pid, saveTime);
  }
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
  } else {
    for (std::size_t i = 0; i < found.size(); ++i) {
      if (found[i].what.kind != Kind::Kept || mayRun[i]) continue;
      if (!plan.rewrite || found[i].time > found[*plan.rewrite].time) plan.rewrite = i;
    }
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (plan.restore != i && !mayRun[i]) plan.remove.push_back(i);
  }
  return plan;
}

// What a save in place asks of the system, each a step of the system's own file code.
struct InPlaceSteps {
  std::function<std::string(const std::string& path)> read;
  // Writes bytes whole to "<stem>.part", reporting step "part" halfway, flushes it, renames it to
  // the kept name and reports "kept". Returns the kept name.
  std::function<std::string(const std::string& bytes)> keepCopy;
  // Writes bytes into the target itself from its start, reporting "rewrite" halfway, cuts it
  // there and flushes it.
  std::function<void(const std::string& bytes)> rewrite;
  // Removes the copy; never throws. A copy that stays would be written back at the next start.
  std::function<void(const std::string& path)> remove;
};

// Saves bytes into a target with more than one name, keeping every name. A rewrite that fails
// halfway gets the old content written back; when even that fails the copy stays, and the next
// save of the target in this process keeps that copy instead of the half-written target, so
// recovery never puts back a half file.
inline void SaveInPlace(const std::string& target, const std::string& bytes, const InPlaceSteps& steps) {
  static std::mutex lock;
  static std::map<std::string, std::string> pending;  // target -> its copy, still needed
  std::lock_guard<std::mutex> hold(lock);
  std::string kept, old;
  if (const auto it = pending.find(target); it != pending.end()) {
    kept = it->second;
    old = steps.read(kept);
  } else {
    old = steps.read(target);
    kept = steps.keepCopy(old);
  }
  try {
    steps.rewrite(bytes);
  } catch (...) {
    try {
      steps.rewrite(old);
      pending.erase(target);
      steps.remove(kept);
    } catch (...) {
      // The first failure is the one the caller hears of; this one only leaves its trace.
      TraceCurrentFailure("save in place");
      pending[target] = kept;
    }
    throw;
  }
  pending.erase(target);
  steps.remove(kept);
}

}  // namespace zorvex::leftovers
