// The Windows program under Wine: the windows the Win32 runtime builds from the tables, the
// keyboard, the About window, clips through the real winmm (recorded on the way, with short names
// as the volume gives them or as a volume without them does), when the program ends, and the
// executables themselves.
//
// Usage: windows_test <ostrivane.exe> <other executable>...
#include <gtest/gtest.h>

#include "platform/win32/Windows.h"

#include <commctrl.h>
#include <shellapi.h>

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
using Clock = std::chrono::steady_clock;

struct Exchange {
    std::wstring command;
    UINT replySize;
    HWND callback;
    DWORD result;
    std::wstring reply;
};
std::vector<Exchange> sent;  // what the program said to winmm
bool noShortNames = false;
std::vector<std::wstring> executables;

long long Since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// Milliseconds of sound in a PCM WAVE file with a plain 44-byte header.
long long LengthMs(const std::wstring& path) {
    DWORD header[11] = {}, read = 0;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ReadFile(file, header, sizeof header, &read, nullptr);
    CloseHandle(file);
    return header[7] == 0 ? 0 : 1000LL * header[10] / header[7];
}

// The twips of a table put every edge within half a pixel of where the window has it.
void ExpectAt(HWND window, HWND client, int left, int top, int width, int height, int dpi) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, client, reinterpret_cast<POINT*>(&r), 2);
    const auto twips = [dpi](long pixels) { return pixels * 1440.0 / dpi; };
    for (auto [edge, expected] : {std::pair{r.left, left},
                                  {r.top, top},
                                  {r.right, left + width},
                                  {r.bottom, top + height}}) {
        EXPECT_NEAR(twips(edge), expected, 720.0 / dpi) << platform::win32::Narrow(Text(window));
    }
}

class Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        sent.clear();
        noShortNames = false;
        form1 = &runtime.Show(forms::Form1);
    }
    HWND Control(std::string_view name) const { return form1->Control(name); }
    std::string ClipPath(std::string_view button) const {
        for (const auto& row : forms::Form1.controls) {
            if (row.name == button) {
                return platform::AppPath() + std::string(row.clipPath);
            }
        }
        return {};
    }
    platform::win32::Runtime runtime{GetModuleHandleW(nullptr)};
    platform::win32::FormWindow* form1 = nullptr;
};

TEST_F(Windows, BothFormsAreBuiltFromTheirTablesAtTheScreensResolution) {
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    ASSERT_NE(runtime.Find(forms::Form2), nullptr);
    int abouts = 0;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, nullptr, L"About")) != nullptr;) {
        ++abouts;
    }
    EXPECT_EQ(abouts, 1);
    for (auto* window : {form1, runtime.Find(forms::Form2)}) {
        const auto& form = window->Definition();
        HWND handle = window->Handle();
        EXPECT_EQ(Text(handle), Widen(form.caption));
        EXPECT_FALSE(GetWindowLongW(handle, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));
        RECT client{};
        GetClientRect(handle, &client);
        EXPECT_NEAR(client.right * 1440.0 / runtime.Dpi(), form.clientWidth, 720.0 / runtime.Dpi());
        EXPECT_NEAR(client.bottom * 1440.0 / runtime.Dpi(), form.clientHeight,
                    720.0 / runtime.Dpi());
        for (const auto& row : form.controls) {
            HWND control = window->Control(row.name);
            const auto style = GetWindowLongW(control, GWL_STYLE);
            wchar_t kind[16] = {};
            GetClassNameW(control, kind, 16);
            int left = row.left, top = row.top;
            if (row.kind == forms::ControlKind::TextBox) {
                EXPECT_EQ(std::wstring(kind), L"Edit");
                EXPECT_EQ(style & (ES_MULTILINE | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL),
                          ES_MULTILINE);
                // The credits, CR LF and all; the box breaks its lines there and wraps the note.
                EXPECT_EQ(Text(control), Widen(forms::CreditsText()));
                EXPECT_GT(SendMessageW(control, EM_GETLINECOUNT, 0, 0), 7);
            } else {
                EXPECT_EQ(Text(control), Widen(row.caption));
                const bool frame = row.kind == forms::ControlKind::Frame;
                EXPECT_EQ(style & (BS_TYPEMASK | BS_MULTILINE | WS_TABSTOP),
                          frame ? BS_GROUPBOX : BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP);
                for (const auto& parent : form.controls) {
                    if (parent.name == row.parent) {
                        left += parent.left;
                        top += parent.top;
                    }
                }
                SIZE ideal{row.width * runtime.Dpi() / 1440, 0};  // what the caption needs
                ASSERT_TRUE(frame || SendMessageW(control, BCM_GETIDEALSIZE, 0,
                                                  reinterpret_cast<LPARAM>(&ideal)));
                EXPECT_LE(ideal.cy, row.height * runtime.Dpi() / 1440) << row.name;
            }
            ExpectAt(control, handle, left, top, row.width, row.height, runtime.Dpi());
        }
    }
    EXPECT_TRUE(sent.empty());
}

