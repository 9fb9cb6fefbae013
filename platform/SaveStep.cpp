// The program's save-step notice: nothing. Alone in its file, so that a test that links its own
// SaveStepReached never pulls this one from the library.
#include "platform/Files.h"

namespace zorvex {

void SaveStepReached(const char*) {}

}  // namespace zorvex
