// The MCI service with a hand-driven audio output and a hand-set clock: command grammar, error
// numbers, reply buffers, file checks, formats, the end of a clip and the stall guard.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <fstream>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "tests/support/Wav.h"

namespace {

using namespace std::chrono_literals;
using testwav::TempDir;

// The test double behind the device: nothing plays unless the test pulls.
struct ManualOutput final : mci::AudioOutput {
    struct Shared {
        Pull pull;
        SDL_AudioSpec format{};
        bool paused = true;
        bool open = false;
        bool refuse = false;
    };
    explicit ManualOutput(Shared& s) : shared(s) {}
    bool Open(const SDL_AudioSpec& format, Pull pull) override {
        if (shared.refuse) {
            return false;
        }
        shared.format = format;
        shared.pull = std::move(pull);
        shared.open = true;
        return true;
    }
    void SetPaused(bool paused) override { shared.paused = paused; }
    void Close() override { shared.open = false; }
    Shared& shared;
};

class MciServiceTest : public ::testing::Test {
  protected:
    MciServiceTest()
        : service([this] { return std::make_unique<ManualOutput>(output); },
                  [this] { return now; }) {}

    platform::MciError Send(const std::string& command) {
        return service.Send(command.c_str(), nullptr, 0);
    }
    std::string Ask(const std::string& command, platform::MciError* error = nullptr) {
        char reply[64];
        std::memset(reply, '#', sizeof reply);
        const auto result = service.Send(command.c_str(), reply, sizeof reply);
        if (error != nullptr) {
            *error = result;
        }
        return reply;
    }
    // Pulls bytes as the audio thread would; returns what it got.
    std::vector<std::uint8_t> Pull(int bytes) {
        std::vector<std::uint8_t> out(static_cast<std::size_t>(bytes));
        output.shared().pull(out.data(), bytes);
        return out;
    }
    std::filesystem::path Clip(const std::string& name, std::size_t frames, int rate = 22050) {
        const auto path = dir.path() / name;
        testwav::WritePcm16(path, rate, 1, testwav::Signal(frames, 1));
        return path;
    }

