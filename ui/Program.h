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
// The main form with everything it opens.
std::unique_ptr<TfoMain> MakeMainForm(TZorvex& engine, const ProgramServices& services);

}  // namespace zorvex
