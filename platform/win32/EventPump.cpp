#include "platform/EventPump.h"

#include "platform/win32/Windows.h"

#include "platform/win32/MessageLoop.h"

namespace platform::win32 {

void Deliver(MSG& message) {
    HWND root = message.hwnd == nullptr ? nullptr : GetAncestor(message.hwnd, GA_ROOT);
    if (root != nullptr && IsDialogMessageW(root, &message) != FALSE) {
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace platform::win32

namespace platform {
namespace {

// Nothing wakes this pump when a clip ends (the real MCI device is polled), so the bound is how
// late the end is seen.
constexpr DWORD kMaxWaitMs = 10;

}  // namespace

void DoEvents() {
    MSG message;
    bool delivered = false;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        if (message.message == WM_QUIT) {
            // The request is for the outermost loop, which gets it back once the clip under way
            // has ended. Meanwhile the queue holds nothing but it, so just let time pass.
            PostQuitMessage(static_cast<int>(message.wParam));
            Sleep(kMaxWaitMs);
            return;
        }
        win32::Deliver(message);
        delivered = true;
    }
    if (!delivered) {
        // Nothing was pending: sleep until a message arrives or the bound passes, so that a
        // caller polling a clip does not spin a core.
        MsgWaitForMultipleObjectsEx(0, nullptr, kMaxWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace platform
