// The program body: the engine is made and loaded first, so that detection runs before any form
// exists; a second instance ends silently; the end of the message loop saves everything.
#include <windows.h>

#include <chrono>
#include <memory>

#include "engine/ClassKiller.h"
#include "platform/win32/Dpi.h"
#include "platform/win32/Handles.h"
#include "platform/win32/Win32Dde.h"
#include "platform/win32/Win32Desktop.h"
#include "platform/win32/Win32MainThread.h"
#include "platform/win32/Win32System.h"
#include "ui/FormMain.h"
#include "ui/Program.h"

using namespace zorvex;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  win32::PreferPerMonitorDpi();
  ProgramServices services = MakeProgramServices(instance);
  auto engine = std::make_unique<TZorvex>(services.engine);
  engine->LoadOptions();

  // A second instance ends without a word, saving what it loaded like any instance.
  win32::UniqueKernelHandle mutex(::CreateMutexW(nullptr, TRUE, L"ZORVEX"));
  const bool alreadyRunning = ::GetLastError() == ERROR_ALREADY_EXISTS;
  TfoMain* form = nullptr;
  if (!alreadyRunning) {
    form = &CreateMainForm(*engine, services);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  // Kills reported in the last moment are counted before the count is saved.
  engine->FinishDetection();
  // A settings file another program holds gets a few seconds more.
  engine->FinishSaves(std::chrono::seconds(5));
  // The form refers to the engine, so it goes first; its icon leaves the tray with it.
  if (form != nullptr) DestroyForm(*form);
  engine.reset();
  return 0;
}
