// The Windows program under Wine: the windows, a clip without short names through the real winmm,
// the real ostrivane.exe driven from outside. Prints each failed check; 0 when none failed.
#include "platform/win32/Windows.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "forms/Form1.h"
#include "forms/Form2.h"
#include "platform/ProgramDir.h"
#include "platform/win32/Runtime.h"
#include "platform/win32/SystemCalls.h"
#include "platform/win32/Text.h"
#include "player/Module1.h"

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

int failures = 0;
void Check(bool passed, int line, const char* check, const std::wstring& detail) {
    if (!passed) {
        ++failures;
        std::printf("%d: %s (%s)\n", line, check, Narrow(detail).c_str());
    }
}
#define CHECK(c, detail) Check(c, __LINE__, #c, detail)

std::wstring Clip(const wchar_t* name) {
    return Widen(platform::AppPath()) + L"\\attempt\\" + name;
}

// Wine's waveaudio device answers "playing" for a while after a clip's last sample: a quarter of a
// second on an idle machine, half a second with two busy loops beside it, two seconds with both
// cores taken three times over.
constexpr auto kWineLag = std::chrono::seconds(5);
// Under QEMU's emulation of i386 (the argument "emulated") every bound is this many times as wide.
constexpr int kEmulationSlowness = 4;
int slowness = 1;

// At least the clip's length since `start`, and no more than Wine's lag beyond it; both printed.
bool TookTheClipsLength(const std::wstring& clip, std::chrono::steady_clock::time_point start) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    std::uint32_t header[11] = {};  // a plain 44-byte header: bytes a second, then of sound
    std::ifstream(std::filesystem::path(clip), std::ios::binary)
        .read(reinterpret_cast<char*>(header), 44);
    const auto length = std::chrono::milliseconds(1000LL * header[10] / header[7]);
    std::printf("%s: %lld ms for a clip of %lld ms\n", Narrow(clip).c_str(),
                static_cast<long long>(took.count()), static_cast<long long>(length.count()));
    return took >= length && took < length + kWineLag * slowness;
}

// The forms at the screen's resolution: every edge within a pixel of its twips.
void Layout() {
    platform::win32::Runtime runtime(GetModuleHandleW(nullptr));
    auto& form1 = runtime.Show(forms::Form1);
    const double twips = 1440.0 / runtime.Dpi();
    for (auto* window : {&form1, &runtime.Show(forms::Form2)}) {
        RECT r{};
        GetClientRect(window->Handle(), &r);
        CHECK(std::abs(r.right * twips - window->Definition().clientWidth) <= twips / 2, L"width");
        for (const auto& row : window->Definition().controls) {
            HWND control = window->Control(row.name);
            int left = row.left;
            int top = row.top;
            for (const auto& frame : window->Definition().controls) {
                if (frame.name == row.parent) {
                    left += frame.left;
                    top += frame.top;
                }
            }
            GetWindowRect(control, &r);
            MapWindowPoints(nullptr, window->Handle(), reinterpret_cast<POINT*>(&r), 2);
            CHECK(std::abs(r.left * twips - left) + std::abs(r.bottom * twips - top - row.height) <=
                      twips,
                  Widen(std::string(row.name)));
        }
    }
}

// A volume that keeps no short names gives the long path back, blanks and all. (Wine's waveaudio
// device opens no file whose long name leaves the code page, so this folder holds none.)
void AClipInAFolderWithBlanksPlaysWithoutShortNames() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + std::wstring(L"Ostrivane's clips"),
                       clip = folder + L"\\won't drop in.wav";
    CreateDirectoryW(folder.c_str(), nullptr);
    CopyFileW(Clip(L"sends it high.wav").c_str(), clip.c_str(), FALSE);
    const auto start = std::chrono::steady_clock::now();
    Module1::PlayWaveFile(Narrow(clip));
    CHECK(TookTheClipsLength(clip, start), clip);
}

// The real program, started elsewhere than its folder: a click returns once its clip has played,
// the same click again meanwhile returns with it, and closing the window during a clip ends
// the program, but not before the clip's end.
void TheRealProgramPlaysAClickedClipToItsEndAndOutlivesItsWindowUntilThen() {
    const std::wstring exe = Widen(platform::AppPath()) + L"\\ostrivane.exe";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, L"C:\\", &startup,
                   &program);
    HWND form1 = nullptr;
    // Shown once its controls are made: a busy machine may find the window before.
    for (int tries = 0; tries < 500 * slowness && !IsWindowVisible(form1); ++tries) {
        Sleep(20);
        form1 = FindWindowW(nullptr, L"Ostrivane v1.0");
    }
    const auto button = [&](auto caption) {
        return FindWindowExW(form1, nullptr, L"BUTTON", caption);
    };
    DWORD_PTR result = 0;
    DWORD code = 1;
    auto start = std::chrono::steady_clock::now();
    // The same button twice: whichever click comes first plays, the other returns with it.
    PostMessageW(button(L"Sends It High!"), BM_CLICK, 0, 0);
    SendMessageTimeoutW(button(L"Sends It High!"), BM_CLICK, 0, 0, SMTO_NORMAL, 20000 * slowness,
                        &result);
    CHECK(TookTheClipsLength(Clip(L"sends it high.wav"), start), L"click");
    start = std::chrono::steady_clock::now();
    PostMessageW(button(L"Long Try!"), BM_CLICK, 0, 0);
    PostMessageW(form1, WM_CLOSE, 0, 0);
    WaitForSingleObject(program.hProcess, 20000 * slowness);
    CHECK(TookTheClipsLength(Clip(L"long try.wav"), start), L"close");
    CHECK(GetExitCodeProcess(program.hProcess, &code) && code == 0, L"exit code");
    TerminateProcess(program.hProcess, 1);
}

}  // namespace

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback) {
    return mciSendStringW(command, reply, replySize, callback);
}

// As on a volume that keeps no short names: the long path.
DWORD ShortPathNameW(LPCWSTR longPath, LPWSTR buffer, DWORD size) {
    if (GetFileAttributesW(longPath) == INVALID_FILE_ATTRIBUTES)
        return 0;
    return wcslen(longPath) < size ? wcslen(wcscpy(buffer, longPath)) : wcslen(longPath) + 1;
}

}  // namespace platform::win32

int main(int argc, char** argv) {
    // [layout]: the layout alone, at another resolution, say; [emulated]: bounds for QEMU's pace.
    const bool layoutOnly = argc > 1 && std::string(argv[1]) == "layout";
    slowness = std::string(argv[argc - 1]) == "emulated" ? kEmulationSlowness : 1;
    SetProcessDPIAware();  // as the program's manifest makes it
    Layout();
    if (!layoutOnly) {
        AClipInAFolderWithBlanksPlaysWithoutShortNames();
        TheRealProgramPlaysAClickedClipToItsEndAndOutlivesItsWindowUntilThen();
    }
    std::printf("%d failed checks\n", failures);
    return failures == 0 ? 0 : 1;
}
