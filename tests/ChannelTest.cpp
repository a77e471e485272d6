// Where a clip's channels are heard: each plays a tone of its own, and a sound server's null sink
// shows on which of its speakers each tone arrives.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <span>
#include <thread>

#include "player/Module1.h"
#include "tests/support/SoundServer.h"
#include "tests/support/Support.h"

namespace {

using namespace std::chrono_literals;
constexpr int kRate = 48000;
constexpr int kMostPositions = 18;  // the named speaker positions; past them, aux channels
constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr const char* kMaps[] = {"front-left,front-right",
                                 "front-left,front-right,front-center,lfe,rear-left,rear-right"};

// The level in dB full scale of a tone in one channel of what a sink played (Hann-windowed, so
// that the other tones hardly leak in).
double Level(std::span<const float> heard, int channels, int channel, double hz) {
    const std::size_t frames = heard.size() / std::size_t(channels);
    std::complex<double> sum;
    for (std::size_t i = 0; i < frames; ++i) {
        const double window = 1 - std::cos(kTwoPi * double(i) / double(frames));
        sum += window * heard[i * std::size_t(channels) + std::size_t(channel)] *
               std::polar(1.0, -kTwoPi * hz * double(i) / kRate);
    }
    return 20 * std::log10(2 * std::abs(sum) / double(std::max<std::size_t>(frames, 1)) + 1e-12);
}

// A clip whose every channel plays its own tone, and where each is heard: on a stereo sink the side
// its position mixes down to (L, R, C for both alike, x nowhere, - unchecked: the LFE, which a
// server leaves out of a stereo mix); on a 5.1 sink the channel of that position.
struct Clip {
    const char* name;
    int channels;
    std::optional<std::uint32_t> mask;
    const char* stereo;
    const char* surround;
};
const Clip kClips[] = {
    {"1 channel, plain header: mono", 1, {}, "C", ""},
    {"5 channels, plain header", 5, {}, "LRC-L", "01234"},
    {"the same again, through the stream the last one left ready", 5, {}, "LRC-L", "01234"},
    {"4 channels, extensible, mask 0x33", 4, 0x33, "LRLR", "0145"},
    {"5 channels, extensible, mask 0x37", 5, 0x37, "LRCLR", "01245"},
    {"4 channels, mask 0x30: BL BR, then FLC FRC", 4, 0x30, "LRLR", "45"},
    {"8 channels, extensible, mask 0x63F (7.1)", 8, 0x63F, "LRC-LRLR", "01234545"},
    {"32 channels, plain header", 32, {}, "LRC-LRLRCLRCLCRLCRx", "012345"},
};

// Through the program's output (pulse or sdl), to a PulseAudio or PipeWire server with a null sink
// of 2 or 6 channels; each clip recorded alone, so that what is measured is the clip and little
// silence.
struct ChannelTest : ::testing::TestWithParam<std::tuple<std::string, std::string, int>> {
    void SetUp() override {
        setenv("OSTRIVANE_AUDIO_OUTPUT", output.c_str(), 1);
        setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
        const std::string options = "--sound " + server +
                                    " --no-keep-alive --sink-format "
                                    "'format=float32le rate=48000 channels=" +
                                    std::to_string(speakers) +
                                    " channel_map=" + kMaps[speakers / 6] + "'";
        ASSERT_EQ(support::SoundServer::Start(true, options), "");
    }
    const std::string output = std::get<0>(GetParam());
    const std::string server = std::get<1>(GetParam());
    const int speakers = std::get<2>(GetParam());
    support::TempDir dir;
};
INSTANTIATE_TEST_SUITE_P(OutputsAndSinks, ChannelTest,
                         ::testing::Combine(::testing::Values<std::string>("pulse", "sdl"),
                                            ::testing::Values<std::string>("pulseaudio",
                                                                           "pipewire"),
                                            ::testing::Values(2, 6)));

TEST_P(ChannelTest, EachChannelIsHeardWhereItsPositionGoes) {
    const auto tone = [](int channel) { return 300.0 + 400.0 * channel; };
    for (const Clip& clip : kClips) {
        // Past 18 channels, PipeWire plays the first two alone; through SDL, the channels mixed
        // into the back speakers and then down to stereo are too faint to tell from none.
        if (clip.channels > kMostPositions && (output == "sdl" || server == "pipewire"))
            continue;
        SCOPED_TRACE(clip.name);
        const double amplitude = 0.5 / clip.channels;
        std::vector<std::int32_t> samples;  // as 24- and 32-bit files decode
        for (int i = 0; i < kRate / 2; ++i) {
            for (int c = 0; c < clip.channels; ++c)
                samples.push_back(
                    std::int32_t(INT32_MAX * amplitude * std::sin(kTwoPi * tone(c) * i / kRate)));
        }
        const std::string path = dir.path / ("tones" + std::to_string(&clip - kClips) + ".wav");
        support::WriteWav(path, kRate, clip.channels, 32,
                          {reinterpret_cast<std::uint8_t*>(samples.data()), samples.size() * 4},
                          clip.mask);
        const pid_t recorder = support::Spawn(
            "parec --latency-msec=20 -d nullsink.monitor --raw --fix-format --fix-rate "
            "--fix-channels >" +
            path + ".raw");
        std::this_thread::sleep_for(300ms);
        Module1::PlayWaveFile(path);
        std::this_thread::sleep_for(300ms);
        ::kill(recorder, SIGKILL);
        waitpid(recorder, nullptr, 0);
        const auto bytes = support::ReadAll(path + ".raw");
        const std::span heard(reinterpret_cast<const float*>(bytes.data()), bytes.size() / 4);
        const std::string_view expected = speakers == 2 ? clip.stereo : clip.surround;
        for (int c = 0; c < int(expected.size()); ++c) {
            if (expected[c] == '-') {
                continue;
            }
            SCOPED_TRACE("channel " + std::to_string(c + 1));
            std::vector<double> levels;
            for (int speaker = 0; speaker < speakers; ++speaker)
                levels.push_back(Level(heard, speakers, speaker, tone(c)));
            const double loudest = std::ranges::max(levels);
            const double left = levels[0] - levels[1];
            EXPECT_EQ(loudest > 20 * std::log10(amplitude) - 55, expected[c] != 'x') << loudest;
            if (speakers > 2) {
                EXPECT_GE(levels[std::size_t(expected[c] - '0')], loudest - 1);
            } else if (expected[c] != 'x') {  // on its side alone, or on both alike
                EXPECT_TRUE(expected[c] == 'L'   ? left > 10
                            : expected[c] == 'R' ? left < -10
                                                 : std::abs(left) < 3)
                    << levels[0] << " dB left, " << levels[1] << " dB right";
            }
        }
    }
}

}  // namespace
