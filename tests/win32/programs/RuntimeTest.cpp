// The Win32 window runtime with the real forms and clip player, in one process under Wine: the
// windows it builds from the tables, keyboard handling, the About window, and clip playback
// through the real winmm, recorded on the way. When the program ends is ProgramTest's part.
#include <gtest/gtest.h>

#include "platform/win32/Windows.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "forms/Form1.h"
#include "forms/Form2.h"
#include "platform/EventPump.h"
#include "platform/ProgramDir.h"
#include "platform/win32/Runtime.h"
#include "platform/win32/Text.h"
#include "player/Module1.h"
#include "tests/win32/programs/RecordingWinMm.h"
#include "tests/win32/programs/Support.h"

namespace {

using platform::win32::FormWindow;
using platform::win32::Narrow;
using platform::win32::Runtime;
using platform::win32::Widen;
using wine_test::Clock;
using wine_test::MciLog;
using wine_test::MillisecondsSince;
using wine_test::Text;

constexpr double kTwipsPerInch = 1440.0;

// Lets the windows handle whatever comes in for about this long.
void Pump(int milliseconds) {
    const auto start = Clock::now();
    while (MillisecondsSince(start) < milliseconds) {
        platform::DoEvents();
    }
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// A window's rectangle in the client coordinates of another window, in pixels.
RECT RectIn(HWND window, HWND client) {
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, client, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// Every edge must lie within half a pixel of where the twips put it.
void ExpectEdgesAt(const RECT& pixels, double left, double top, double width, double height,
                   int dpi, std::string_view what) {
    const double tolerance = kTwipsPerInch / dpi / 2;
    const auto twips = [dpi](long pixel) { return pixel * kTwipsPerInch / dpi; };
    EXPECT_NEAR(twips(pixels.left), left, tolerance) << what << " left";
    EXPECT_NEAR(twips(pixels.top), top, tolerance) << what << " top";
    EXPECT_NEAR(twips(pixels.right), left + width, tolerance) << what << " right";
    EXPECT_NEAR(twips(pixels.bottom), top + height, tolerance) << what << " bottom";
}

void PostKey(HWND window, WPARAM key) {
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(static_cast<UINT>(key), 0)) << 16;
    PostMessageW(window, WM_KEYDOWN, key, scan | 1);
    PostMessageW(window, WM_KEYUP, key, scan | 1 | (1L << 30) | (1L << 31));
}

int MaxOpenDevices() {
    int most = 0;
    for (const auto& exchange : MciLog()) {
        most = std::max(most, exchange.openDevices);
    }
    return most;
}

std::wstring ShortPath(const std::string& path) {
    wchar_t buffer[MAX_PATH] = {};
    GetShortPathNameW(Widen(path).c_str(), buffer, MAX_PATH);
    return buffer;
}

const forms::Control& TableEntry(const forms::FormDefinition& form, std::string_view name) {
    for (const auto& control : form.controls) {
        if (control.name == name) {
            return control;
        }
    }
    throw std::out_of_range(std::string(name));
}

class Windows : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { std::printf("screen resolution: %d dpi\n", ScreenDpi()); }

    void SetUp() override {
        runtime_ = std::make_unique<Runtime>(GetModuleHandleW(nullptr));
        runtime_->Show(forms::Form1);
        Pump(100);
        MciLog().clear();
    }
    void TearDown() override {
        runtime_.reset();
        Pump(20);
    }

    HWND Form1() const { return runtime_->Find(forms::Form1)->Handle(); }
    HWND Control(std::string_view name) const {
        return runtime_->Find(forms::Form1)->Control(name);
    }
    FormWindow* Form2() const { return runtime_->Find(forms::Form2); }
    static std::string ClipPath(std::string_view button) {
        return platform::AppPath() + std::string(TableEntry(forms::Form1, button).clipPath);
    }

    std::unique_ptr<Runtime> runtime_;
};

// ---------------------------------------------------------------- the windows from the tables

TEST_F(Windows, Form1HasItsCaptionAndClientSizeAndDoesNotResize) {
    const int dpi = ScreenDpi();
    EXPECT_EQ(Text(Form1()), L"Ostrivane v1.0");
    RECT client{};
    GetClientRect(Form1(), &client);
    ExpectEdgesAt(client, 0, 0, forms::Form1.clientWidth, forms::Form1.clientHeight, dpi,
                  "client area");
    const auto style = GetWindowLongW(Form1(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_NE(GetClassLongPtrW(Form1(), GCLP_HICON), 0);
    EXPECT_NE(GetClassLongPtrW(Form1(), GCLP_HICONSM), 0);
    EXPECT_NE(SendMessageW(Form1(), WM_GETICON, ICON_BIG, 0), 0);
}

TEST_F(Windows, EveryControlOfForm1HasItsClassStyleTextAndPlace) {
    const int dpi = ScreenDpi();
    const auto children = wine_test::Children(Form1());
    ASSERT_EQ(children.size(), forms::Form1.controls.size());
    for (const auto& control : forms::Form1.controls) {
        const std::string name(control.name);
        HWND window = Control(control.name);
        ASSERT_NE(window, nullptr) << name;
        EXPECT_NE(std::find(children.begin(), children.end(), window), children.end()) << name;
        EXPECT_EQ(_wcsicmp(wine_test::ClassName(window).c_str(), L"Button"), 0) << name;
        EXPECT_EQ(Narrow(wine_test::Text(window)), control.caption) << name;

        const auto style = GetWindowLongW(window, GWL_STYLE);
        double left = control.left;
        double top = control.top;
        if (control.kind == forms::ControlKind::Frame) {
            EXPECT_EQ(style & BS_TYPEMASK, BS_GROUPBOX) << name;
            EXPECT_FALSE(style & WS_TABSTOP) << name;
        } else {
            EXPECT_EQ(style & BS_TYPEMASK, BS_PUSHBUTTON) << name;
            EXPECT_TRUE(style & BS_MULTILINE) << name;
            EXPECT_TRUE(style & WS_TABSTOP) << name;
            // Placed relative to its frame, as the table gives it.
            const auto& frame = TableEntry(forms::Form1, control.parent);
            left += frame.left;
            top += frame.top;
        }
        ExpectEdgesAt(RectIn(window, Form1()), left, top, control.width, control.height, dpi, name);
    }
}

TEST_F(Windows, EveryCaptionFitsItsControl) {
    for (const auto& control : forms::Form1.controls) {
        HWND window = Control(control.name);
        RECT rect{};
        GetClientRect(window, &rect);
        if (control.kind == forms::ControlKind::CommandButton) {
            // What the button itself needs at its width, wrapping included.
            SIZE ideal{rect.right, 0};
            ASSERT_TRUE(
                SendMessageW(window, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
            EXPECT_LE(ideal.cy, rect.bottom) << control.name << ": the caption does not fit";
        } else {
            HDC dc = GetDC(window);
            auto old =
                SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
            SIZE extent{};
            const std::wstring caption = Widen(control.caption);
            GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
            SelectObject(dc, old);
            ReleaseDC(window, dc);
            EXPECT_LT(extent.cx, rect.right / 2) << control.name;
        }
    }
}

TEST_F(Windows, TabOrderFollowsTheTableAndStartsOnCommand1) {
    // The dialog manager tabs through the z-order.
    std::vector<const forms::Control*> byTabIndex;
    for (const auto& control : forms::Form1.controls) {
        byTabIndex.push_back(&control);
    }
    std::sort(byTabIndex.begin(), byTabIndex.end(),
              [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    HWND child = GetWindow(Form1(), GW_CHILD);
    for (const auto* control : byTabIndex) {
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(child, Control(control->name)) << control->name;
        child = GetWindow(child, GW_HWNDNEXT);
    }
    EXPECT_EQ(child, nullptr);

    EXPECT_EQ(GetFocus(), Control("Command1"));
    HWND stop = Control("Command1");
    for (int n = 2; n <= 28; ++n) {
        stop = GetNextDlgTabItem(Form1(), stop, FALSE);
        EXPECT_EQ(stop, Control("Command" + std::to_string(n))) << n;
    }
    EXPECT_EQ(GetNextDlgTabItem(Form1(), stop, FALSE), Control("Command1"));
}

// ---------------------------------------------------------------- keyboard

TEST_F(Windows, TabMovesTheFocusAndSpaceOrEnterClicks) {
    PostKey(Control("Command1"), VK_TAB);
    Pump(100);
    EXPECT_EQ(GetFocus(), Control("Command2"));

    SetFocus(Control("Command28"));
    PostKey(Control("Command28"), VK_SPACE);
    Pump(200);
    ASSERT_NE(Form2(), nullptr) << "Space on About";
    SendMessageW(Form2()->Handle(), WM_CLOSE, 0, 0);
    ASSERT_EQ(Form2(), nullptr);

    SetActiveWindow(Form1());
    SetFocus(Control("Command28"));
    PostKey(Control("Command28"), VK_RETURN);
    Pump(200);
    EXPECT_NE(Form2(), nullptr) << "Enter on About";
    EXPECT_TRUE(MciLog().empty());
}

// ---------------------------------------------------------------- the About window

TEST_F(Windows, AboutOpensOneForm2WithTheCredits) {
    const int dpi = ScreenDpi();
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    Pump(100);
    ASSERT_NE(Form2(), nullptr);
    EXPECT_EQ(wine_test::TopLevelWindows(GetCurrentProcessId(), L"About").size(), 1u);

    HWND form2 = Form2()->Handle();
    RECT client{};
    GetClientRect(form2, &client);
    ExpectEdgesAt(client, 0, 0, forms::Form2.clientWidth, forms::Form2.clientHeight, dpi,
                  "About client area");
    ASSERT_EQ(wine_test::Children(form2).size(), 1u);
    HWND text = Form2()->Control("Text1");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(_wcsicmp(wine_test::ClassName(text).c_str(), L"Edit"), 0);
    const auto& entry = TableEntry(forms::Form2, "Text1");
    ExpectEdgesAt(RectIn(text, form2), entry.left, entry.top, entry.width, entry.height, dpi,
                  "Text1");
    const auto style = GetWindowLongW(text, GWL_STYLE);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_FALSE(style & (WS_VSCROLL | WS_HSCROLL)) << "no scroll bars";
    EXPECT_FALSE(style & ES_AUTOHSCROLL) << "the note wraps at the box's width";

    // The text exactly, CR LF and all, and the box breaks its lines there.
    EXPECT_EQ(wine_test::Text(text), Widen(forms::CreditsText()));
    const auto line = [text](int index) {
        wchar_t buffer[256] = {};
        *reinterpret_cast<WORD*>(buffer) = 255;
        const auto length = SendMessageW(text, EM_GETLINE, index, reinterpret_cast<LPARAM>(buffer));
        return std::wstring(buffer, static_cast<std::size_t>(length));
    };
    EXPECT_EQ(line(0), L"Coded By:");
    EXPECT_EQ(line(4), L"");
    EXPECT_EQ(line(5).rfind(L"I still need", 0), 0u);
    EXPECT_GT(SendMessageW(text, EM_GETLINECOUNT, 0, 0), 7) << "the note wraps";
}

TEST_F(Windows, ClosingAboutDestroysItAndTheNextOpeningLoadsAfresh) {
    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    ASSERT_NE(Form2(), nullptr);
    HWND first = Form2()->Handle();
    SetWindowTextW(Form2()->Control("Text1"), L"typed over");
    SendMessageW(first, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(Form2(), nullptr);
    EXPECT_TRUE(IsWindowVisible(Form1()));

    SendMessageW(Control("Command28"), BM_CLICK, 0, 0);
    ASSERT_NE(Form2(), nullptr);
    EXPECT_EQ(wine_test::Text(Form2()->Control("Text1")), Widen(forms::CreditsText()));
}

// ---------------------------------------------------------------- clips through winmm

TEST_F(Windows, Command2SendsTheCommandTextsAndReturnsOnceTheClipHasEnded) {
    // The program directory is one whose name the system's 8-bit code page cannot hold.
    const std::string clip = ClipPath("Command2");
    ASSERT_NE(clip.find("\xCE\xA9"), std::string::npos) << clip;  // capital omega
    const int length = wine_test::WavLengthMs(Widen(clip));
    ASSERT_GT(length, 500);
    const std::wstring shortPath = ShortPath(clip);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_EQ(shortPath.find(L' '), std::wstring::npos);

    const auto start = Clock::now();
    SendMessageW(Control("Command2"), BM_CLICK, 0, 0);
    const auto elapsed = MillisecondsSince(start);

    const auto& log = MciLog();
    ASSERT_GE(log.size(), 4u);
    const auto ms = [](auto from, auto to) {
        return static_cast<long long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
    };
    std::printf(
        "%s: %d ms of sound; the click returned after %lld ms: open %lld ms, play to the "
        "last \"playing\" %lld ms, %zu MCI commands\n",
        clip.c_str(), length, elapsed, ms(log[0].sent, log[0].answered),
        ms(log[1].sent, log[log.size() - 3].answered), log.size());
    EXPECT_EQ(log[0].command, L"open waveaudio!" + shortPath + L" alias sound1");
    EXPECT_EQ(log[0].result, 0u);
    EXPECT_EQ(log[1].command, L"play sound1");
    EXPECT_EQ(log[1].result, 0u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].callback, nullptr);
        const bool status = i >= 2 && i + 1 < log.size();
        EXPECT_EQ(log[i].replySize, status ? 128u : 0u) << i;
        if (status) {
            EXPECT_EQ(log[i].command, L"status sound1 mode");
            // "playing" to the last poll but one: the last one ends the wait.
            EXPECT_EQ(log[i].reply == L"playing", i + 2 < log.size()) << i;
        }
    }
    EXPECT_EQ(log.back().command, L"close sound1");
    EXPECT_EQ(log.back().result, 0u);
    EXPECT_EQ(MaxOpenDevices(), 1);

    EXPECT_GE(elapsed, length);
    EXPECT_LT(elapsed, length + 1000);
    // The wait sleeps between polls instead of spinning.
    EXPECT_LT(static_cast<long long>(log.size()), elapsed / 2);
}

TEST_F(Windows, AClickDuringAClipLeavesThatClipPlayingAlone) {
    const int length = wine_test::WavLengthMs(Widen(ClipPath("Command2")));
    PostMessageW(Control("Command3"), BM_CLICK, 0, 0);  // arrives while Command2's clip plays
    const auto start = Clock::now();
    SendMessageW(Control("Command2"), BM_CLICK, 0, 0);
    const auto elapsed = MillisecondsSince(start);

    std::vector<const wine_test::MciExchange*> opens;
    std::vector<const wine_test::MciExchange*> closes;
    for (const auto& exchange : MciLog()) {
        if (exchange.command.rfind(L"open ", 0) == 0) {
            opens.push_back(&exchange);
        } else if (exchange.command == L"close sound1") {
            closes.push_back(&exchange);
        }
    }
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0]->result, 0u);
    EXPECT_EQ(opens[1]->command,
              L"open waveaudio!" + ShortPath(ClipPath("Command3")) + L" alias sound1");
    EXPECT_NE(opens[1]->result, 0u) << "the alias is taken";
    EXPECT_EQ(MaxOpenDevices(), 1);
    ASSERT_EQ(closes.size(), 2u);
    EXPECT_EQ(closes[0]->result, 0u);
    EXPECT_NE(closes[1]->result, 0u) << "the outer close finds the alias gone";
    EXPECT_GE(elapsed, length);
    EXPECT_LT(elapsed, length + 1000) << "the second clip was not played after the first";
}

TEST_F(Windows, APathOutsideTheCodePagePlays) {
    // Blanks, an apostrophe and an omega, which Windows-1252 lacks, in folder and file name.
    const std::wstring folder = Widen(platform::AppPath()) + L"\\O\u03A9 it's here";
    const std::wstring file = folder + L"\\won't \u03A9 drop.wav";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(Widen(ClipPath("Command6")).c_str(), file.c_str(), FALSE));
    BOOL lossy = FALSE;
    char narrow[MAX_PATH] = {};
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, file.c_str(), -1, narrow, MAX_PATH, nullptr,
                        &lossy);
    ASSERT_TRUE(lossy) << "the code page holds an omega: this test proves nothing here";
    // What the 8-bit call would have been given: a name that no longer exists.
    EXPECT_EQ(GetShortPathNameA(narrow, narrow, MAX_PATH), 0u);

    const int length = wine_test::WavLengthMs(file);
    const auto start = Clock::now();
    Module1::PlayWaveFile(Narrow(file));
    const auto elapsed = MillisecondsSince(start);

    ASSERT_FALSE(MciLog().empty());
    EXPECT_EQ(MciLog().front().result, 0u) << Narrow(MciLog().front().command);
    EXPECT_TRUE(std::any_of(MciLog().begin(), MciLog().end(),
                            [](const auto& exchange) { return exchange.reply == L"playing"; }));
    EXPECT_GE(elapsed, length);
}

}  // namespace
