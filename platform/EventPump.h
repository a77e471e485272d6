#pragma once

namespace platform {

// Handles the window events that are pending and returns. When none is pending it waits a bounded
// time for one, so that a caller polling in a loop does not spin a core. The bound is the
// platform's: it is how late a change nobody wakes the pump for can be noticed.
void DoEvents();

}  // namespace platform
