// Real playback through SDL's disk writer: what reaches the device, how long "playing" lasts, and
// PlayWaveFile end to end with the real MCI service and the real event pump.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/EventPump.h"
#include "platform/Mci.h"
#include "platform/linux/MciService.h"
#include "platform/qt/EventPump.h"
#include "player/Module1.h"
#include "tests/support/Wav.h"

namespace {

using Clock = std::chrono::steady_clock;
using testwav::TempDir;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto toSeconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

// Whether the capture holds the clip's bytes as one run (SDL may write silence first). A closed
// device finishes writing on a thread of its own, so the capture is given a moment to complete.
bool Captured(const std::vector<std::uint8_t>& pcm) {
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    do {
        const auto capture = testwav::ReadAll(std::getenv("SDL_DISKAUDIOFILE"));
        if (std::search(capture.begin(), capture.end(), pcm.begin(), pcm.end()) != capture.end()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    return false;
}

std::string Send(const std::string& command) {
    char reply[128] = {};
    platform::mciSendString(command.c_str(), reply, sizeof reply, 0);
    return reply;
}

class PlaybackTest : public ::testing::Test {
  protected:
    std::filesystem::path Clip(const std::string& name, double seconds, unsigned seed = 1) {
        const auto path = dir.path() / name;
        testwav::WritePcm16(path, 22050, 1, testwav::Signal(std::size_t(22050 * seconds), 1, seed));
        return path;
    }
    static std::vector<std::uint8_t> Pcm(const std::filesystem::path& clip) {
        auto bytes = testwav::ReadAll(clip);
        return {bytes.begin() + 44, bytes.end()};
    }
    TempDir dir;
};

TEST_F(PlaybackTest, TheDeviceReceivesTheClipsSamplesForTheClipsLength) {
    const auto clip = Clip("a clip.wav", 1.0);
    ASSERT_EQ(Send("open \"" + clip.string() + "\" type waveaudio alias sound1"), "");
    Send("play sound1");
    const auto start = Clock::now();
    while (Send("status sound1 mode") == "playing") {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double played = Seconds(Clock::now() - start);
    Send("close sound1");

    EXPECT_TRUE(Captured(Pcm(clip))) << "the clip's samples were not played";
    RecordProperty("played_ms", int(played * 1000));
    EXPECT_NEAR(played, 1.0, 0.05) << "\"playing\" should last as long as the clip";
}

TEST_F(PlaybackTest, PlayWaveFileReturnsWhenTheClipHasEndedWithoutSpinning) {
    const auto clip = Clip("two seconds.wav", 2.0);
    const auto start = Clock::now();
    const double cpuBefore = CpuSeconds();
    Module1::PlayWaveFile(clip.string());
    const double wall = Seconds(Clock::now() - start);
    const double cpu = CpuSeconds() - cpuBefore;

    std::printf("PlayWaveFile of a 2 s clip: %.3f s wall, %.3f s CPU (%.2f %%)\n", wall, cpu,
                100.0 * cpu / wall);
    EXPECT_GE(wall, 1.98);
    EXPECT_LT(wall, 2.5);
    // A busy poll costs a whole core; the pump's bounded wait costs almost nothing.
    EXPECT_LT(cpu / wall, 0.25);
    EXPECT_TRUE(Captured(Pcm(clip)));
    EXPECT_EQ(Send("status sound1 mode"), "") << "the alias must be free afterwards";
}

TEST_F(PlaybackTest, MissingOrBrokenClipsReturnAtOnceAndTheNextOnePlays) {
    for (const char* name : {"missing.wav", "broken.wav"}) {
        if (std::string(name) == "broken.wav") {
            std::ofstream(dir.path() / name) << "RIFF....WAVEfmt garbage";
        }
        const auto start = Clock::now();
        Module1::PlayWaveFile((dir.path() / name).string());
        EXPECT_LT(Seconds(Clock::now() - start), 0.2) << name;
    }
    const auto clip = Clip("next.wav", 0.3, 7);
    const auto start = Clock::now();
    Module1::PlayWaveFile(clip.string());
    EXPECT_GE(Seconds(Clock::now() - start), 0.28);
    EXPECT_TRUE(Captured(Pcm(clip)));
}

// SDL's disk and dummy drivers have one device; a clip opened while the last one's device was
// still closing was refused, so the click right after a clip was silent.
TEST_F(PlaybackTest, AClipOpenedWhileTheLastOneIsStillClosingPlays) {
    const auto clip = Clip("clip.wav", 1.0);
    for (int i = 0; i < 3; ++i) {
        const std::string open = "open \"" + clip.string() + "\" type waveaudio alias c";
        ASSERT_EQ(platform::mciSendString(open.c_str(), nullptr, 0, 0), 0u) << i;
        Send("play c");
        EXPECT_EQ(Send("status c mode"), "playing") << i;
        Send("close c");
    }
}

// The pump sleeps up to 100 ms when idle and relies on the device's wake-up to see a clip's end
// at once; a lost wake-up would make every click late by up to the whole bound.
TEST(EventPumpTest, AWakeUpEndsTheWaitWhetherItComesBeforeOrDuringIt) {
    const auto wake = platform::qt::MakeWaker();
    platform::DoEvents();  // settle anything pending from start-up

    wake();  // the clip ended between the status query and the pump's wait
    auto start = Clock::now();
    platform::DoEvents();
    EXPECT_LT(Seconds(Clock::now() - start), 0.05) << "a wake-up that came first was lost";

    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        wake();
    });
    start = Clock::now();
    platform::DoEvents();
    const double waited = Seconds(Clock::now() - start);
    waker.join();
    EXPECT_LT(waited, 0.07) << "a wake-up from the audio thread did not end the wait";

    start = Clock::now();
    platform::DoEvents();
    EXPECT_GE(Seconds(Clock::now() - start), 0.05) << "with nothing to do the pump should sleep";
}

}  // namespace

int main(int argc, char** argv) {
    // Sound goes to a file of this process's own unless the caller chose a driver.
    setenv("SDL_AUDIODRIVER", "disk", 0);
    const std::string capture =
        (std::filesystem::temp_directory_path() / ("ostrivane-capture-" + std::to_string(getpid())))
            .string();
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 0);
    QCoreApplication application(argc, argv);
    mci::Service::Instance().SetEndNotifier(platform::qt::MakeWaker());
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    mci::Service::Instance().SetEndNotifier(nullptr);
    std::filesystem::remove(capture);
    return result;
}
