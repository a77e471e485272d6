#include "platform/win32/WinMm.h"

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback) {
    return mciSendStringW(command, reply, replySize, callback);
}

}  // namespace platform::win32
