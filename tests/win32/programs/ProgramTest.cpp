// The real ostrivane.exe under Wine, driven from outside as a user would, and the resources of
// the executables read back the way Windows reads them.
//
// Usage: wine_program_test <ostrivane.exe to run> [<more executables to read the resources of>]
#include <gtest/gtest.h>

#include "platform/win32/Windows.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "platform/win32/Text.h"
#include "tests/win32/programs/Support.h"

namespace {

using platform::win32::Narrow;
using wine_test::Clock;
using wine_test::MillisecondsSince;
using wine_test::Text;

std::wstring programPath;               // the one to run
std::vector<std::wstring> executables;  // all whose resources to check

std::wstring Directory(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/"));
}

// One run of the program, ended by the test or, failing that, by the destructor.
class Program {
  public:
    Program() {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + programPath + L"\"";
        // Started elsewhere than its own folder: the clips must be found beside the program.
        wchar_t windows[MAX_PATH] = {};
        GetWindowsDirectoryW(windows, MAX_PATH);
        if (!CreateProcessW(programPath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                            nullptr, windows, &startup, &process_)) {
            ADD_FAILURE() << "cannot start " << Narrow(programPath) << ": " << GetLastError();
            return;
        }
        WaitForInputIdle(process_.hProcess, 10000);
        const auto start = Clock::now();
        while (form1_ == nullptr && MillisecondsSince(start) < 10000) {
            const auto found = wine_test::TopLevelWindows(process_.dwProcessId, L"Ostrivane v1.0");
            if (found.empty()) {
                Sleep(20);
            } else {
                form1_ = found.front();
            }
        }
        if (form1_ == nullptr) {
            ADD_FAILURE() << "no main window";
        }
    }
    ~Program() {
        if (process_.hProcess != nullptr) {
            if (Running()) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
            CloseHandle(process_.hThread);
            CloseHandle(process_.hProcess);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    HWND Form1() const { return form1_; }
    HWND Button(std::wstring_view caption) const {
        return wine_test::ChildWithText(form1_, caption);
    }
    std::vector<HWND> AboutWindows() const {
        return wine_test::TopLevelWindows(process_.dwProcessId, L"About");
    }
    bool Running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
    // Waits for the program to end; its exit code, or -1 when it has not ended in time.
    long WaitForExit(DWORD milliseconds) const {
        if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) {
            return -1;
        }
        DWORD code = 0;
        GetExitCodeProcess(process_.hProcess, &code);
        return static_cast<long>(code);
    }

  private:
    PROCESS_INFORMATION process_{};
    HWND form1_ = nullptr;
};

int ClipLength(const wchar_t* clip) {
    return wine_test::WavLengthMs(Directory(programPath) + clip);
}

// Sends a click and waits for the program to have handled it, as a mouse click's caller would.
long long ClickAndWait(HWND button) {
    const auto start = Clock::now();
    DWORD_PTR result = 0;
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 20000, &result);
    return MillisecondsSince(start);
}

TEST(Program, AClickReturnsOnceItsClipHasEnded) {
    Program program;
    ASSERT_NE(program.Form1(), nullptr);
    const int length = ClipLength(L"\\attempt\\far out side.wav");
    ASSERT_GT(length, 500);
    const auto elapsed = ClickAndWait(program.Button(L"Far Outside!"));
    std::printf("a %d ms clip: the click returned after %lld ms\n", length, elapsed);
    EXPECT_GE(elapsed, length);
    EXPECT_LT(elapsed, length + 1000);
    EXPECT_TRUE(program.Running());
}

TEST(Program, ClosingForm1WithAboutOpenKeepsItRunningUntilAboutCloses) {
    Program program;
    ASSERT_NE(program.Form1(), nullptr);
    ClickAndWait(program.Button(L"About"));
    ClickAndWait(program.Button(L"About"));
    const auto about = program.AboutWindows();
    ASSERT_EQ(about.size(), 1u);

    PostMessageW(program.Form1(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(500), -1) << "ended with About still open";
    EXPECT_FALSE(IsWindowVisible(program.Form1()));
    EXPECT_TRUE(IsWindowVisible(about.front()));

    PostMessageW(about.front(), WM_CLOSE, 0, 0);
    EXPECT_EQ(program.WaitForExit(5000), 0);
}

TEST(Program, ClosingForm1DuringAClipEndsTheProgramAfterTheClip) {
    Program program;
    ASSERT_NE(program.Form1(), nullptr);
    const int length = ClipLength(L"\\misc\\that seals the deal now.wav");
    ASSERT_GT(length, 1000);
    const auto start = Clock::now();
    PostMessageW(program.Button(L"That Seals The Deal Now!"), BM_CLICK, 0, 0);
    Sleep(300);
    PostMessageW(program.Form1(), WM_CLOSE, 0, 0);
    Sleep(200);
    EXPECT_TRUE(program.Running());
    EXPECT_FALSE(IsWindowVisible(program.Form1()));
    EXPECT_EQ(program.WaitForExit(length + 3000), 0);
    const auto elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, length);
    EXPECT_LT(elapsed, length + 1500);
}

// ---------------------------------------------------------------- resources

std::wstring VersionString(const std::vector<BYTE>& record, const wchar_t* name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueW(record.data(), key.c_str(), &value, &length) || length == 0) {
        return L"(missing)";
    }
    return static_cast<const wchar_t*>(value);
}

