// The MCI service over an audio output the test pulls by hand and a clock it sets: the command
// grammar and its error numbers, replies, which files open, the samples handed over, and when a
// clip counts as ended.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "tests/support/Support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Output {
    mci::AudioOutput::Pull pull;
    mci::AudioOutput::Ended ended;
    SDL_AudioSpec format{};
    bool paused = true, open = false, refuse = false;
};
struct ManualOutput final : mci::AudioOutput {
    explicit ManualOutput(Output& output) : o(output) {}
    bool Open(const SDL_AudioSpec& format, Pull pull, Ended ended) override {
        o.format = format;
        o.pull = std::move(pull);
        o.ended = std::move(ended);
        return o.open = !o.refuse;
    }
    void SetPaused(bool paused) override { o.paused = paused; }
    void Close() override { o.open = false; }
    Output& o;
};

struct MciServiceTest : ::testing::Test {
    platform::MciError Send(const std::string& text) { return mci.Send(text.c_str(), nullptr, 0); }
    std::string Ask(const std::string& text) {
        char reply[64] = "#";
        mci.Send(text.c_str(), reply, sizeof reply);
        return reply;
    }
    Bytes Pull(std::size_t bytes, std::size_t clips = SIZE_MAX) {  // with how many are the clip's
        Bytes out(bytes, 0xEE);
        EXPECT_EQ(output.pull(out.data(), bytes), std::min(bytes, clips));
        return out;
    }
    // A clip of the test signal, its bytes edited before they are written back.
    std::string Clip(const std::string& name, std::size_t frames,
                     std::function<void(Bytes&)> edit = {}) {
        const std::string path = support::WriteClip(dir.path / name, frames);
        Bytes bytes = support::ReadAll(path);
        if (edit) {
            edit(bytes);
        }
        std::ofstream(path).write(reinterpret_cast<char*>(bytes.data()), std::ssize(bytes));
        return path;
    }
    Output output;
    std::chrono::steady_clock::time_point now{};
    support::TempDir dir;
    mci::Service mci{[this] { return std::make_unique<ManualOutput>(output); },
                     [this] { return now; }};
};

TEST_F(MciServiceTest, AnswersEachCommandWithItsMciNumber) {
    const std::string blank = Clip("a b.wav", 2205), plain = Clip("plain.wav", 2205);
    char shortName[256];
    ASSERT_GT(platform::GetShortPathName(blank.c_str(), shortName, sizeof shortName), 0u);
    // clang-format off
    const std::pair<std::string, platform::MciError> cases[] = {
        {"", 267}, {" \t ", 267}, {"dance x", 261}, {"play", 273}, {"play all", 279},
        {"play nosuch", 263}, {"open \"waveaudio!" + blank, 294}, {"open waveaudio! alias x", 273},
        {"open waveaudio alias x", 273}, {"open " + plain, 273}, {"open cdaudio!" + plain, 263},
        {"open waveaudio!" + plain + " alias", 273}, {"open waveaudio!" + plain + " volume 3", 259},
        {"open waveaudio!" + plain + " alias all", 279},
        {"open waveaudio!" + dir.path.string() + "/PLAIN.WAV", 275},  // file names keep their case
        // Verbs, keywords and aliases regardless of case.
        {"OPEN \"" + blank + "\" TYPE WaveAudio ALIAS Zulu Wait", 0},
        {"open waveaudio!" + plain + " alias zULU", 289}, {"Play ZULU notify", 0},
        {"play zulu twice", 259}, {"status zulu", 273}, {"status zulu volume", 259},
        {"status zulu mode length", 259}, {"stop zulu", 0}, {"close zulu wait", 0},
        {"close zulu", 263}, {"open waveaudio!" + plain, 0}, {"stop " + plain, 0},
        {"open waveaudio!" + std::string(shortName) + " alias short shareable", 0},
        {"close all", 0}, {"stop " + plain, 263}, {"status short mode", 263}};
    // clang-format on
    for (const auto& [command, error] : cases) {
        EXPECT_EQ(Send(command), error) << command;
    }
    EXPECT_EQ(mci.Send(nullptr, nullptr, 0), 267u);

    // Replies fit their buffers, always terminated; an unknown alias has no mode word.
    Send("open waveaudio!" + plain + " alias sound1");
    EXPECT_EQ(Ask("status sound1 mode") + Ask("status sound1 length") + Ask("status x mode"),
              "stopped100");
    Send("play sound1");
    for (std::uint32_t size : {1u, 2u, 7u, 8u}) {
        char reply[16] = "###############";
        EXPECT_EQ(mci.Send("status sound1 mode", reply, size), size > 7 ? 0u : 268u);
        EXPECT_EQ(reply, std::string("playing").substr(0, size - 1));
        EXPECT_EQ(reply[size], '#') << "written past the size " << size;
    }
    EXPECT_EQ(mci.Send("status sound1 mode", nullptr, 0), 268u);
}