    struct : ManualOutput::Shared {
        ManualOutput::Shared& shared() { return *this; }
    } output;
    std::chrono::steady_clock::time_point now{};
    TempDir dir;
    mci::Service service;
};

TEST_F(MciServiceTest, GrammarErrorsUseTheMciNumbers) {
    const auto clip = Clip("a.wav", 100).string();
    EXPECT_EQ(Send(""), 267u);
    EXPECT_EQ(Send("   "), 267u);
    EXPECT_EQ(Send("dance sound1"), 261u);
    EXPECT_EQ(Send("play"), 273u);
    EXPECT_EQ(Send("open \"waveaudio!" + clip), 294u);
    EXPECT_EQ(Send("open waveaudio!" + clip + " alias"), 273u);
    EXPECT_EQ(Send("open waveaudio!" + clip + " volume 3"), 259u);
    EXPECT_EQ(Send("open cdaudio!" + clip + " alias x"), 263u);
    EXPECT_EQ(Send("open waveaudio! alias sound1"), 273u);  // no file named
    EXPECT_EQ(Send("play all"), 279u);
    EXPECT_EQ(Send("play nosuch"), 263u);

    // Verbs, keywords and aliases ignore case; the element keeps it.
    EXPECT_EQ(Send("OPEN WaveAudio!" + clip + " ALIAS Sound1"), 0u);
    EXPECT_EQ(Send("Play SOUND1 notify"), 0u);
    EXPECT_EQ(Send("play sound1 twice"), 259u);
    EXPECT_EQ(Ask("STATUS sound1 MODE"), "playing");
    EXPECT_EQ(Send("close SOUND1"), 0u);
    EXPECT_EQ(Send("open waveaudio!" + dir.path().string() + "/A.WAV alias s"), 275u);
}

TEST_F(MciServiceTest, OpenFormsAndTheAliasTable) {
    const auto a = Clip("a b.wav", 2205);  // 100 ms
    // element type waveaudio, with the path quoted because it holds a blank
    EXPECT_EQ(Send("open \"" + a.string() + "\" type waveaudio alias one"), 0u);
    EXPECT_EQ(Ask("status one length"), "100");
    // without an alias the element names the device
    const auto b = Clip("b.wav", 100);
    EXPECT_EQ(Send("open waveaudio!" + b.string()), 0u);
    EXPECT_EQ(Ask("status " + b.string() + " mode"), "stopped");
    EXPECT_EQ(Send("open waveaudio!" + b.string() + " alias ONE"), 289u);

    platform::MciError error = 0;
    EXPECT_EQ(Ask("status nosuch mode", &error), "");  // the reply holds no mode word
    EXPECT_EQ(error, 263u);
    EXPECT_EQ(Ask("status one volume", &error), "");
    EXPECT_EQ(error, 259u);
    EXPECT_EQ(Ask("status one", &error), "");
    EXPECT_EQ(error, 273u);

    EXPECT_EQ(Send("close all"), 0u);
    EXPECT_EQ(Send("close one"), 263u);
    EXPECT_EQ(Send("open waveaudio!" + b.string() + " alias one"), 0u);  // free again
}

TEST_F(MciServiceTest, ShortPathsAreOpenedAsTheFilesTheyName) {
    std::filesystem::create_directories(dir.path() / "my clips");
    const auto clip = Clip("my clips/won't drop in.wav", 100);
    char buffer[512];
    ASSERT_GT(platform::GetShortPathName(clip.c_str(), buffer, sizeof buffer), 0u);
    const std::string shortPath = buffer;
    EXPECT_EQ(shortPath.find(' '), std::string::npos);
    EXPECT_EQ(Send("open waveaudio!" + shortPath + " alias sound1"), 0u);
}

TEST_F(MciServiceTest, RepliesStayWithinTheirSizeAndAreAlwaysTerminated) {
    Send("open waveaudio!" + Clip("a.wav", 100).string() + " alias sound1");
    Send("play sound1");
    for (std::uint32_t size : {1u, 2u, 5u, 7u, 8u}) {
        char reply[16];
        std::memset(reply, '#', sizeof reply);
        const auto error = service.Send("status sound1 mode", reply, size);
        const std::string expected = std::string("playing").substr(0, size - 1);
        EXPECT_EQ(std::string(reply), expected) << size;
        EXPECT_EQ(reply[size], '#') << "written past the size " << size;
        EXPECT_EQ(error, size > 7 ? 0u : 268u) << size;
    }
    EXPECT_EQ(service.Send("status sound1 mode", nullptr, 0), 268u);
    EXPECT_EQ(service.Send(nullptr, nullptr, 0), 267u);
}

TEST_F(MciServiceTest, FilesThatAreNotPlayableWaveFilesAreRefusedWithoutBlocking) {
    const auto expectOpen = [&](const std::filesystem::path& path, platform::MciError error) {
        EXPECT_EQ(Send("open waveaudio!" + path.string() + " alias x"), error) << path;
        Send("close x");
    };
    expectOpen(dir.path() / "missing.wav", 275u);
    expectOpen(dir.path() / "nodir" / "x.wav", 275u);

    std::ofstream(dir.path() / "empty.wav").close();
    expectOpen(dir.path() / "empty.wav", 296u);
    std::ofstream(dir.path() / "text.wav") << "this is not a RIFF file, but long enough to look";
    expectOpen(dir.path() / "text.wav", 296u);
    std::filesystem::create_directory(dir.path() / "folder.wav");
    expectOpen(dir.path() / "folder.wav", 296u);
    ASSERT_EQ(mkfifo((dir.path() / "fifo.wav").c_str(), 0600), 0);
    expectOpen(dir.path() / "fifo.wav", 296u);  // would hang forever if it were read
    std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.wav");
    expectOpen(dir.path() / "zero.wav", 296u);
    std::filesystem::create_symlink("loop.wav", dir.path() / "loop.wav");
    expectOpen(dir.path() / "loop.wav", 296u);

    // Over the size limit: refused before a byte is read (a sparse file costs no disk).
    { std::ofstream big(dir.path() / "big.wav"); }
    std::filesystem::resize_file(dir.path() / "big.wav", mci::kMaxClipFileBytes + 1);
    expectOpen(dir.path() / "big.wav", 296u);

    // A truncated clip plays what it has.
    const auto whole = testwav::ReadAll(Clip("whole.wav", 1000));
    std::ofstream(dir.path() / "cut.wav", std::ios::binary)
        .write(reinterpret_cast<const char*>(whole.data()), 44 + 1000);
    EXPECT_EQ(Send("open waveaudio!" + (dir.path() / "cut.wav").string() + " alias cut"), 0u);
    EXPECT_EQ(Ask("status cut length"), std::to_string(500 * 1000 / 22050));

    // No usable audio output.
    output.refuse = true;
    expectOpen(dir.path() / "whole.wav", 326u);
}

TEST_F(MciServiceTest, EncodingsSdlDecodesOpenAndOthersAreInvalid) {
    const auto source = Clip("source.wav", 22050);  // one second
    struct Case {
        const char* name;
        std::vector<std::string> sox;
        platform::MciError error;
    };
    const std::vector<Case> cases{
        {"u8", {"-e", "unsigned-integer", "-b", "8"}, 0},
        {"s24", {"-b", "24"}, 0},
        {"s32", {"-e", "signed-integer", "-b", "32"}, 0},
        {"f32", {"-e", "floating-point", "-b", "32"}, 0},
        {"ima", {"-e", "ima-adpcm"}, 0},
        {"ms", {"-e", "ms-adpcm"}, 0},
        {"alaw", {"-e", "a-law"}, 0},
        {"mulaw", {"-e", "mu-law"}, 0},
        {"stereo48k", {"-c", "2", "-r", "48000"}, 0},
        {"gsm", {"-e", "gsm-full-rate"}, 296},
    };
    for (const auto& c : cases) {
        const auto path = dir.path() / (std::string(c.name) + ".wav");
        if (!testwav::SoxConvert(source, path, c.sox)) {
            GTEST_SKIP() << "sox cannot write " << c.name;
        }
        EXPECT_EQ(Send("open waveaudio!" + path.string() + " alias c"), c.error) << c.name;
        if (c.error == 0) {
            // Block-coded formats may pad the last block; a second stays a second.
            const int length = std::stoi(Ask("status c length"));
            EXPECT_NEAR(length, 1000, 30) << c.name;
        }
        Send("close c");
    }
}

TEST_F(MciServiceTest, PlayingLastsUntilTheOutputHasConsumedTheLastSample) {
    std::atomic<int> ends = 0;
    service.SetEndNotifier([&] { ++ends; });
    const auto clip = Clip("a.wav", 300);
    const auto pcm = testwav::ReadAll(clip);
    ASSERT_EQ(Send("open waveaudio!" + clip.string() + " alias sound1"), 0u);
    EXPECT_TRUE(output.paused);
    EXPECT_EQ(output.format.freq, 22050);
    EXPECT_EQ(output.format.format, AUDIO_S16LSB);

    EXPECT_EQ(Pull(100), std::vector<std::uint8_t>(100, 0));  // silence before play
    Send("play sound1");
    EXPECT_FALSE(output.paused);
    const auto first = Pull(400);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), pcm.begin() + 44));
    const auto second = Pull(400);  // the last 200 bytes, then silence
    EXPECT_TRUE(std::equal(second.begin(), second.begin() + 200, pcm.begin() + 444));
    EXPECT_TRUE(std::all_of(second.begin() + 200, second.end(), [](auto b) { return b == 0; }));
    EXPECT_EQ(Ask("status sound1 mode"), "playing");  // handed over, not yet consumed
    EXPECT_EQ(ends, 0);
    Pull(400);
    EXPECT_EQ(Ask("status sound1 mode"), "stopped");
    EXPECT_EQ(ends, 1);

    // Play at the end starts over; play while playing plays on from where it is.
    Send("play sound1");
    Pull(200);
    Send("play sound1");
    EXPECT_EQ(Ask("status sound1 position"), std::to_string(100 * 1000 / 22050));
    Send("stop sound1");
    EXPECT_EQ(Ask("status sound1 mode"), "stopped");
    EXPECT_TRUE(output.paused);
    Send("close sound1");
    EXPECT_FALSE(output.open);
}