TEST(Resources, TheVersionRecordHoldsEveryValue) {
    ASSERT_FALSE(executables.empty());
    for (const auto& path : executables) {
        SCOPED_TRACE(Narrow(path));
        DWORD ignored = 0;
        const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
        ASSERT_GT(size, 0u);
        std::vector<BYTE> record(size);
        ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, record.data()));

        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(
            VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
        EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

        struct Translation {
            WORD language;
            WORD codePage;
        }* translation = nullptr;
        ASSERT_TRUE(VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                                   reinterpret_cast<void**>(&translation), &length));
        ASSERT_EQ(length, sizeof(Translation));
        EXPECT_EQ(translation->language, 0x0409);  // U.S. English
        EXPECT_EQ(translation->codePage, 1200);    // Unicode

        std::printf("%s:\n  FILEVERSION %u.%u.%u.%u, translation %04X %u\n", Narrow(path).c_str(),
                    HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                    HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS),
                    translation->language, translation->codePage);
        for (const wchar_t* name :
             {L"FileVersion", L"ProductVersion", L"ProductName", L"Comments", L"CompanyName",
              L"FileDescription", L"InternalName", L"OriginalFilename"}) {
            std::printf("  %s = %s\n", Narrow(name).c_str(),
                        Narrow(VersionString(record, name)).c_str());
        }
        EXPECT_EQ(VersionString(record, L"FileVersion"), L"1.00");
        EXPECT_EQ(VersionString(record, L"ProductVersion"), L"1.00");
        EXPECT_EQ(VersionString(record, L"ProductName"), L"Ostrivane (Kazumbala)");
        EXPECT_EQ(VersionString(record, L"Comments"), L"Ka Zum Bala!");
        EXPECT_EQ(VersionString(record, L"OriginalFilename"),
                  path.substr(path.find_last_of(L"\\/") + 1));
        for (const wchar_t* chosen : {L"CompanyName", L"InternalName", L"FileDescription"}) {
            const auto value = VersionString(record, chosen);
            EXPECT_FALSE(value.empty() || value == L"(missing)") << Narrow(chosen);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) {
        if (std::wstring_view(arguments[i]).rfind(L"--gtest", 0) == 0) {
            continue;
        }
        if (programPath.empty()) {
            programPath = arguments[i];
        }
        executables.emplace_back(arguments[i]);
    }
    LocalFree(arguments);
    if (programPath.empty()) {
        std::fprintf(stderr, "usage: wine_program_test <ostrivane.exe> [<executable>...]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
