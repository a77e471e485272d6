// Long runs of the same thing: a thousand About windows or clips may not leave memory or
// descriptors behind.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
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
            testwav::WritePcm16(path, kRate, 1, testwav::Signal(kRate / 100, 1));
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
