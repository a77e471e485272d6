// The main window with the real clip player and the real MCI service (SDL's dummy driver), its
// clip folders laid out in a directory of the test's own. Every clip file in turn is replaced by
// each kind of thing anyone could drop there: a click on its button must come back within a
// second, and the next click on an intact clip must play it. The process must stay within a fixed
// memory bound and keep no descriptors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "forms/Form1.h"
#include "platform/qt/Runtime.h"
#include "tests/hardening/Support.h"
#include "tests/support/Wav.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRate = 8000;  // SDL then pulls every 10 ms
// A few pulls long, so that some 650 clicks take little time.
constexpr auto kClipLength = std::chrono::milliseconds(40);
constexpr std::size_t kFrames = kRate * kClipLength.count() / 1000;
constexpr auto kClickBound = std::chrono::seconds(1);

std::vector<const forms::Control*> ClipButtons() {
    std::vector<const forms::Control*> buttons;
    for (const auto& control : forms::Form1.controls) {
        if (!control.clipPath.empty()) {
            buttons.push_back(&control);
        }
    }
    return buttons;
}

// A canonical WAVE header in front of samples, with every field the test may want to lie in.
struct Header {
    std::uint16_t channels = 1;
    std::uint32_t rate = kRate;
    std::uint32_t dataBytes = 0;  // as declared
    std::uint32_t riffBytes = 0;  // as declared; 0 for the true size
};

std::string WaveBytes(const Header& h, const std::vector<std::int16_t>& samples) {
    std::string out;
    const auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out += static_cast<char>(value >> (8 * i));
        }
    };
    const auto blockAlign = static_cast<std::uint16_t>(h.channels * 2);
    out += "RIFF";
    put(h.riffBytes != 0 ? h.riffBytes : 36 + h.dataBytes, 4);
    out += "WAVEfmt ";
    put(16, 4);
    put(1, 2);
    put(h.channels, 2);
    put(h.rate, 4);
    put(h.rate * blockAlign, 4);
    put(blockAlign, 2);
    put(16, 2);
    out += "data";
    put(h.dataBytes, 4);
    out.append(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
    return out;
}

void WriteFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct Variant {
    const char* name;
    std::function<void(const fs::path& path, const std::vector<std::int16_t>& clip)> make;
    bool plays;  // what is left of a clip still plays
};

std::uint32_t DataBytes(const std::vector<std::int16_t>& clip) {
    return static_cast<std::uint32_t>(clip.size() * 2);
}

std::vector<Variant> Variants() {
    return {
        {"an empty file", [](auto& path, auto&) { WriteFile(path, ""); }, false},
        {"random bytes",
         [](auto& path, auto&) {
             std::mt19937 random(7);
             std::string noise(4096, '\0');
             for (char& c : noise) {
                 c = static_cast<char>(random());
             }
             WriteFile(path, noise);
         },
         false},
        {"a truncated clip",
         [](auto& path, auto& clip) {
             const auto whole = WaveBytes({.dataBytes = DataBytes(clip)}, clip);
             WriteFile(path, whole.substr(0, 44 + (whole.size() - 44) * 3 / 4));
         },
         true},
        {"a clip that claims 4 GiB of samples",
         [](auto& path, auto& clip) {
             WriteFile(path, WaveBytes({.dataBytes = 0xFFFFFFFF, .riffBytes = 0xFFFFFFFF}, clip));
         },
         true},
        {"a clip of 0 channels",
         [](auto& path, auto& clip) {
             WriteFile(path, WaveBytes({.channels = 0, .dataBytes = DataBytes(clip)}, clip));
         },
         false},
        {"a clip of 0 Hz",
         [](auto& path, auto& clip) {
             WriteFile(path, WaveBytes({.rate = 0, .dataBytes = DataBytes(clip)}, clip));
         },
         false},
        {"a directory", [](auto& path, auto&) { fs::create_directory(path); }, false},
        {"a FIFO", [](auto& path, auto&) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, false},
        {"a link to /dev/zero", [](auto& path, auto&) { fs::create_symlink("/dev/zero", path); },
         false},
        {"a link to itself", [](auto& path, auto&) { fs::create_symlink(path.filename(), path); },
         false},
        // Root reads it all the same, and then the clip plays.
        {"a clip without read permission",
         [](auto& path, auto& clip) {
             WriteFile(path, WaveBytes({.dataBytes = DataBytes(clip)}, clip));
             fs::permissions(path, fs::perms::none);
         },
         geteuid() == 0},
        {"a 300 MiB file",
         [](auto& path, auto& clip) {
             constexpr std::uint32_t kSize = 300u << 20;
             WriteFile(path, WaveBytes({.dataBytes = kSize - 44}, clip));
             fs::resize_file(path, kSize);  // sparse: costs no disk
         },
         false},
    };
}

class HostileFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        hardening::SetProgramDir(dir_.path());
        for (std::size_t index = 0; index < buttons_.size(); ++index) {
            clips_.push_back(testwav::Signal(kFrames, 1, static_cast<unsigned>(index + 1)));
            Restore(index);
        }
        window_ = &runtime_.Start(forms::Form1);
    }

    fs::path PathOf(std::size_t index) const {
        std::string relative(buttons_[index]->clipPath);
        std::replace(relative.begin(), relative.end(), '\\', '/');
        return dir_.path().string() + relative;
    }

    void Restore(std::size_t index) {
        const auto path = PathOf(index);
        fs::create_directories(path.parent_path());
        std::error_code ignored;
        fs::remove_all(path, ignored);
        testwav::WritePcm16(path, kRate, 1, clips_[index]);
    }

    // Clicks the button; returns how long the click took and whether a clip played. A clip
    // counts as played when the click lasted at least half a clip (a clip that cannot be played
    // returns at once) and the device then reported its end, which may come a moment after.
    std::pair<Clock::duration, bool> Click(std::size_t index) {
        auto* button = qobject_cast<QAbstractButton*>(window_->Control(buttons_[index]->name));
        const int endsBefore = ends_.Count();
        const auto start = Clock::now();
        button->click();
        const auto took = Clock::now() - start;
        const bool waited = took >= kClipLength / 2;
        const auto deadline = Clock::now() + std::chrono::seconds(1);
        while (waited && ends_.Count() == endsBefore && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return {took, waited && ends_.Count() == endsBefore + 1};
    }

    testwav::TempDir dir_;
    const std::vector<const forms::Control*> buttons_ = ClipButtons();
    std::vector<std::vector<std::int16_t>> clips_;
    hardening::EndCounter ends_;
    platform::qt::Runtime runtime_;
    platform::qt::FormWindow* window_ = nullptr;
};

TEST_F(HostileFolderTest, EveryClickAnswersAndTheNextClipPlays) {
    ASSERT_EQ(buttons_.size(), 27u);
    ASSERT_TRUE(Click(0).second) << "the intact clips must play to begin with";
    const auto baseline = hardening::Measure();

    const auto variants = Variants();
    for (std::size_t index = 0; index < buttons_.size(); ++index) {
        const std::size_t next = (index + 1) % buttons_.size();
        for (const auto& variant : variants) {
            SCOPED_TRACE(std::string(buttons_[index]->name) + " holding " + variant.name);
            std::error_code ignored;
            fs::remove_all(PathOf(index), ignored);
            variant.make(PathOf(index), clips_[index]);

            const auto [took, played] = Click(index);
            EXPECT_LT(took, kClickBound);
            EXPECT_EQ(played, variant.plays);

            const auto [nextTook, nextPlayed] = Click(next);
            EXPECT_TRUE(nextPlayed) << "the next clip did not play";
            EXPECT_LT(nextTook, kClickBound);
            if (HasFailure()) {
                return;  // one broken case says it all; the rest would repeat it 300 times
            }
        }
        Restore(index);
    }

    const auto after = hardening::Measure();
    std::printf("peak resident %zu MiB, peak virtual %zu MiB, descriptors %zu -> %zu\n",
                after.peakResidentKiB >> 10, after.peakVirtualKiB >> 10, baseline.openFds,
                after.openFds);
    RecordProperty("peak_resident_kib", static_cast<int>(after.peakResidentKiB));
    // Sanitizer runtimes keep shadow memory and freed blocks; the bound is for what the program
    // itself holds.
    const std::size_t residentBoundKiB = (hardening::kSanitized ? 1024 : 256) << 10;
    EXPECT_LT(after.peakResidentKiB, residentBoundKiB);
    if (!hardening::kSanitized) {
        // A block of 4 GiB that is never touched costs no resident memory, but address space.
        EXPECT_LT(after.peakVirtualKiB, std::size_t{3} << 20);
    }
    EXPECT_LE(after.openFds, baseline.openFds + 2);
}

}  // namespace
