#pragma once

namespace platform::qt {

// The application's look, set once after the QApplication: the font every caption is measured
// against, the windows' icon, and how assistive technology sees a form.
void ApplyLook();

}  // namespace platform::qt
