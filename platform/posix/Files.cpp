#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

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

// Removes the temporary file unless it was moved into place.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

std::string Directory(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
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
  // Through a symbolic link the file it points at is replaced, and the link stays.
  std::string target = path;
  if (char* resolved = ::realpath(path.c_str(), nullptr)) {
    target = resolved;
    std::free(resolved);
  }

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
    tempPath = target + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter++);
    fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && (errno != EEXIST || attempt > 100)) Throw("Cannot create file", tempPath, errno);
  }
  Fd file(fd);
  TempFile temp(tempPath);

  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t put = ::write(file.Get(), bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) Throw("Cannot write file", tempPath, errno);
    done += static_cast<std::size_t>(put);
  }
  if (exists) {
    // Best effort: keep the old file's mode exactly (the umask narrowed it) and its owner.
    if (::fchmod(file.Get(), mode) != 0) {
    }
    if (::fchown(file.Get(), old.st_uid, old.st_gid) != 0) {
    }
  }
  if (::fsync(file.Get()) != 0) Throw("Cannot write file", tempPath, errno);
  if (file.Close() != 0) Throw("Cannot write file", tempPath, errno);
  if (::rename(temp.Path().c_str(), target.c_str()) != 0) Throw("Cannot replace file", path, errno);
  temp.Keep();

  // The rename itself must reach the disk before the old content is gone for good.
  Fd dir(::open(Directory(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0 && ::fsync(dir.Get()) != 0) {
  }
}

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
