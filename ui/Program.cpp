#include "ui/Program.h"

#include "platform/win32/Win32Dde.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "platform/win32/Win32System.h"
#include "platform/win32/Win32TabStrip.h"
#include "platform/win32/Win32WindowEvents.h"
#include "ui/FormAddPopup.h"
#include "ui/FormOptions.h"
#include "ui/FormWindowRule.h"
#include "i18n/ClassForm.h"

namespace zorvex {

ProgramServices MakeProgramServices(HINSTANCE instance) {
  ProgramServices p;
  p.desktop = std::make_shared<win32::Win32Desktop>();
  p.mainThread = std::make_shared<win32::Win32MainThread>();
  p.engine.folder = win32::ProgramFolder();
  p.engine.programPath = win32::ProgramPath();
  p.engine.closer.scanner = ScannerServices{p.desktop, p.mainThread, std::make_shared<SystemSleeper>(), nullptr, nullptr};
  p.engine.closer.scanner.tabStrips = std::make_shared<win32::Win32TabStrips>();
  p.engine.closer.monitor = std::make_shared<win32::Win32DdeMonitor>();
  p.engine.closer.ddeClient = std::make_shared<win32::Win32DdeClient>();
  p.engine.closer.clock = std::make_shared<SystemClock>();
  p.engine.closer.pump = std::make_shared<win32::Win32MessagePump>();
  p.engine.closer.events = std::make_shared<win32::Win32WindowEvents>();
  p.engine.sound = std::make_shared<win32::Win32Sound>(instance);
  p.engine.startup = std::make_shared<win32::Win32StartupRegistry>();
  p.engine.localTime = std::make_shared<win32::Win32LocalTime>();
  return p;
}

widgets::TApplication& Application() {
  static widgets::TApplication application;
  return application;
}

TfoMain& CreateMainForm(TZorvex& engine, const ProgramServices& services) {
  MainFormDialogs dialogs;
  dialogs.options = [&engine, desktop = services.desktop] {
    return RunOptionsDialog(
        Application(), engine,
        [&engine, desktop] {
          std::vector<std::string> titles;
          TEnum(*desktop, [&engine] { return engine.Detection(); }).ListWindows(titles);
          return titles;
        },
        [desktop](const WindowRuleText& rule) { return RunWindowRuleDialog(Application(), *desktop, rule); });
  };
  dialogs.addWindowRule = [&engine, desktop = services.desktop] {
    if (const std::optional<WindowRuleText> rule = RunWindowRuleDialog(Application(), *desktop, WindowRuleText{})) {
      engine.AddWindowRule(*rule);
    }
  };
  // --- The add-rule dialog: the engine runs it; the main form's Add Rule action asks the engine.
  engine.RuleDialog = [&engine, desktop = services.desktop](bool multiSelect) {
    return RunAddPopupDialog(Application(), *desktop, [&engine] { return engine.Detection(); }, multiSelect);
  };
  dialogs.addRule = [&engine] { engine.AddRuleFromDialog(); };
  // New dialogs are translated by the main form's translator, for as long as the main form exists.
  SetFormTranslator([] { return foMain != nullptr ? &foMain->ZorvexTranslator() : nullptr; });
  // --- end of the add-rule dialog.
  return Application().Create<TfoMain>(engine, *services.desktop, std::move(dialogs), win32::ProgramFolder());
}

void DestroyForm(widgets::TComponent& form) { Application().Remove(form).reset(); }

}  // namespace zorvex
