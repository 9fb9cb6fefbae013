#include "platform/win32/Win32System.h"

#include <mmsystem.h>

#include "platform/win32/Handles.h"
#include "platform/win32/LateLinks.h"
#include "platform/win32/WideText.h"

namespace zorvex::win32 {

namespace {

constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kAlarmResource = L"ALARM";

UniqueRegKey OpenRunKey() {
  UniqueRegKey key;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
    return UniqueRegKey();
  }
  return key;
}

}  // namespace

void Win32Sound::PlayName(const std::string& name) {
  // No file flag: the name may be a sound alias as well as a wave file.
  late::PlaySoundW(Widen(name).c_str(), nullptr, SND_ASYNC);
}

void Win32Sound::PlayBuiltIn() { late::PlaySoundW(kAlarmResource, module_, SND_RESOURCE | SND_ASYNC); }

bool Win32StartupRegistry::Write(const std::string& name, const std::string& command) {
  UniqueRegKey key = OpenRunKey();
  if (!key) return false;
  const std::wstring data = Widen(command);
  return ::RegSetValueExW(key.get(), Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void Win32StartupRegistry::Remove(const std::string& name) {
  UniqueRegKey key = OpenRunKey();
  if (!key) return;
  const std::wstring value = Widen(name);
  if (::RegQueryValueExW(key.get(), value.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    ::RegDeleteValueW(key.get(), value.c_str());
  }
}

std::string Win32StartupRegistry::Read(const std::string& name) {
  UniqueRegKey key;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::string();
  wchar_t data[2048] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key.get(), Widen(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::string();
  }
  return Narrow(std::wstring(data));
}

std::string Win32LocalTime::Stamp(const SYSTEMTIME& local) {
  wchar_t date[128] = {};
  wchar_t time[128] = {};
  ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128);
  std::string stamp = Narrow(std::wstring(date));
  const bool midnight = local.wHour == 0 && local.wMinute == 0 && local.wSecond == 0 && local.wMilliseconds == 0;
  if (!midnight) {
    ::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 128);
    stamp += " ";
    stamp += Narrow(std::wstring(time));
  }
  return stamp;
}

std::string Win32LocalTime::LogStamp() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  return Stamp(local);
}

std::string ProgramPath() {
  // A path longer than the buffer comes back cut, with the buffer's length: grow and ask again.
  for (std::wstring path(MAX_PATH, L'\0');; path.resize(path.size() * 2)) {
    const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length < path.size() || path.size() >= 32768) return Narrow(path.data(), length);
  }
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}


}  // namespace zorvex::win32
