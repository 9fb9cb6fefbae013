// How the program puts itself together: the platform services over Win32 and the main form with
// its dialogs and translator. Kept apart from WinMain so that the Wine tests build the same thing.
#pragma once

#include <windows.h>

#include <memory>

#include "engine/ClassKiller.h"
#include "ui/FormMain.h"

namespace zorvex {

struct ProgramServices {
  EngineServices engine;
  std::shared_ptr<IDesktop> desktop;
  std::shared_ptr<IMainThread> mainThread;
};

// Every service over the real system; files live beside the running program.
ProgramServices MakeProgramServices(HINSTANCE instance);
// The application object: it owns the forms, and language files address them through it.
widgets::TApplication& Application();
// Makes the main form, with everything it opens, under the application object.
TfoMain& CreateMainForm(TZorvex& engine, const ProgramServices& services);
// Takes a form from the application object and destroys it.
void DestroyForm(widgets::TComponent& form);

}  // namespace zorvex
