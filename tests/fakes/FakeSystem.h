// In-memory stand-ins for sound, the start-up registry, the log clock and the tray.
#pragma once

#include <map>
#include <vector>

#include "engine/ClassKiller.h"
#include "platform/Platform.h"

namespace zorvex::fake {

class FakeSound : public ISound {
 public:
  void PlayName(const std::string& name) override { played.push_back(name); }
  void PlayBuiltIn() override { played.push_back("<ALARM>"); }
  std::vector<std::string> played;
};

// A registry of named entries; can refuse writes like a locked-down system.
class FakeStartupRegistry : public IStartupRegistry {
 public:
  bool Write(const std::string& name, const std::string& command) override {
    ++writes;
    if (refuse) return false;
    entries[name] = command;
    return true;
  }
  void Remove(const std::string& name) override {
    ++removes;
    entries.erase(name);
  }
  std::map<std::string, std::string> entries;
  bool refuse = false;
  int writes = 0;
  int removes = 0;
};

class FakeLocalTime : public ILocalTime {
 public:
  std::string LogStamp() override { return stamp; }
  std::string stamp = "07.12.2026 09:30:00";
};

// Records what the engine shows in the tray.
class FakeTray : public ITrayView {
 public:
  std::string TrayHint() override { return format; }
  void SetHint(const std::string& hint) override { hints.push_back(hint); }
  void FlashKillIcon() override { icons.push_back("kill"); }
  void ShowStateIcon() override { icons.push_back("state"); }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  std::string format = "Zorvex - %d Popups Killed";
  std::vector<std::string> hints;
  std::vector<std::string> icons;
  std::vector<std::string> notices;
};

}  // namespace zorvex::fake
