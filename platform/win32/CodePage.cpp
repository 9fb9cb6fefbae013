#include "platform/CodePage.h"

#include <windows.h>

#include <climits>
#include <string>

#include "platform/win32/WideText.h"

namespace zorvex {

std::string AnsiToUtf8(std::string_view bytes) {
  if (bytes.empty()) return std::string();
  // Without MB_ERR_INVALID_CHARS every byte converts: what the code page leaves undefined gets the
  // system's mapping, a lead byte without its trail the default character.
  const int size = bytes.size() > static_cast<std::size_t>(INT_MAX / 2) ? 0 : static_cast<int>(bytes.size());
  const int units = size > 0 ? ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0) : 0;
  if (units <= 0) {
    // The system cannot read it (or it is beyond any file we read): the ASCII part stays, the rest
    // is marked unreadable, so that the caller still gets valid UTF-8 and never a failure.
    std::string out;
    for (const char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80) {
        out.push_back(c);
      } else {
        out += "\xEF\xBF\xBD";
      }
    }
    return out;
  }
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), units);
  return win32::Narrow(wide);
}

}  // namespace zorvex