// What could lie in a clip folder: refused at once, or played for what it holds.
TEST_F(MciServiceTest, OpensOnlyWaveFilesItCanPlayAndNeverBlocks) {
    const auto put32 = [](Bytes& b, std::size_t at, std::uint32_t v) {
        std::memcpy(&b[at], &v, 4);
    };
    const std::string in = dir.path.string() + "/";
    std::ofstream(in + "text.wav") << "this is not a RIFF file, but long enough to look";
    std::filesystem::create_directory(in + "folder.wav");
    ASSERT_EQ(mkfifo((in + "fifo.wav").c_str(), 0600), 0);  // reading it would hang
    std::filesystem::create_symlink("/dev/zero", in + "zero.wav");
    std::filesystem::create_symlink("loop.wav", in + "loop.wav");
    std::ofstream(in + "big.wav").close();  // sparse: over the limit, costs no disk
    std::filesystem::resize_file(in + "big.wav", mci::kMaxClipFileBytes + 1);
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {  // length in ms, or the error
        {in + "missing.wav", "275"}, {in + "nodir/x.wav", "275"}, {Clip("empty.wav", 0, [](Bytes& b) { b.clear(); }), "296"},
        {in + "text.wav", "296"}, {in + "folder.wav", "296"}, {in + "fifo.wav", "296"},
        {in + "zero.wav", "296"}, {in + "loop.wav", "296"}, {in + "big.wav", "296"},
        // 24 channels of 16 bits in frames of 2 bytes: SDL would read far past the samples.
        {Clip("align.wav", 480, [](Bytes& b) { b[22] = 24; }), "296"},
        {Clip("whole.wav", 2205), "100"}, {Clip("cut.wav", 2205, [](Bytes& b) { b.resize(44 + 1102); }), "24"},
        {Clip("claims-4GiB.wav", 2205, [&](Bytes& b) { put32(b, 40, 0xFFFFFFF0); }), "100"},
        // Chunks of odd sizes are padded; one after the samples is no sound.
        {Clip("chunks.wav", 44100, [&](Bytes& b) {
             b.insert(b.begin() + 36, {'j', 'u', 'n', 'k', 3, 0, 0, 0, 1, 2, 3, 0});
             b.insert(b.end(), {'L', 'I', 'S', 'T', 0xE8, 3, 0, 0});
             b.resize(b.size() + 1000);
             put32(b, 4, std::uint32_t(b.size() - 8));
         }), "2000"}};
    // clang-format on
    for (const auto& [file, expected] : cases) {
        const auto error = Send("open waveaudio!" + file + " alias x");
        EXPECT_EQ(error == 0 ? Ask("status x length") : std::to_string(error), expected) << file;
        Send("close x");
    }
    output.refuse = true;  // no audio output takes it
    EXPECT_EQ(Send("open waveaudio!" + in + "whole.wav alias x"), 326u);
}

TEST_F(MciServiceTest, PlaysTheSamplesAndEndsOnceTheOutputHasConsumedTheLast) {
    int ends = 0;
    mci.SetEndNotifier([&] { ++ends; });
    const Bytes pcm = support::ReadAll(Clip("a.wav", 300));
    const auto samples = [&](int from, int to) {
        return Bytes(pcm.begin() + 44 + from, pcm.begin() + 44 + to);
    };
    ASSERT_EQ(Send("open waveaudio!" + dir.path.string() + "/a.wav alias sound1"), 0u);
    EXPECT_EQ(
        std::tuple(output.format.freq, output.format.format, output.format.channels, output.paused),
        std::tuple(22050, AUDIO_S16LSB, 1, true));
    EXPECT_EQ(Pull(100, 0), Bytes(100, 0)) << "silence before play";
    Send("play sound1");
    EXPECT_FALSE(output.paused);
    EXPECT_EQ(Pull(400), samples(0, 400));
    Bytes tail = samples(400, 600);
    tail.resize(400, 0);
    EXPECT_EQ(Pull(400, 200), tail) << "the last 200 bytes, then silence";
    EXPECT_EQ(Pull(400, 0), Bytes(400, 0));
    EXPECT_EQ(Ask("status sound1 mode") + Ask("status sound1 position"), "playing13");
    EXPECT_EQ(ends, 0) << "handed over is not yet played";
    output.ended();
    EXPECT_EQ(Ask("status sound1 mode"), "stopped");
    output.ended();
    EXPECT_EQ(ends, 1);

    // Another open leaves the clip alone; play at its end starts over, while it plays plays on.
    EXPECT_EQ(Send("open waveaudio!" + Clip("b.wav", 300) + " alias sound1"), 289u);
    Send("play sound1");
    EXPECT_EQ(Pull(200), samples(0, 200));
    Send("play sound1");
    EXPECT_EQ(Pull(2), samples(200, 202));
    Send("stop sound1");
    EXPECT_EQ(Ask("status sound1 mode") + std::to_string(output.paused), "stopped1");
    EXPECT_EQ(Pull(2, 0), Bytes(2, 0));
    Send("close sound1");
    EXPECT_FALSE(output.open);
}

TEST_F(MciServiceTest, AnOutputThatStopsConsumingStillEndsTheClipAfterTheGrace) {
    support::WriteWav(dir.path / "u8.wav", 22050, 1, 8, Bytes(22050, 0x90));
    Send("open waveaudio!" + dir.path.string() + "/u8.wav alias sound1");
    EXPECT_EQ(Pull(4, 0), Bytes(4, 0x80)) << "unsigned silence";
    Send("play sound1");
    Pull(1000);  // then it stops asking
    now += std::chrono::milliseconds(999) + mci::WaveDevice::kStallGrace;
    EXPECT_EQ(Ask("status sound1 mode"), "playing");
    now += std::chrono::milliseconds(1);
    EXPECT_EQ(Ask("status sound1 mode"), "stopped");
}

}  // namespace
