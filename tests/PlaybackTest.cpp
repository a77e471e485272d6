// Real sound: clips through SDL's disk writer (what it writes is what a listener would hear) and a
// private PulseAudio server, played by PlayWaveFile with the real service and event pump; and the
// fuzz target's seeds and saved inputs. ctest runs every test in a process of its own.
#include <gtest/gtest.h>
#include <malloc.h>

#include <QTimer>
#include <thread>

#include "platform/EventPump.h"
#include "platform/Mci.h"
#include "platform/ProgramDir.h"
#include "platform/linux/MciService.h"
#include "platform/qt/EventPump.h"
#include "player/Module1.h"
#include "tests/support/Support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct PlaybackTest : ::testing::Test {
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        mci::Service::Instance().SetEndNotifier([this, wake = platform::qt::MakeWaker()] {
            ++ends;
            wake();
        });
    }
    void TearDown() override { mci::Service::Instance().SetEndNotifier(nullptr); }
    std::string Clip(const std::string& name, double seconds, unsigned seed = 1) {
        return support::WriteClip(dir.path / name, std::size_t(22050 * seconds), seed);
    }
    // Whether the capture holds the clip's samples as one run, once the device has written them.
    // A sound server fades in the first few milliseconds of a stream: from then on, exactly.
    bool Heard(const std::string& clip, const std::string& where = {}, int fadeIn = 0) const {
        const auto samples = support::ReadAll(clip);
        for (int tries = 0; tries < 100; ++tries, std::this_thread::sleep_for(50ms)) {
            const auto heard = support::ReadAll(where.empty() ? capture : where);
            if (std::search(heard.begin(), heard.end(), samples.begin() + 44 + fadeIn,
                            samples.end()) != heard.end())
                return true;
        }
        return false;
    }
    Clock::duration Click(const std::string& clip) {  // as a button does: how long it took
        const auto start = Clock::now();
        Module1::PlayWaveFile(clip);
        return Clock::now() - start;
    }
    support::TempDir dir;
    const std::string capture = (dir.path / "capture.raw").string();
    std::atomic<int> ends = 0;
};

TEST_F(PlaybackTest, WithNoSoundServerAClickPlaysTheClipThroughSdlAndReturnsWhenItHasPlayed) {
    const support::PulseDaemon server;  // not started: its address leads nowhere
    const std::string clip = Clip("two seconds.wav", 2.0);
    const auto took = Click(clip);
    EXPECT_TRUE(Heard(clip));
    EXPECT_GE(took, 1950ms) << "returned before the clip had played";
    EXPECT_LT(took, 4s) << "returned long after the clip had played";
    EXPECT_EQ(ends, 1);
    char reply[16] = "#";
    platform::mciSendString("status sound1 mode", reply, sizeof reply, 0);
    EXPECT_STREQ(reply, "") << "the alias must be free afterwards";
}

