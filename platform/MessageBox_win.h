// Windows side of message boxes: the system's own box as a presenter. For the Windows program's start
// (which installs it, as the desktop shell installs its presenter on Linux) and the Windows tests.
#pragma once

#include "platform/MessageBox.h"

namespace platform
{

// The presenter that shows MessageBoxW (no owner window, the type as given). When no one can answer
// (IsHeadless) or the box cannot be shown, it does what the default presenter does: one line on
// standard error and the default button, at once. Any thread; the box blocks only its caller.
IMessageBoxPresenter& SystemMessageBoxPresenter();

} // namespace platform
