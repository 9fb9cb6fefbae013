// TSForm over the Win32 form: the program's dialogs derive from it (the portable steps: i18n/ClassForm.h).
#pragma once

#include "ui/widgets/win32/Form.h"
#include "i18n/ClassForm.h"

namespace zorvex {

// The base of the program's dialogs (class "TSForm").
using TSForm = TSFormOf<widgets::TForm>;

}  // namespace zorvex
