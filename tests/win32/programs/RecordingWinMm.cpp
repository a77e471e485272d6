#include "tests/win32/programs/RecordingWinMm.h"

#include "platform/win32/WinMm.h"

namespace wine_test {

std::vector<MciExchange>& MciLog() {
    static std::vector<MciExchange> log;
    return log;
}

namespace {

int OpenWaveAudioDevices() {
    wchar_t count[32] = {};
    if (mciSendStringW(L"sysinfo waveaudio quantity open", count, 32, nullptr) != 0) {
        return -1;
    }
    return _wtoi(count);
}

}  // namespace
}  // namespace wine_test

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback) {
    const auto sent = std::chrono::steady_clock::now();
    const DWORD result = mciSendStringW(command, reply, replySize, callback);
    const auto answered = std::chrono::steady_clock::now();
    wine_test::MciLog().push_back({command, replySize, callback, result,
                                   reply != nullptr && replySize > 0 ? reply : L"",
                                   wine_test::OpenWaveAudioDevices(), sent, answered});
    return result;
}

}  // namespace platform::win32
