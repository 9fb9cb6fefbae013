#include "platform/Files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/Trace.h"
#include "platform/SaveLeftovers.h"
#include "platform/win32/Handles.h"
#include "platform/win32/WideText.h"

namespace zorvex {

namespace {

std::string SystemMessage(DWORD error) {
  wchar_t text[512] = {};
  const DWORD len = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                   text, 512, nullptr);
  std::string message = win32::Narrow(text, len);
  while (!message.empty() && (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : message;
}

[[noreturn]] void Throw(const std::string& action, const std::string& path, DWORD error) {
  throw EFileError(action + " \"" + path + "\": " + SystemMessage(error),
                   std::error_code(static_cast<int>(error), std::system_category()));
}

// Owns a file handle; holds only valid handles, never INVALID_HANDLE_VALUE.
using UniqueFile = win32::UniqueKernelHandle;

// Opens or creates a file; throws with action on failure.
UniqueFile Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, const char* action) {
  HANDLE h = CreateFileW(win32::Widen(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) Throw(action, path, GetLastError());
  return UniqueFile(h);
}

void WriteAll(HANDLE file, const char* data, std::size_t size, const std::string& path) {
  for (std::size_t done = 0; done < size;) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
    DWORD put = 0;
    if (!WriteFile(file, data + done, chunk, &put, nullptr)) Throw("Cannot write file", path, GetLastError());
    done += put;
  }
}

void RemoveFile(const std::string& path) { DeleteFileW(win32::Widen(path).c_str()); }

bool Move(const std::string& from, const std::string& to, DWORD flags) {
  return MoveFileExW(win32::Widen(from).c_str(), win32::Widen(to).c_str(), flags | MOVEFILE_WRITE_THROUGH) != FALSE;
}

std::int64_t FileTime(const FILETIME& time) {
  return (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A process of this id runs and started before time (a file time), so a save of its may still be
// running. A process that runs but will not tell its start counts as such.
bool StartedBefore(std::uint64_t pid, std::int64_t time) {
  if (pid > 0xFFFFFFFFu) return false;
  constexpr DWORD kQueryLimited = 0x1000;  // PROCESS_QUERY_LIMITED_INFORMATION, from Vista on
  win32::UniqueKernelHandle process(OpenProcess(kQueryLimited | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  if (!process) process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  if (!process) process.reset(OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid)));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  if (WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return false;
  FILETIME created{}, exited{}, kernel{}, user{};
  if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user)) return true;
  return FileTime(created) < time;
}

// Creates a file of a name no other save uses, "<target>.~<pid>_<n>.part", for writing alone;
// stem gets its name without ".part".
UniqueFile CreatePart(const std::string& target, std::string& stem) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0;; ++attempt) {
    stem = leftovers::Name(target, GetCurrentProcessId(), counter++, "");
    HANDLE h = CreateFileW(win32::Widen(stem + ".part").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return UniqueFile(h);
    const DWORD error = GetLastError();
    if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt > 100)
      Throw("Cannot create file", stem + ".part", error);
  }
}

// How many names the file has; 1 when it cannot be told (it is then saved as any other).
DWORD LinkCount(const std::string& path) {
  HANDLE h = CreateFileW(win32::Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 1;
  const UniqueFile file(h);
  BY_HANDLE_FILE_INFORMATION info{};
  return GetFileInformationByHandle(file.get(), &info) ? info.nNumberOfLinks : 1;
}

// Writes bytes into the file itself, so that each of its names sees them; flushed before it returns.
void Rewrite(const std::string& target, const std::string& bytes) {
  // Sharing as wide as a reader's, so that one reading it now does not stop the save.
  UniqueFile file = Open(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                         "Cannot write file");
  const std::size_t half = bytes.size() / 2;
  WriteAll(file.get(), bytes.data(), half, target);
  SaveStepReached("rewrite");
  WriteAll(file.get(), bytes.data() + half, bytes.size() - half, target);
  if (!SetEndOfFile(file.get()) || !FlushFileBuffers(file.get())) Throw("Cannot write file", target, GetLastError());
}

// A file with several names is saved in place, so that none of them is left with the old content.
void SaveLinked(const std::string& target, const std::string& bytes) {
  leftovers::InPlaceSteps steps;
  steps.read = ReadWholeFile;
  steps.keepCopy = [&](const std::string& old) {
    std::string stem;
    UniqueFile file = CreatePart(target, stem);
    leftovers::TempFile part(stem + ".part", RemoveFile);
    const std::size_t half = old.size() / 2;
    WriteAll(file.get(), old.data(), half, part.Path());
    SaveStepReached("part");
    WriteAll(file.get(), old.data() + half, old.size() - half, part.Path());
    if (!FlushFileBuffers(file.get())) Throw("Cannot write file", part.Path(), GetLastError());
    file.reset();
    const std::string kept = stem + ".kept";
    if (!Move(part.Path(), kept, 0)) Throw("Cannot write file", kept, GetLastError());
    part.Keep();
    SaveStepReached("kept");
    return kept;
  };
  steps.rewrite = [&](const std::string& content) { Rewrite(target, content); };
  steps.remove = [](const std::string& kept) {
    if (!DeleteFileW(win32::Widen(kept).c_str()))
      TraceDropped("save", "cannot remove \"" + kept + "\": " + SystemMessage(GetLastError()));
  };
  leftovers::SaveInPlace(target, bytes, steps);
}

std::string Folder(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
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
  const DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    Throw("Cannot write file", path, ERROR_ACCESS_DENIED);

  if (attributes != INVALID_FILE_ATTRIBUTES && LinkCount(path) > 1) {
    SaveLinked(path, bytes);
    return;
  }
  std::string stem;
  UniqueFile file = CreatePart(path, stem);
  const std::string partPath = stem + ".part";
  leftovers::TempFile part(partPath, RemoveFile);
  // Closed before part goes: an open file without delete sharing cannot be removed.
  UniqueFile writing = std::move(file);
  const std::size_t half = bytes.size() / 2;
  WriteAll(writing.get(), bytes.data(), half, partPath);
  SaveStepReached("part");
  WriteAll(writing.get(), bytes.data() + half, bytes.size() - half, partPath);
  if (!FlushFileBuffers(writing.get())) Throw("Cannot write file", partPath, GetLastError());
  writing.reset();

  // Only a whole, flushed file ever carries this name: recovery may put it back.
  const std::string newPath = stem + ".new";
  if (!Move(partPath, newPath, 0)) Throw("Cannot write file", newPath, GetLastError());
  part.Keep();
  leftovers::TempFile complete(newPath, RemoveFile);
  SaveStepReached("complete");

  if (Move(newPath, path, MOVEFILE_REPLACE_EXISTING)) {
    complete.Keep();
    return;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED && error != ERROR_LOCK_VIOLATION)
    Throw("Cannot replace file", path, error);

  // Another program holds the file open. When its handle allows deleting, the old file can be
  // moved aside to a name recovery knows, freeing the name for the new one: the two moves
  // ReplaceFile with a backup name makes, done here so that the moment between them can be tested.
  // Without delete sharing nothing can replace it, and rewriting it in place could leave old and
  // new content mixed: the save fails and the old file stays as it is.
  const std::string oldPath = stem + ".old";
  if (!Move(path, oldPath, 0)) Throw("Cannot replace file", path, GetLastError());
  SaveStepReached("aside");
  if (!Move(newPath, path, 0)) {
    const DWORD moveError = GetLastError();
    if (!Move(oldPath, path, 0))
      TraceDropped("save", "cannot put back \"" + path + "\": " + SystemMessage(GetLastError()));
    Throw("Cannot replace file", path, moveError);
  }
  complete.Keep();
  // The name goes once the last reader lets go; a copy still there is removed at the next start.
  if (!DeleteFileW(win32::Widen(oldPath).c_str()))
    TraceDropped("save", "cannot remove \"" + oldPath + "\": " + SystemMessage(GetLastError()));
}

void RecoverInterruptedSave(const std::string& path) {
  const std::string folder = Folder(path);
  const std::string base = path.substr(folder.size());

  std::vector<leftovers::Found> found;
  WIN32_FIND_DATAW entry;
  HANDLE first = FindFirstFileW(win32::Widen(path + ".*").c_str(), &entry);
  const win32::UniqueFind search(first == INVALID_HANDLE_VALUE ? nullptr : first);
  for (bool more = static_cast<bool>(search); more; more = FindNextFileW(search.get(), &entry) != FALSE) {
    leftovers::Leftover what;
    const std::string name = win32::Narrow(std::wstring(entry.cFileName));
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || !leftovers::Parse(base, name, what)) continue;
    found.push_back({folder + name, what, FileTime(entry.ftLastWriteTime)});
  }

  const bool missing =
      GetFileAttributesW(win32::Widen(path).c_str()) == INVALID_FILE_ATTRIBUTES && GetLastError() == ERROR_FILE_NOT_FOUND;
  const leftovers::Plan plan = leftovers::PlanRecovery(found, missing, GetCurrentProcessId(), StartedBefore);
  if (plan.restore && !Move(found[*plan.restore].path, path, 0)) Throw("Cannot restore file", path, GetLastError());
  if (plan.rewrite) Rewrite(path, ReadWholeFile(found[*plan.rewrite].path));
  for (const std::size_t i : plan.remove) {
    if (!DeleteFileW(win32::Widen(found[i].path).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
      TraceDropped("save recovery", "cannot remove \"" + found[i].path + "\": " + SystemMessage(GetLastError()));
  }
}

void RemoveExistingFile(const std::string& path) {
  if (!DeleteFileW(win32::Widen(path).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
    Throw("Cannot remove file", path, GetLastError());
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::int64_t> FileWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(win32::Widen(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return FileTime(data.ftLastWriteTime);
}

bool IsReadOnlyFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(win32::Widen(path).c_str());
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