TEST_F(Windows, TabRunsThroughTheButtonsInNumberOrderAndSpaceClicks) {
    HWND focus = GetFocus();
    for (int n = 1; n <= 29; ++n, focus = GetNextDlgTabItem(form1->Handle(), focus, FALSE)) {
        EXPECT_EQ(focus, Control("Command" + std::to_string(n > 28 ? 1 : n))) << n;
    }
    SetFocus(Control("Command28"));
    PostMessageW(Control("Command28"), WM_KEYDOWN, VK_SPACE, 0);
    PostMessageW(Control("Command28"), WM_KEYUP, VK_SPACE, 0xC0000001);
    for (auto start = Clock::now(); Since(start) < 300;) {
        platform::DoEvents();
    }
    ASSERT_NE(runtime.Find(forms::Form2), nullptr) << "Space on About";
    HWND about = runtime.Find(forms::Form2)->Handle();
    SetWindowTextW(runtime.Find(forms::Form2)->Control("Text1"), L"typed over");
    SendMessageW(about, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(about)) << "a closed About window is destroyed";
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    EXPECT_EQ(Text(runtime.Find(forms::Form2)->Control("Text1")), Widen(forms::CreditsText()));
}

// A second click during the clip: its open finds the alias taken, its play and wait go to the
// first clip, and both return when that has played to its end.
TEST_F(Windows, AClickPlaysItsClipThroughWinmmAndReturnsOnceItHasBeenPlayed) {
    const std::wstring clip = Widen(ClipPath("Command2"));
    ASSERT_NE(clip.find(L"\u03A9"), std::wstring::npos)
        << "the folder holds a letter outside the code page";
    wchar_t shortPath[MAX_PATH] = {};
    ASSERT_GT(GetShortPathNameW(clip.c_str(), shortPath, MAX_PATH), 0u);
    PostMessageW(Control("Command3"), BM_CLICK, 0, 0);
    const auto start = Clock::now();
    SendMessageW(Control("Command2"), BM_CLICK, 0, 0);
    const auto took = Since(start);
    EXPECT_GE(took, LengthMs(clip));
    EXPECT_LT(took, LengthMs(clip) + 2000);
    ASSERT_GE(sent.size(), 8u);
    EXPECT_EQ(sent[0].command, L"open waveaudio!" + std::wstring(shortPath) + L" alias sound1");
    std::wstring second = Widen(ClipPath("Command3"));
    GetShortPathNameW(second.c_str(), shortPath, MAX_PATH);
    std::vector<std::pair<std::wstring, bool>> expected{
        {sent[0].command, true},
        {L"play sound1", true},
        {L"status sound1 mode", true},
        {L"open waveaudio!" + std::wstring(shortPath) + L" alias sound1", false},
        {L"play sound1", true}};
    expected.resize(sent.size() - 3, {L"status sound1 mode", true});
    expected.insert(
        expected.end(),
        {{L"close sound1", true}, {L"status sound1 mode", false}, {L"close sound1", false}});
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(std::pair(sent[i].command, sent[i].result == 0), expected[i]) << i;
        EXPECT_EQ(sent[i].replySize, sent[i].command[0] == L's' ? 128u : 0u);
        EXPECT_EQ(sent[i].callback, nullptr);
        EXPECT_EQ(sent[i].reply == L"playing", i + 4 < sent.size() && sent[i].command[0] == L's')
            << i;
    }
    EXPECT_LT(static_cast<long long>(sent.size()), took / 2) << "the wait spins";
}

