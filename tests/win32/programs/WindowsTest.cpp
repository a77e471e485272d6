// The Windows program under Wine: the windows the Win32 runtime builds from the tables, clips
// through the real winmm (recorded on the way, with short names as the volume gives them or as a
// volume without them does), and when the program ends.
#include <gtest/gtest.h>

#include "platform/win32/Windows.h"

#include <commctrl.h>

#include <chrono>

#include "forms/Form1.h"
#include "forms/Form2.h"
#include "platform/EventPump.h"
#include "platform/ProgramDir.h"
#include "platform/win32/Runtime.h"
#include "platform/win32/SystemCalls.h"
#include "platform/win32/Text.h"
#include "player/Module1.h"

namespace {

using platform::win32::Widen;

std::vector<std::tuple<std::wstring, DWORD, std::wstring>> sent;  // command, result, reply
bool noShortNames = false;

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// Plays as a click does: the milliseconds it took, and the milliseconds of sound in the clip.
std::pair<long long, long long> Play(const std::wstring& clip, std::function<void()> click) {
    DWORD header[11] = {}, read = 0;  // a plain 44-byte header
    HANDLE file = CreateFileW(clip.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ReadFile(file, header, sizeof header, &read, nullptr);
    CloseHandle(file);
    sent.clear();
    const auto start = std::chrono::steady_clock::now();
    click();
    const auto took = std::chrono::steady_clock::now() - start;
    return {std::chrono::duration_cast<std::chrono::milliseconds>(took).count(),
            1000LL * header[10] / header[7]};
}

struct Windows : ::testing::Test {
    Windows() { noShortNames = false; }
    HWND Control(std::string_view name) const { return form1->Control(name); }
    std::wstring Clip(std::string_view button) const {
        for (const auto& row : forms::Form1.controls)
            if (row.name == button)
                return Widen(platform::AppPath() + std::string(row.clipPath));
        return {};
    }
    platform::win32::Runtime runtime{GetModuleHandleW(nullptr)};
    platform::win32::FormWindow* form1 = &runtime.Show(forms::Form1);
};

TEST_F(Windows, BothFormsAreBuiltFromTheirTablesAtTheScreensResolution) {
    // The focus starts on Command1, and Tab runs through the buttons in number order.
    HWND focus = GetFocus();
    for (int n = 1; n <= 29; ++n, focus = GetNextDlgTabItem(form1->Handle(), focus, FALSE))
        EXPECT_EQ(focus, Control("Command" + std::to_string(n > 28 ? 1 : n))) << n;
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    EXPECT_EQ(FindWindowExW(nullptr, FindWindowW(nullptr, L"About"), nullptr, L"About"), nullptr);
    const double twips = 1440.0 / runtime.Dpi();  // in a pixel; every edge within half of one
    for (auto* window : {form1, runtime.Find(forms::Form2)}) {
        const auto& form = window->Definition();
        HWND handle = window->Handle();
        RECT r{};
        GetClientRect(handle, &r);
        EXPECT_EQ(Text(handle), Widen(form.caption));
        EXPECT_NEAR(r.right * twips, form.clientWidth, twips / 2);
        EXPECT_NEAR(r.bottom * twips, form.clientHeight, twips / 2);
        EXPECT_FALSE(GetWindowLongW(handle, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
        for (const auto& row : form.controls) {
            SCOPED_TRACE(std::string(row.name));
            HWND control = window->Control(row.name);
            const auto style = GetWindowLongW(control, GWL_STYLE);
            const bool frame = row.kind == forms::ControlKind::Frame;
            if (row.kind == forms::ControlKind::TextBox) {
                // The credits, CR LF and all: the box breaks its lines there and wraps the note.
                EXPECT_EQ(Text(control), Widen(forms::CreditsText()));
                EXPECT_GT(SendMessageW(control, EM_GETLINECOUNT, 0, 0), 7);
                EXPECT_EQ(style & (ES_MULTILINE | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL),
                          ES_MULTILINE);
            } else {
                EXPECT_EQ(Text(control), Widen(row.caption));
                EXPECT_EQ(style & (BS_TYPEMASK | BS_MULTILINE | WS_TABSTOP),
                          frame ? BS_GROUPBOX : BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP);
                SIZE ideal{long(row.width / twips), 0};  // the caption's height at this width
                if (!frame &&
                    SendMessageW(control, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal))) {
                    EXPECT_LE(ideal.cy, row.height / twips);
                }
            }
            int left = row.left, top = row.top;
            for (const auto& parent : form.controls)
                if (parent.name == row.parent)
                    left += parent.left, top += parent.top;
            GetWindowRect(control, &r);
            MapWindowPoints(nullptr, handle, reinterpret_cast<POINT*>(&r), 2);
            EXPECT_NEAR(r.left * twips, left, twips / 2);
            EXPECT_NEAR(r.top * twips, top, twips / 2);
            EXPECT_NEAR(r.right * twips, left + row.width, twips / 2);
            EXPECT_NEAR(r.bottom * twips, top + row.height, twips / 2);
        }
    }
    // Enter clicks the focused button as Space does; a closed About comes back loaded afresh.
    SetWindowTextW(runtime.Find(forms::Form2)->Control("Text1"), L"typed over");
    SendMessageW(runtime.Find(forms::Form2)->Handle(), WM_CLOSE, 0, 0);
    SetFocus(Control("Command28"));
    PostMessageW(Control("Command28"), WM_KEYDOWN, VK_RETURN, 0x1C0001);
    PostMessageW(Control("Command28"), WM_KEYUP, VK_RETURN, 0xC01C0001);
    for (int i = 0; i < 20; ++i)
        platform::DoEvents();
    ASSERT_NE(runtime.Find(forms::Form2), nullptr);
    EXPECT_EQ(Text(runtime.Find(forms::Form2)->Control("Text1")), Widen(forms::CreditsText()));
}

// A second click during the clip finds the alias taken, and both return once the clip has played.
TEST_F(Windows, AClickPlaysItsClipThroughWinmmFromAFolderOutsideTheCodePage) {
    ASSERT_NE(Clip("Command2").find(L"\u03A9"), std::wstring::npos);
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(Clip("Command2").c_str(), shortPath, MAX_PATH), 0u);
    PostMessageW(Control("Command3"), BM_CLICK, 0, 0);
    const auto [took, length] =
        Play(Clip("Command2"), [&] { SendMessageW(Control("Command2"), BM_CLICK, 0, 0); });
    EXPECT_GE(took, length);
    EXPECT_LT(took, length + 2000);
    ASSERT_GE(sent.size(), 8u);
    EXPECT_EQ(sent[0], std::tuple(L"open waveaudio!" + std::wstring(shortPath) + L" alias sound1",
                                  0ul, L""));
    EXPECT_EQ(sent[1], std::tuple(std::wstring(L"play sound1"), 0ul, L""));
    EXPECT_EQ(sent[2], std::tuple(std::wstring(L"status sound1 mode"), 0ul, L"playing"));
    EXPECT_NE(std::get<1>(sent[3]), 0u) << "the second open finds the alias taken";
    EXPECT_EQ(
        std::get<0>(sent[sent.size() - 3]) + std::to_wstring(std::get<1>(sent[sent.size() - 3])),
        L"close sound10");
    EXPECT_LT(static_cast<long long>(sent.size()), took / 2) << "the wait spins";
}

// A volume that keeps no short names gives the long path back, blanks and all. (Wine's waveaudio
// device opens no file whose long name leaves the code page, so this folder holds none.)
TEST_F(Windows, AClipInAFolderWithBlanksPlaysWithOrWithoutShortNames) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + std::wstring(L"Ostrivane's clips"),
                       clip = folder + L"\\won't drop in.wav";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Clip("Command6").c_str(), clip.c_str(), FALSE));
    for (bool withoutShortNames : {false, true}) {
        noShortNames = withoutShortNames;
        wchar_t shortPath[MAX_PATH] = {};
        platform::win32::ShortPathNameW(clip.c_str(), shortPath, MAX_PATH);
        const auto [took, length] =
            Play(clip, [&] { Module1::PlayWaveFile(platform::win32::Narrow(clip)); });
        EXPECT_GE(took, length);
        ASSERT_GE(sent.size(), 4u);
        EXPECT_EQ(std::get<0>(sent[0]),
                  withoutShortNames
                      ? L"open \"" + clip + L"\" type waveaudio alias sound1"
                      : L"open waveaudio!" + std::wstring(shortPath) + L" alias sound1");
        EXPECT_EQ(std::get<1>(sent[0]) + std::get<1>(sent.back()), 0u);
        EXPECT_EQ(std::get<2>(sent[2]), L"playing");
    }
}

