#include "platform/CodePage.h"

#include <windows.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <system_error>

namespace zorvex {

std::string AnsiToUtf8(std::string_view bytes) {
  if (bytes.empty()) return std::string();
  if (bytes.size() > static_cast<std::size_t>(INT_MAX / 3)) throw std::length_error("text too long to convert");
  const int size = static_cast<int>(bytes.size());
  // Without MB_ERR_INVALID_CHARS every byte converts: what the code page leaves undefined gets the
  // system's mapping, a lead byte without its trail the default character.
  const int wideSize = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
  if (wideSize <= 0) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "MultiByteToWideChar");
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), wideSize);
  const int utf8Size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, nullptr, 0, nullptr, nullptr);
  if (utf8Size <= 0) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "WideCharToMultiByte");
  std::string utf8(static_cast<std::size_t>(utf8Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideSize, utf8.data(), utf8Size, nullptr, nullptr);
  return utf8;
}

}  // namespace zorvex
