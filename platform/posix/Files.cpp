#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "base/Trace.h"
#include "platform/SaveLeftovers.h"

namespace zorvex {

namespace {

[[noreturn]] void Throw(const std::string& action, const std::string& path, int error) {
  const std::error_code code(error, std::system_category());
  throw EFileError(action + " \"" + path + "\": " + code.message(), code);
}

// Owns a file descriptor.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return fd_; }
  // Closes now so that a failing close (delayed write errors) can be reported.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

std::string Directory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Through a symbolic link the file it points at is meant, and the link stays.
std::string Resolved(const std::string& path) {
  std::string target = path;
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    target = resolved;
    std::free(resolved);
  }
  return target;
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t put = ::write(fd, data + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) Throw("Cannot write file", path, errno);
    done += static_cast<std::size_t>(put);
  }
}

std::int64_t Nanoseconds(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + static_cast<std::int64_t>(t.tv_nsec);
}

// When the process started, in nanoseconds of the wall clock; none when it cannot be told.
std::optional<std::int64_t> ProcessStart(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return std::nullopt;
  // The name in parentheses may hold blanks; the fields after it are plain. Start time: field 22.
  const auto close = line.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(close + 2));
  std::string field;
  for (int i = 3; i < 22 && fields >> field; ++i) {
  }
  unsigned long long ticks = 0;
  if (!(fields >> ticks)) return std::nullopt;
  const long perSecond = ::sysconf(_SC_CLK_TCK);
  timespec boot{}, now{};
  if (perSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &boot) != 0 || ::clock_gettime(CLOCK_REALTIME, &now) != 0)
    return std::nullopt;
  const std::int64_t sinceBoot = static_cast<std::int64_t>(ticks) * (1000000000 / perSecond);
  return Nanoseconds(now) - Nanoseconds(boot) + sinceBoot;
}

// A process of this id runs and started before time (nanoseconds of the wall clock), so a save of
// its may still be running. When its start cannot be told it counts as such.
bool StartedBefore(std::uint64_t pid, std::int64_t time) {
  if (pid == 0 || pid > static_cast<std::uint64_t>(INT_MAX)) return false;
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return false;
  const std::optional<std::int64_t> start = ProcessStart(static_cast<pid_t>(pid));
  return !start || *start < time;
}

void SyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0 && ::fsync(dir.Get()) != 0) TraceDropped("saving", "folder not flushed: " + folder);
}

// Creates a file of a name no other save uses, "<target>.~<pid>_<n>.part"; stem gets its name
// without ".part".
int CreatePart(const std::string& target, mode_t mode, std::string& stem) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0;; ++attempt) {
    stem = leftovers::Name(target, static_cast<std::uint64_t>(::getpid()), counter++, "");
    const int fd = ::open((stem + ".part").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST || attempt > 100) Throw("Cannot create file", stem + ".part", errno);
  }
}

// Writes bytes into the file itself, so that each of its names sees them; flushed before it returns.
void Rewrite(const std::string& target, const std::string& bytes) {
  Fd file(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
  if (file.Get() < 0) Throw("Cannot write file", target, errno);
  const std::size_t half = bytes.size() / 2;
  WriteAll(file.Get(), bytes.data(), half, target);
  SaveStepReached("rewrite");
  WriteAll(file.Get(), bytes.data() + half, bytes.size() - half, target);
  if (::ftruncate(file.Get(), static_cast<off_t>(bytes.size())) != 0) Throw("Cannot write file", target, errno);
  if (::fsync(file.Get()) != 0) Throw("Cannot write file", target, errno);
  if (file.Close() != 0) Throw("Cannot write file", target, errno);
}

// A file with several names is saved in place, so that none of them is left with the old content.
void SaveLinked(const std::string& target, const std::string& bytes, mode_t mode) {
  leftovers::InPlaceSteps steps;
  steps.read = ReadWholeFile;
  steps.keepCopy = [&](const std::string& old) {
    std::string stem;
    Fd file(CreatePart(target, mode, stem));
    leftovers::TempFile part(stem + ".part", RemoveFile);
    const std::size_t half = old.size() / 2;
    WriteAll(file.Get(), old.data(), half, part.Path());
    SaveStepReached("part");
    WriteAll(file.Get(), old.data() + half, old.size() - half, part.Path());
    if (::fsync(file.Get()) != 0) Throw("Cannot write file", part.Path(), errno);
    if (file.Close() != 0) Throw("Cannot write file", part.Path(), errno);
    const std::string kept = stem + ".kept";
    if (::rename(part.Path().c_str(), kept.c_str()) != 0) Throw("Cannot write file", kept, errno);
    part.Keep();
    // The copy must be on the disk before the target is touched.
    SyncFolder(Directory(target));
    SaveStepReached("kept");
    return kept;
  };
  steps.rewrite = [&](const std::string& content) { Rewrite(target, content); };
  steps.remove = [](const std::string& kept) {
    if (::unlink(kept.c_str()) != 0) {
      const std::error_code code(errno, std::system_category());
      TraceDropped("saving", "cannot remove \"" + kept + "\": " + code.message());
    }
  };
  leftovers::SaveInPlace(target, bytes, steps);
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) Throw("Cannot open file", path, errno);
  std::string data;
  struct stat st {};
  if (::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode)) data.reserve(static_cast<std::size_t>(st.st_size));
  char block[65536];
  for (;;) {
    const ssize_t got = ::read(fd.Get(), block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Throw("Cannot read file", path, errno);
    if (got == 0) break;
    data.append(block, static_cast<std::size_t>(got));
  }
  return data;
}

