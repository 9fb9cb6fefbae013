#include "platform/win32/Win32System.h"

#include <mmsystem.h>

#include "platform/win32/Handles.h"

namespace zorvex::win32 {

namespace {

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kAlarmResource = "ALARM";

UniqueRegKey OpenRunKey() {
  UniqueRegKey key;
  if (::RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        key.put(), nullptr) != ERROR_SUCCESS) {
    return UniqueRegKey();
  }
  return key;
}

}  // namespace

void Win32Sound::PlayName(const std::string& name) {
  // No file flag: the name may be a sound alias as well as a wave file.
  ::PlaySoundA(name.c_str(), nullptr, SND_ASYNC);
}

void Win32Sound::PlayBuiltIn() { ::PlaySoundA(kAlarmResource, module_, SND_RESOURCE | SND_ASYNC); }

bool Win32StartupRegistry::Write(const std::string& name, const std::string& command) {
  UniqueRegKey key = OpenRunKey();
  if (!key) return false;
  return ::RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                          static_cast<DWORD>(command.size() + 1)) == ERROR_SUCCESS;
}

void Win32StartupRegistry::Remove(const std::string& name) {
  UniqueRegKey key = OpenRunKey();
  if (!key) return;
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    ::RegDeleteValueA(key.get(), name.c_str());
  }
}

std::string Win32StartupRegistry::Read(const std::string& name) {
  UniqueRegKey key;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) return std::string();
  char data[2048] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  if (::RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::string();
  }
  return std::string(data);
}

std::string Win32LocalTime::Stamp(const SYSTEMTIME& local) {
  char date[128] = {};
  char time[128] = {};
  ::GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, sizeof date);
  std::string stamp = date;
  const bool midnight = local.wHour == 0 && local.wMinute == 0 && local.wSecond == 0 && local.wMilliseconds == 0;
  if (!midnight) {
    ::GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, sizeof time);
    stamp += " ";
    stamp += time;
  }
  return stamp;
}

std::string Win32LocalTime::LogStamp() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  return Stamp(local);
}

std::string ProgramPath() {
  char path[MAX_PATH * 2] = {};
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, length);
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  return path.substr(0, path.find_last_of("\\/") + 1);
}


}  // namespace zorvex::win32