TEST_F(MciServiceTest, AnOutputThatStopsConsumingStillEndsAfterTheGracePeriod) {
    const auto clip = Clip("a.wav", 22050);  // one second
    Send("open waveaudio!" + clip.string() + " alias sound1");
    Send("play sound1");
    Pull(1000);  // then the output stalls
    now += 1000ms + mci::WaveDevice::kStallGrace - 1ms;
    EXPECT_EQ(Ask("status sound1 mode"), "playing");
    now += 2ms;
    EXPECT_EQ(Ask("status sound1 mode"), "stopped");
    EXPECT_EQ(Send("close sound1"), 0u);
}

TEST_F(MciServiceTest, ASecondOpenOnTheSameAliasLeavesThePlayingClipAlone) {
    const auto first = Clip("first.wav", 2000);
    const auto second = Clip("second.wav", 2000);
    Send("open waveaudio!" + first.string() + " alias sound1");
    Send("play sound1");
    Pull(1000);
    EXPECT_EQ(Send("open waveaudio!" + second.string() + " alias sound1"), 289u);
    EXPECT_EQ(Send("play sound1"), 0u);
    const auto next = Pull(100);  // continues from byte 1000 of the first clip
    const auto pcm = testwav::ReadAll(first);
    EXPECT_TRUE(std::equal(next.begin(), next.end(), pcm.begin() + 44 + 1000));
}

}  // namespace
