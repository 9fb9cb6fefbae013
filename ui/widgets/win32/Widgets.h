// Every Win32 control of the component model, for forms that use many of them.
#pragma once

#include "ui/widgets/win32/Basic.h"
#include "ui/widgets/win32/Containers.h"
#include "ui/widgets/win32/Control.h"
#include "ui/widgets/win32/Form.h"
#include "ui/widgets/win32/Inputs.h"
#include "ui/widgets/win32/Lists.h"
