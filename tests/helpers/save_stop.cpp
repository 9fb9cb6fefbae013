// Test helper: saves a rules file and stops at a chosen step of the save, so that the test can
// kill it exactly there.
//
//   save_stop.exe --ready=EVENT --step=STEP PATH RULE...
// STEP: a step name the save reports ("part", "complete", "aside"; "kept", "rewrite" in place). EVENT is set when the save
// reaches it, and the process then waits to be ended. Exit code 0: the save ended without reaching
// the step; 2: the save failed.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/win32/Handles.h"
#include "xml/SimpleXml.h"

namespace {

std::string g_step;
zorvex::win32::UniqueKernelHandle g_ready;

}  // namespace

// This program's own save-step notice, linked instead of the program's empty one: stops there.
void zorvex::SaveStepReached(const char* step) {
  if (g_step != step) return;
  if (g_ready) SetEvent(g_ready.get());
  Sleep(INFINITE);
}

int main(int argc, char** argv) {
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--ready=", 0) == 0) {
      g_ready.reset(OpenEventA(EVENT_MODIFY_STATE, FALSE, arg.substr(8).c_str()));
    } else if (arg.rfind("--step=", 0) == 0) {
      g_step = arg.substr(7);
    } else {
      rest.push_back(arg);
    }
  }
  if (rest.empty()) return 1;
  zorvex::TSimpleXml doc;
  doc.Root().SetName("Rules");
  for (std::size_t i = 1; i < rest.size(); ++i) doc.Root().Elems().Add("Rule", rest[i]);
  try {
    doc.SaveToFile(rest[0]);
  } catch (const std::exception&) {
    return 2;
  }
  return 0;
}
