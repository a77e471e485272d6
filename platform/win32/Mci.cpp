// The MCI string interface on winmm's wide variant. The 8-bit one would convert the command to
// the system code page, and a clip path holding a character outside it would never open.
#include <cwchar>
#include <string>

#include "platform/Mci.h"
#include "platform/win32/SystemCalls.h"
#include "platform/win32/Text.h"
#include "platform/win32/Windows.h"

namespace platform {

MciError mciSendString(const char* command, char* reply, std::uint32_t replySize,
                       std::uintptr_t callbackWindow) {
    const std::wstring wideCommand = win32::Widen(command == nullptr ? "" : command);
    HWND callback = reinterpret_cast<HWND>(callbackWindow);
    if (reply == nullptr || replySize == 0) {
        return win32::SendMciStringW(wideCommand.c_str(), nullptr, 0, callback);
    }
    // Zero-filled, so that a reply winmm leaves untouched comes back as the empty text.
    std::wstring wideReply(replySize, L'\0');
    const MciError error =
        win32::SendMciStringW(wideCommand.c_str(), wideReply.data(), replySize, callback);
    wideReply.resize(std::wcslen(wideReply.c_str()));
    win32::CopyTerminated(win32::Narrow(wideReply), reply, replySize);
    return error;
}

std::string mciGetErrorString(MciError error) {
    wchar_t text[MAXERRORLENGTH] = {};
    if (mciGetErrorStringW(error, text, MAXERRORLENGTH) == FALSE) {
        return {};
    }
    return win32::Narrow(text);
}

}  // namespace platform
