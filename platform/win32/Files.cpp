#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace zorvex {

namespace {

std::string SystemMessage(DWORD error) {
  char text[512] = {};
  const DWORD len = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                   text, sizeof text, nullptr);
  std::string message(text, len);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

[[noreturn]] void Throw(const std::string& action, const std::string& path, DWORD error) {
  throw EFileError(action + " \"" + path + "\": " + SystemMessage(error),
                   std::error_code(static_cast<int>(error), std::system_category()));
}

struct HandleCloser {
  void operator()(HANDLE h) const { CloseHandle(h); }
};
// Owns a file handle; holds only valid handles, never INVALID_HANDLE_VALUE.
using UniqueFile = std::unique_ptr<void, HandleCloser>;

// Opens or creates a file; throws with action on failure.
UniqueFile Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, const char* action) {
  HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) Throw(action, path, GetLastError());
  return UniqueFile(h);
}

void WriteAll(HANDLE file, const std::string& bytes, const std::string& path) {
  for (std::size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD put = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &put, nullptr)) Throw("Cannot write file", path, GetLastError());
    done += put;
  }
}

void SetLength(HANDLE file, std::size_t length, const std::string& path) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN) || !SetEndOfFile(file))
    Throw("Cannot write file", path, GetLastError());
}

// Removes the temporary file unless it was moved into place.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() {
    if (!path_.empty()) DeleteFileA(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& Path() const { return path_; }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

// The target is held open by another program without delete sharing, so it can be neither
// replaced nor moved aside. Rewrite it in place instead: grow it first, so that a full disk fails before any old
// byte is overwritten, and keep the complete temporary copy until the new content is whole.
void RewriteInPlace(const std::string& path, const std::string& bytes) {
  UniqueFile file = Open(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING, "Cannot write file");
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) Throw("Cannot write file", path, GetLastError());
  if (static_cast<ULONGLONG>(size.QuadPart) < bytes.size()) SetLength(file.get(), bytes.size(), path);
  LARGE_INTEGER start;
  start.QuadPart = 0;
  if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) Throw("Cannot write file", path, GetLastError());
  WriteAll(file.get(), bytes, path);
  SetLength(file.get(), bytes.size(), path);  // cut what is left of a longer old content
  if (!FlushFileBuffers(file.get())) Throw("Cannot write file", path, GetLastError());
}

}  // namespace

std::string ReadWholeFile(const std::string& path) {
  // Full sharing, so that reading never stands in the way of another program's save.
  UniqueFile file = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                         "Cannot open file");
  std::string data;
  char block[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), block, sizeof block, &got, nullptr)) Throw("Cannot read file", path, GetLastError());
    if (got == 0) break;
    data.append(block, got);
  }
  return data;
}

void ReplaceFileContents(const std::string& path, const std::string& bytes) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    Throw("Cannot write file", path, ERROR_ACCESS_DENIED);

  static std::atomic<unsigned> counter{0};
  std::string tempPath;
  UniqueFile file;
  for (int attempt = 0; !file; ++attempt) {
    tempPath = path + ".~" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++) + ".tmp";
    HANDLE h = CreateFileA(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      file.reset(h);
    } else {
      const DWORD error = GetLastError();
      if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt > 100)
        Throw("Cannot create file", tempPath, error);
    }
  }
  TempFile temp(tempPath);
  WriteAll(file.get(), bytes, tempPath);
  if (!FlushFileBuffers(file.get())) Throw("Cannot write file", tempPath, GetLastError());
  file.reset();

  if (MoveFileExA(temp.Path().c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    temp.Keep();
    return;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
    Throw("Cannot replace file", path, error);

  // Another program holds the file open. An open file cannot be replaced, but when every handle
  // allows deleting, it can be moved aside, freeing the name for the new one.
  const std::string aside = tempPath + ".old";
  if (MoveFileExA(path.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) {
    if (!MoveFileExA(temp.Path().c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
      const DWORD moveError = GetLastError();
      MoveFileExA(aside.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
      Throw("Cannot replace file", path, moveError);
    }
    temp.Keep();
    DeleteFileA(aside.c_str());  // the name goes once the last reader lets go
    return;
  }
  RewriteInPlace(path, bytes);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnlyFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

std::uint64_t AppendLine(const std::string& path, const std::string& line) {
  UniqueFile file = Open(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, "Cannot open");
  const std::string bytes = line + "\r\n";
  DWORD written = 0;
  if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    Throw("Cannot write", path, GetLastError());
  }
  LARGE_INTEGER size{};
  return GetFileSizeEx(file.get(), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

}  // namespace zorvex
