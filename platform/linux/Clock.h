#pragma once
// Now, as the rules about time here read it; tests pass a clock of their own.
#include <chrono>
#include <functional>

namespace mci {

using Clock = std::function<std::chrono::steady_clock::time_point()>;

}  // namespace mci
