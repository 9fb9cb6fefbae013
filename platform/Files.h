// Whole-file reading and safe replacement of a file's content, defined per system
// (platform/posix, platform/win32). Never includes system headers.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>

namespace zorvex {

// A file could not be read, created or replaced; Code() is the system's error
// (errno on POSIX, GetLastError on Windows).
class EFileError : public std::runtime_error {
 public:
  // message already names the file and the system's reason.
  EFileError(const std::string& message, std::error_code code) : std::runtime_error(message), code_(code) {}
  // The system error that caused the failure.
  const std::error_code& Code() const noexcept { return code_; }

 private:
  std::error_code code_;
};

// The file's whole content; throws EFileError when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);

// Makes bytes the file's content by writing a temporary file beside it, flushing it and moving it
// over the old one, so a crash or a full disk leaves the old file whole (or, at the one moment
// between moving a held file aside and the new one in, both whole beside it for
// RecoverInterruptedSave). A read-only target, or one that cannot be replaced now (held open
// without delete sharing), is refused and left untouched. A file with more than one name (hard
// links) is written in place instead, after its old content was kept whole beside it, so that
// every name shows the new content. Throws EFileError.
void ReplaceFileContents(const std::string& path, const std::string& bytes);

// Puts the file back when a save was interrupted while it was missing (the newest whole copy),
// and removes what interrupted saves of it left behind. For the start of the program, before it
// saves anything: leftovers stay only while a process of their id runs that started before they
// were written (another instance may be saving). Throws EFileError when a copy cannot be put back.
void RecoverInterruptedSave(const std::string& path);

// Called by each save at each step it reaches: "part" with half the bytes written, "complete",
// and on Windows "aside" with the old file moved aside; a save in place reports "part" (half the
// copy of the old content), "kept" (the copy whole) and "rewrite" (the file itself half written). The program's own does nothing
// (platform/SaveStep.cpp, a file of its own so that a test can link its own instead and end the
// process at a step).
void SaveStepReached(const char* step);

// When the file was last written, in the system's file time (comparable only with itself); none
// when it does not exist.
std::optional<std::int64_t> FileWriteTime(const std::string& path);

// Removes the file; nothing when there is none. Throws EFileError when it stays.
void RemoveExistingFile(const std::string& path);

// True when path names an existing file or folder.
bool FileExists(const std::string& path);

// True when the file exists and carries the read-only attribute (no write permission on POSIX).
bool IsReadOnlyFile(const std::string& path);

// Appends line and a CR LF to the file, creating it when missing; opened and closed for this one
// line. Returns the file's size afterwards. Throws EFileError.
std::uint64_t AppendLine(const std::string& path, const std::string& line);

}  // namespace zorvex
