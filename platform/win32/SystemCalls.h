#pragma once
// The program's calls into winmm's string interface and kernel32's short names. They are a unit
// of their own so that a test build can link a layer in their place, which records what the
// program asks and can answer as a volume without short names does.
#include "platform/win32/Windows.h"

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback);
DWORD ShortPathNameW(LPCWSTR longPath, LPWSTR buffer, DWORD size);

}  // namespace platform::win32
