// The names a save gives its files beside the target, and how recovery tells them apart. Shared by
// the POSIX and the Win32 file code; never includes system headers.
//
// A save writes "<target>.~<pid>_<n>.part", flushes it and only then renames it: to the target
// (POSIX), or to "<target>.~<pid>_<n>.new" and then over the target (Windows), where a target held
// open is first moved aside to "<target>.~<pid>_<n>.old". So a ".part" may be cut off, while a
// ".new" or ".old" is always a whole file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

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
    out = {Kind::Part, pid};
    return true;
  }
  if (rest.compare(0, 2, ".~") != 0) return false;
  pos = 2;
  if (!detail::Digits(rest, pos, pid) || pos >= rest.size() || rest[pos] != '_') return false;
  ++pos;
  if (!detail::Digits(rest, pos, n)) return false;
  const std::string suffix = rest.substr(pos);
  if (suffix == ".part" || suffix == ".tmp") {
    out = {Kind::Part, pid};
  } else if (suffix == ".new") {
    out = {Kind::New, pid};
  } else if (suffix == ".old" || suffix == ".tmp.old") {
    out = {Kind::Old, pid};
  } else {
    return false;
  }
  return true;
}

// Of two whole copies beside a missing target, whether a should be put back rather than b: the
// new content of an interrupted save before the old, then the later one.
inline bool Prefer(Kind a, std::int64_t aTime, Kind b, std::int64_t bTime) {
  if (a != b) return a == Kind::New;
  return aTime > bTime;
}

}  // namespace zorvex::leftovers