// On a volume that keeps no short names the long path comes back, blanks and all. (Wine's waveaudio
// device opens no file by a long name outside the code page, so this folder holds none.)
TEST_F(Windows, AClipInAFolderWithBlanksPlaysWithOrWithoutShortNames) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = temp + std::wstring(L"Ostrivane's clips");
    const std::wstring clip = folder + L"\\won't drop in.wav";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Widen(ClipPath("Command6")).c_str(), clip.c_str(), FALSE));
    for (bool withoutShortNames : {false, true}) {
        sent.clear();
        noShortNames = withoutShortNames;
        wchar_t shortPath[MAX_PATH] = {};
        platform::win32::ShortPathNameW(clip.c_str(), shortPath, MAX_PATH);
        const auto start = Clock::now();
        Module1::PlayWaveFile(platform::win32::Narrow(clip));
        EXPECT_GE(Since(start), LengthMs(clip));
        ASSERT_GE(sent.size(), 4u);
        EXPECT_EQ(sent.front().command,
                  withoutShortNames
                      ? L"open \"" + clip + L"\" type waveaudio alias sound1"
                      : L"open waveaudio!" + std::wstring(shortPath) + L" alias sound1");
        EXPECT_EQ(sent.front().result, 0u);
        EXPECT_EQ(sent[2].reply, L"playing");
        EXPECT_EQ(sent.back().command + std::to_wstring(sent.back().result), L"close sound10");
    }
}

// Closing the main window during a clip hides it at once; the program ends with its last window,
// but not before the clip has played to its end.
TEST_F(Windows, TheProgramEndsWithItsLastWindowOnceTheClipUnderWayHasEnded) {
    runtime.Show(forms::Form2);
    PostMessageW(Control("Command2"), BM_CLICK, 0, 0);
    PostMessageW(form1->Handle(), WM_CLOSE, 0, 0);
    PostMessageW(runtime.Find(forms::Form2)->Handle(), WM_CLOSE, 0, 0);
    const auto start = Clock::now();
    EXPECT_EQ(runtime.Loop(), 0);
    EXPECT_GE(Since(start), LengthMs(Widen(ClipPath("Command2"))));
    EXPECT_EQ(sent.back().command, L"close sound1");
}

TEST(Executables, RunFromTheirFolderAndCarryTheirVersionRecord) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = L"\"" + executables.at(0) + L"\"";
    ASSERT_TRUE(CreateProcessW(executables[0].c_str(), line.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, L"C:\\", &startup, &process));
    HWND window = nullptr;
    for (auto start = Clock::now(); !window && Since(start) < 10000; Sleep(50)) {
        window = FindWindowW(nullptr, L"Ostrivane v1.0");
    }
    EXPECT_TRUE(window && FindWindowExW(window, nullptr, nullptr, L"Far Outside!"));
    PostMessageW(window, WM_CLOSE, 0, 0);
    DWORD status = 1;
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &status);
    EXPECT_EQ(status, 0u);
    for (const auto& exe : executables) {
        std::vector<BYTE> record(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
        ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, record.size(), record.data()));
        const auto value = [&](const std::wstring& name) {
            void* data = nullptr;
            UINT size = 0;
            VerQueryValueW(record.data(), (L"\\StringFileInfo\\040904B0\\" + name).c_str(), &data,
                           &size);
            return std::wstring(size > 0 ? static_cast<wchar_t*>(data) : L"");
        };
        EXPECT_EQ(value(L"FileVersion") + L"|" + value(L"ProductVersion") + L"|" +
                      value(L"ProductName") + L"|" + value(L"Comments") + L"|" +
                      value(L"OriginalFilename"),
                  L"1.00|1.00|Ostrivane (Kazumbala)|Ka Zum Bala!|" +
                      exe.substr(exe.find_last_of(L"\\/") + 1));
        EXPECT_NE(value(L"CompanyName") + value(L"InternalName") + value(L"FileDescription"), L"");
    }
}

}  // namespace

namespace platform::win32 {

DWORD SendMciStringW(LPCWSTR command, LPWSTR reply, UINT replySize, HWND callback) {
    const DWORD result = mciSendStringW(command, reply, replySize, callback);
    sent.push_back({command, replySize, callback, result, replySize > 0 ? reply : L""});
    return result;
}

DWORD ShortPathNameW(LPCWSTR longPath, LPWSTR buffer, DWORD size) {
    if (!noShortNames) {
        return GetShortPathNameW(longPath, buffer, size);
    }
    const auto length = static_cast<DWORD>(wcslen(longPath));
    if (GetFileAttributesW(longPath) == INVALID_FILE_ATTRIBUTES || length >= size) {
        return GetFileAttributesW(longPath) == INVALID_FILE_ATTRIBUTES ? 0 : length + 1;
    }
    wcscpy(buffer, longPath);
    return length;
}

}  // namespace platform::win32

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 1; i < argc; ++i) {
        if (std::wstring_view(arguments[i]).rfind(L"--gtest", 0) != 0) {
            executables.emplace_back(arguments[i]);
        }
    }
    return RUN_ALL_TESTS();
}
