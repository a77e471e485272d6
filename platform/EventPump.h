#pragma once

namespace platform {

// Handles the window events that are pending and returns. When none is pending it waits briefly
// (about 10 ms) for one, so that a caller polling in a loop does not spin a core.
void DoEvents();

}  // namespace platform