void ReplaceFileContents(const std::string& path, const std::string& bytes) {
  const std::string target = Resolved(path);

  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (exists) {
    if (S_ISDIR(old.st_mode)) Throw("Cannot write file", path, EISDIR);
    // rename() ignores the target's permissions, so a read-only file is refused here. The mode
    // bits count besides access() because access() grants root everything.
    if ((old.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) Throw("Cannot write file", path, EACCES);
    if (::access(target.c_str(), W_OK) != 0) Throw("Cannot write file", path, errno);
  }

  const mode_t mode = exists ? (old.st_mode & 07777) : 0666;  // a new file gets the umask as usual
  if (exists && old.st_nlink > 1) {
    SaveLinked(target, bytes, mode);
    return;
  }
  std::string stem;
  Fd file(CreatePart(target, mode, stem));
  const std::string tempPath = stem + ".part";
  leftovers::TempFile temp(tempPath, RemoveFile);

  const std::size_t half = bytes.size() / 2;
  WriteAll(file.Get(), bytes.data(), half, tempPath);
  SaveStepReached("part");
  WriteAll(file.Get(), bytes.data() + half, bytes.size() - half, tempPath);
  if (exists) {
    // Best effort: keep the old file's mode exactly (the umask narrowed it) and its owner.
    if (::fchmod(file.Get(), mode) != 0) TraceDropped("saving", "mode not kept: " + path);
    if (::fchown(file.Get(), old.st_uid, old.st_gid) != 0) TraceDropped("saving", "owner not kept: " + path);
  }
  if (::fsync(file.Get()) != 0) Throw("Cannot write file", tempPath, errno);
  if (file.Close() != 0) Throw("Cannot write file", tempPath, errno);
  SaveStepReached("complete");
  if (::rename(temp.Path().c_str(), target.c_str()) != 0) Throw("Cannot replace file", path, errno);
  temp.Keep();

  // The rename itself must reach the disk before the old content is gone for good.
  SyncFolder(Directory(target));
}

void RecoverInterruptedSave(const std::string& path) {
  const std::string target = Resolved(path);
  const std::string folder = Directory(target);
  const std::string base = BaseName(target);

  std::vector<leftovers::Found> found;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
      if (errno == ENOENT) return;
      Throw("Cannot list folder", folder, errno);
    }
    while (const dirent* entry = ::readdir(dir.get())) {
      leftovers::Leftover what;
      if (!leftovers::Parse(base, entry->d_name, what)) continue;
      const std::string leftover = folder + "/" + entry->d_name;
      struct stat st {};
      if (::lstat(leftover.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      found.push_back({leftover, what, Nanoseconds(st.st_mtim)});
    }
  }

  struct stat st {};
  const bool missing = ::lstat(target.c_str(), &st) != 0 && errno == ENOENT;
  const leftovers::Plan plan =
      leftovers::PlanRecovery(found, missing, static_cast<std::uint64_t>(::getpid()), StartedBefore);
  if (plan.restore) {
    if (::rename(found[*plan.restore].path.c_str(), target.c_str()) != 0) Throw("Cannot restore file", path, errno);
    SyncFolder(folder);
  }
  if (plan.rewrite) Rewrite(target, ReadWholeFile(found[*plan.rewrite].path));
  for (const std::size_t i : plan.remove) {
    if (::unlink(found[i].path.c_str()) != 0 && errno != ENOENT) {
      const std::error_code code(errno, std::system_category());
      TraceDropped("save recovery", "cannot remove \"" + found[i].path + "\": " + code.message());
    }
  }
}

void RemoveExistingFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) Throw("Cannot remove file", path, errno);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::optional<std::int64_t> FileWriteTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return Nanoseconds(st.st_mtim);
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::uint64_t AppendLine(const std::string& path, const std::string& line) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (fd.Get() < 0) Throw("Cannot open", path, errno);
  const std::string bytes = line + "\r\n";
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Throw("Cannot write", path, errno);
    done += static_cast<std::size_t>(n);
  }
  struct stat st {};
  const std::uint64_t size = ::fstat(fd.Get(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  if (fd.Close() != 0) Throw("Cannot write", path, errno);
  return size;
}

}  // namespace zorvex
