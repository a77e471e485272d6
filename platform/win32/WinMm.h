#pragma once
// The one call into winmm's string interface. It is its own unit so that a test build can link a
// recording layer in its place, which still passes every command on to the real winmm.
#include "platform/win32/Windows.h"

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback);

}  // namespace platform::win32
