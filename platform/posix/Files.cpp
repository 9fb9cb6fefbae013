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
#include <memory>
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

std::atomic<void (*)(const char*)> g_stepHook{nullptr};

void Step(const char* step) {
  if (auto* hook = g_stepHook.load()) hook(step);
}

void WriteAll(int fd, const char* data, std::size_t size, const std::string& path) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t put = ::write(fd, data + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) Throw("Cannot write file", path, errno);
    done += static_cast<std::size_t>(put);
  }
}

// A process of this id may still be saving; our own counts, as another thread may be.
bool ProcessRunning(std::uint64_t pid) {
  if (pid == 0 || pid > static_cast<std::uint64_t>(INT_MAX)) return false;
  if (pid == static_cast<std::uint64_t>(::getpid())) return true;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void SyncFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0 && ::fsync(dir.Get()) != 0) TraceDropped("saving", "folder not flushed: " + folder);
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

  static std::atomic<unsigned> counter{0};
  const mode_t mode = exists ? (old.st_mode & 07777) : 0666;  // a new file gets the umask as usual
  std::string tempPath;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    tempPath = leftovers::Name(target, static_cast<std::uint64_t>(::getpid()), counter++, ".part");
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && (errno != EEXIST || attempt > 100)) Throw("Cannot create file", tempPath, errno);
  }
  Fd file(fd);
  leftovers::TempFile temp(tempPath, RemoveFile);

  const std::size_t half = bytes.size() / 2;
  WriteAll(file.Get(), bytes.data(), half, tempPath);
  Step("part");
  WriteAll(file.Get(), bytes.data() + half, bytes.size() - half, tempPath);
  if (exists) {
    // Best effort: keep the old file's mode exactly (the umask narrowed it) and its owner.
    if (::fchmod(file.Get(), mode) != 0) TraceDropped("saving", "mode not kept: " + path);
    if (::fchown(file.Get(), old.st_uid, old.st_gid) != 0) TraceDropped("saving", "owner not kept: " + path);
  }
  if (::fsync(file.Get()) != 0) Throw("Cannot write file", tempPath, errno);
  if (file.Close() != 0) Throw("Cannot write file", tempPath, errno);
  Step("complete");
  if (::rename(temp.Path().c_str(), target.c_str()) != 0) Throw("Cannot replace file", path, errno);
  temp.Keep();

  // The rename itself must reach the disk before the old content is gone for good.
  SyncFolder(Directory(target));
}

void RecoverInterruptedSave(const std::string& path) {
  const std::string target = Resolved(path);
  const std::string folder = Directory(target);
  const std::string base = BaseName(target);

  struct Found {
    std::string path;
    leftovers::Kind kind;
    std::int64_t time;
  };
  std::vector<Found> stale;
  {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
      if (errno == ENOENT) return;
      Throw("Cannot list folder", folder, errno);
    }
    while (const dirent* entry = ::readdir(dir.get())) {
      leftovers::Leftover what;
      if (!leftovers::Parse(base, entry->d_name, what) || ProcessRunning(what.pid)) continue;
      const std::string leftover = folder + "/" + entry->d_name;
      struct stat st {};
      if (::lstat(leftover.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      stale.push_back({leftover, what.kind, static_cast<std::int64_t>(st.st_mtime)});
    }
  }

  struct stat st {};
  if (::lstat(target.c_str(), &st) != 0 && errno == ENOENT) {
    const Found* best = nullptr;
    for (const Found& f : stale) {
      if (f.kind == leftovers::Kind::Part) continue;  // may be cut off
      if (!best || leftovers::Prefer(f.kind, f.time, best->kind, best->time)) best = &f;
    }
    if (best) {
      if (::rename(best->path.c_str(), target.c_str()) != 0) Throw("Cannot restore file", path, errno);
      SyncFolder(folder);
      stale.erase(stale.begin() + (best - stale.data()));
    }
  }
  for (const Found& f : stale) {
    if (::unlink(f.path.c_str()) != 0 && errno != ENOENT) {
      const std::error_code code(errno, std::system_category());
      TraceDropped("save recovery", "cannot remove \"" + f.path + "\": " + code.message());
    }
  }
}

void SetSaveStepHookForTesting(void (*hook)(const char* step)) { g_stepHook = hook; }

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
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
