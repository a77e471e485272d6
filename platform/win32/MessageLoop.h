#pragma once
#include "platform/win32/Windows.h"

namespace platform::win32 {

// Delivers one message the way both the program's loop and the event pump do: keyboard
// navigation (Tab, Space, Enter) through the dialog manager of the window it belongs to,
// everything else translated and dispatched.
void Deliver(MSG& message);

}  // namespace platform::win32