// Single-device drivers such as this one refuse a second device while the last one is still
// closing, yet every clip of a quick series must be heard, and leave nothing behind.
TEST_F(PlaybackTest, ClipsBackToBackAreAllHeardAndLeaveNothingBehind) {
    for (unsigned seed : {2, 3, 4}) {
        const std::string clip = Clip("clip" + std::to_string(seed) + ".wav", 0.3, seed);
        EXPECT_GE(Click(clip), 290ms);
        EXPECT_TRUE(Heard(clip)) << seed;
    }
    const auto inUse = [] {
        std::this_thread::sleep_for(200ms);  // devices close on threads of their own
        return std::pair(mallinfo2().uordblks + mallinfo2().hblkhd,
                         std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
    };
    const auto [heapBefore, fdsBefore] = inUse();
    for (int i = 0; i < 50; ++i)
        Click(Clip("short.wav", 0.01));
    const auto [heapAfter, fdsAfter] = inUse();
    EXPECT_EQ(ends, 53) << "some clips were not played to their end";
    EXPECT_LT(heapAfter, heapBefore + 64 * 1024);
    EXPECT_LE(fdsAfter, fdsBefore);
}

// The server plays the clip, and tells when it has played the last sample: not before the click
// returns. Killed, it ends the clip; back, it plays the next; gone, every click returns at once.
TEST_F(PlaybackTest, ASoundServerPlaysTheClipWholeBeforeTheClickReturnsAndMayDieAnyTime) {
    support::PulseDaemon server;
    ASSERT_EQ(server.Start(), "");
    const std::string monitor = (dir.path / "monitor.raw").string(),
                      clip = Clip("one second.wav", 1.0);
    server.Record(monitor);
    std::this_thread::sleep_for(200ms);
    const auto took = Click(clip);
    EXPECT_TRUE(Heard(clip, monitor, 882)) << "the server did not play the clip's samples";
    server.Kill();
    EXPECT_GE(took, 1s) << "returned before the server had played the clip";
    EXPECT_LT(took, 3s);
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(support::ReadAll(capture).size(), 0u) << "SDL played it";

    ASSERT_EQ(server.Start(), "");
    const std::string three = Clip("three seconds.wav", 3.0);
    QTimer::singleShot(500, [&] { server.Kill(); });
    const auto killed = Click(three);
    EXPECT_GE(killed, 500ms);
    EXPECT_LT(killed, 3s) << "the clip did not end with its server";
    EXPECT_LT(Click(three), 1s) << "with the server gone";
    ASSERT_EQ(server.Start(), "");
    const auto again = Click(Clip("again.wav", 0.3));
    EXPECT_GE(again, 290ms) << "the clip after the server's return";
    EXPECT_LT(again, 2s) << "the clip after the server's return";
    EXPECT_EQ(ends, 3);
}

TEST_F(PlaybackTest, OSTRIVANE_AUDIO_OUTPUT_sdlPlaysThroughSdlWhereAServerAnswers) {
    support::PulseDaemon server;
    ASSERT_EQ(server.Start(), "");
    setenv("OSTRIVANE_AUDIO_OUTPUT", "sdl", 1);
    const std::string clip = Clip("clip.wav", 0.3);
    Click(clip);
    EXPECT_TRUE(Heard(clip));
}

// The pump sleeps when idle and relies on the device's wake-up to see a clip's end at once.
TEST(EventPump, SleepsWhenIdleAndWakesAtOnceWhenWokenBeforeOrDuringItsWait) {
    const auto wake = platform::qt::MakeWaker();
    platform::DoEvents();  // whatever start-up left pending
    auto start = Clock::now();
    for (int i = 0; i < 10; ++i)
        platform::DoEvents();
    EXPECT_GE(Clock::now() - start, 500ms) << "with nothing to do the pump should sleep";
    start = Clock::now();
    for (int i = 0; i < 10; ++i) {
        wake();  // the clip ended between the status query and the wait
        platform::DoEvents();
        std::thread waker([&] { std::this_thread::sleep_for(5ms), wake(); });
        platform::DoEvents();
        waker.join();
    }
    EXPECT_LT(Clock::now() - start, 500ms) << "a wake-up was lost";
}

// The clips are found beside the executable, wherever the program was started from.
TEST(ProgramDir, IsTheExecutablesFolderNotTheWorkingFolder) {
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path("/");
    const std::string appPath = platform::AppPath();
    std::filesystem::current_path(before);
    EXPECT_EQ(appPath, std::filesystem::canonical("/proc/self/exe").parent_path().string());
}

// What the fuzz target once found, and its seeds, replayed in every build; a broken check aborts.
TEST(FuzzTarget, PassesItsChecksOnItsSeedsAndSavedInputs) {
    std::vector<std::filesystem::path> inputs;
    for (const char* folder : {"/corpus/wave_open", "/regressions/wave_open"}) {
        for (const auto& input : std::filesystem::directory_iterator(
                 OSTRIVANE_SOURCE_DIR "/tests/fuzz" + std::string(folder)))
            inputs.push_back(input.path());
    }
    LLVMFuzzerInitialize(nullptr, nullptr);
    for (const auto& input : inputs) {
        std::fprintf(stderr, "%s\n", input.filename().c_str());
        const auto bytes = support::ReadAll(input);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    EXPECT_GT(inputs.size(), 12u);
}

}  // namespace
