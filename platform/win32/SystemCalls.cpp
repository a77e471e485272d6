#include "platform/win32/SystemCalls.h"

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback) {
    return mciSendStringW(command, reply, replySize, callback);
}

DWORD ShortPathNameW(LPCWSTR longPath, LPWSTR buffer, DWORD size) {
    return GetShortPathNameW(longPath, buffer, size);
}

}  // namespace platform::win32
