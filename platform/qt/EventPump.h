#pragma once
#include <functional>

namespace platform::qt {

// A function any thread may call to cut short the event pump's wait on this (the calling)
// thread, e.g. when a clip has ended. It must not be called once that thread's event dispatcher
// is gone.
std::function<void()> MakeWaker();

}  // namespace platform::qt
