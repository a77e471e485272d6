#pragma once
#include <string>

namespace platform {

// The directory holding the running executable, without a trailing separator.
std::string AppPath();

}  // namespace platform
