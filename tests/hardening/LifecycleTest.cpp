// Windows opened and closed while clips play, and long runs of the same thing: nothing may crash,
// and a thousand repetitions may not leave memory or descriptors behind.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "forms/Form1.h"
#include "forms/Form2.h"
#include "platform/qt/Runtime.h"
#include "tests/hardening/Support.h"
#include "tests/support/Wav.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRate = 8000;
constexpr int kRepetitions = 1000;
constexpr int kWarmUp = 50;  // caches and pools fill up in the first rounds

// What a thousand rounds may leave behind: a few bytes each of bookkeeping, nothing per window
// or per clip.
constexpr std::size_t kHeapGrowthBound = 128 << 10;

class LifecycleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hardening::SetProgramDir(dir_.path());
        for (const auto& control : forms::Form1.controls) {
            if (control.clipPath.empty()) {
                continue;
            }
            std::string relative(control.clipPath);
            std::replace(relative.begin(), relative.end(), '\\', '/');
            const fs::path path = dir_.path().string() + relative;
            fs::create_directories(path.parent_path());
            // The first button's clip is long enough to close a window during it.
            const auto frames = control.name == "Command1" ? kRate * 3 / 10 : kRate / 100;
            testwav::WritePcm16(path, kRate, 1, testwav::Signal(frames, 1));
        }
        main_ = &runtime_.Start(forms::Form1);
    }

    void Click(const char* button) {
        qobject_cast<QAbstractButton*>(main_->Control(button))->click();
    }

    // Delivers what the windows have posted and deletes those closed so far, as the main loop
    // would once the click handler returns.
    static void RunMainLoopOnce() {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Lets clips that have just ended finish closing their devices.
    static void Settle() {
        std::this_thread::sleep_for(200ms);
        QCoreApplication::processEvents();
    }

    testwav::TempDir dir_;
    hardening::EndCounter ends_;
    platform::qt::Runtime runtime_;
    platform::qt::FormWindow* main_ = nullptr;
};

TEST_F(LifecycleTest, ClosingTheMainWindowDuringAClipLetsTheClipPlayToItsEnd) {
    QPointer<QWidget> window = main_;
    QTimer::singleShot(50, [&] { main_->close(); });
    const auto start = Clock::now();
    Click("Command1");
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 280ms) << "the clip was cut short";
    EXPECT_LT(took, 1300ms);
    ASSERT_FALSE(window.isNull()) << "the start-up window must outlive its own click handler";
    EXPECT_FALSE(window->isVisible());
    Settle();
    EXPECT_EQ(ends_.Count(), 1);
}

TEST_F(LifecycleTest, ClosingAboutDuringAClipLetsTheClipPlayAndAboutOpensAgain) {
    Click("Command28");
    QPointer<QWidget> about = runtime_.Find(forms::Form2);
    ASSERT_FALSE(about.isNull());
    QTimer::singleShot(50, [&] { about->close(); });
    const auto start = Clock::now();
    Click("Command1");
    EXPECT_GE(Clock::now() - start, 280ms);
    EXPECT_EQ(runtime_.Find(forms::Form2), nullptr);
    RunMainLoopOnce();
    EXPECT_TRUE(about.isNull()) << "a closed About window is not deleted";

    Click("Command28");
    auto* again = runtime_.Find(forms::Form2);
    ASSERT_NE(again, nullptr);
    auto* text = qobject_cast<QPlainTextEdit*>(again->Control("Text1"));
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(text->toPlainText().startsWith("Coded By:"));
    EXPECT_TRUE(main_->isVisible());
}

TEST_F(LifecycleTest, AThousandAboutWindowsLeaveNoMemoryOrDescriptorsBehind) {
    const auto cycle = [&] {
        Click("Command28");
        auto* about = runtime_.Find(forms::Form2);
        ASSERT_NE(about, nullptr);
        about->close();
        RunMainLoopOnce();
    };
    for (int i = 0; i < kWarmUp; ++i) {
        cycle();
    }
    const auto before = hardening::Measure();
    for (int i = 0; i < kRepetitions; ++i) {
        cycle();
    }
    const auto after = hardening::Measure();
    std::printf("heap %zu -> %zu bytes, descriptors %zu -> %zu\n", before.heapInUse,
                after.heapInUse, before.openFds, after.openFds);
    EXPECT_LT(after.heapInUse, before.heapInUse + kHeapGrowthBound);
    EXPECT_LE(after.openFds, before.openFds);
}

TEST_F(LifecycleTest, AThousandClipsInARowLeaveNoMemoryOrDescriptorsBehind) {
    for (int i = 0; i < kWarmUp; ++i) {
        Click("Command2");
    }
    Settle();
    const int endsBefore = ends_.Count();
    const auto before = hardening::Measure();
    for (int i = 0; i < kRepetitions; ++i) {
        Click(i % 2 == 0 ? "Command2" : "Command3");
    }
    Settle();
    const auto after = hardening::Measure();
    std::printf("heap %zu -> %zu bytes, descriptors %zu -> %zu\n", before.heapInUse,
                after.heapInUse, before.openFds, after.openFds);
    EXPECT_EQ(ends_.Count() - endsBefore, kRepetitions) << "some clips did not play";
    EXPECT_LT(after.heapInUse, before.heapInUse + kHeapGrowthBound);
    EXPECT_LE(after.openFds, before.openFds);
}

}  // namespace