// Closing the main window during a clip hides it at once; the program ends with its last window,
// but not before the clip has played to its end.
TEST_F(Windows, TheProgramEndsWithItsLastWindowOnceTheClipUnderWayHasEnded) {
    runtime.Show(forms::Form2);
    PostMessageW(Control("Command2"), BM_CLICK, 0, 0);
    PostMessageW(form1->Handle(), WM_CLOSE, 0, 0);
    PostMessageW(runtime.Find(forms::Form2)->Handle(), WM_CLOSE, 0, 0);
    const auto [took, length] = Play(Clip("Command2"), [&] { EXPECT_EQ(runtime.Loop(), 0); });
    EXPECT_GE(took, length);
    EXPECT_EQ(std::get<0>(sent.back()), L"close sound1");
}

}  // namespace

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback) {
    const DWORD result = mciSendStringW(command, reply, replySize, callback);
    EXPECT_EQ(callback, nullptr);
    EXPECT_EQ(replySize, command[0] == L's' ? 128u : 0u) << command;
    sent.emplace_back(command, result, replySize > 0 ? reply : L"");
    return result;
}

// Where the volume keeps no short names, GetShortPathNameW answers with the long path.
DWORD ShortPathNameW(LPCWSTR longPath, LPWSTR buffer, DWORD size) {
    if (!noShortNames)
        return GetShortPathNameW(longPath, buffer, size);
    if (GetFileAttributesW(longPath) == INVALID_FILE_ATTRIBUTES)
        return 0;
    return wcslen(longPath) < size ? wcslen(wcscpy(buffer, longPath)) : wcslen(longPath) + 1;
}

}  // namespace platform::win32
