// The Linux platform: the MCI service and the formats it plays, real sound.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <QTimer>
#include <cstring>
#include <fstream>
#include <future>
#include <set>
#include <thread>

#include "platform/Mci.h"
#include "platform/linux/MciErrors.h"
#include "platform/linux/MciService.h"
#include "platform/linux/PulseOutput.h"
#include "platform/qt/EventPump.h"
#include "player/Module1.h"
#include "tests/support/SoundServer.h"
#include "tests/support/Support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct MciServiceTest : ::testing::Test {
    platform::MciError Send(const std::string& text) { return mci.Send(text.c_str(), nullptr, 0); }
    std::string Ask(const std::string& text) {
        char reply[64] = "#";
        mci.Send(text.c_str(), reply, sizeof reply);
        return reply;
    }
    void Write(const std::string& name, const Bytes& bytes) {
        std::ofstream(in + name).write(reinterpret_cast<const char*>(bytes.data()),
                                       std::ssize(bytes));
    }
    bool refuse = false;
    std::set<support::HandOutput*> open;
    support::HandOutput* last = nullptr;  // the output of the last clip opened
    support::TempDir dir;
    const std::string in = dir.path.string() + "/";
    const std::string plain = support::WriteClip(in + "plain.wav", 2205);  // 100 ms
    mci::Service mci{[this] {
        auto output = std::make_unique<support::HandOutput>(open, refuse);
        last = output.get();
        return output;
    }};
};

// Every WAVE encoding (the wave_open fuzz target's seeds) is decoded by libsndfile to a type that
// keeps all its bits, and played as it decodes.
TEST_F(MciServiceTest, PlaysEveryWaveEncodingAsLibsndfileDecodesItWhole) {
    int played = 0;
    for (const auto& seed :
         std::filesystem::directory_iterator(OSTRIVANE_SOURCE_DIR "/tests/fuzz/corpus/wave_open")) {
        const std::string name = seed.path().filename();
        if (name.starts_with("aiff") || name.starts_with("flac"))
            continue;
        SCOPED_TRACE(name);
        const std::string path = in + "clip.wav";
        std::filesystem::copy_file(seed, path, std::filesystem::copy_options::overwrite_existing);
        const platform::MciError opened = Send("open waveaudio!" + path + " alias x");
        ASSERT_EQ(opened, mci::kOk);
        using enum mci::SampleType;
        const auto type = name.starts_with("s24") || name.starts_with("s32")   ? S32
                          : name.starts_with("f32") || name.starts_with("f64") ? F32
                                                                               : S16;
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        EXPECT_EQ(last->format,
                  (mci::Format{info.samplerate, info.channels, type, last->format.positions}));
        Bytes decoded(std::size_t(info.frames) * last->format.FrameBytes());
        if (type == S16) {
            sf_readf_short(file, reinterpret_cast<short*>(decoded.data()), info.frames);
        } else if (type == S32) {
            sf_readf_int(file, reinterpret_cast<int*>(decoded.data()), info.frames);
        } else {
            sf_readf_float(file, reinterpret_cast<float*>(decoded.data()), info.frames);
        }
        sf_close(file);
        EXPECT_EQ(Ask("status x length"), std::to_string(info.frames * 1000 / info.samplerate));
        Send("play x");
        Bytes heard(decoded.size() + 64, 1);
        EXPECT_EQ(last->pull(heard.data(), heard.size()).bytes, decoded.size());
        decoded.resize(heard.size());  // the clip, then silence
        EXPECT_EQ(heard, decoded);
        Send("close x");
        ++played;
    }
    EXPECT_EQ(played, 22);
}

struct Reply {
    const char* name;
    std::string command;
    platform::MciError error;
};

// What could lie in a clip folder: each is refused at once, or played for what it holds; and a
// clip no output takes.
TEST_F(MciServiceTest, OpensOnlyWaveFilesItCanPlayForWhatTheyHold) {
    for (const std::string kind : {"aiff", "flac"})
        std::filesystem::copy_file(
            OSTRIVANE_SOURCE_DIR "/tests/fuzz/corpus/wave_open/" + kind + "-s16-mono-8k",
            in + kind + ".wav");
    std::filesystem::create_directory(in + "folder.wav");
    const int fifo = mkfifo((in + "fifo.wav").c_str(), 0600);  // reading it would hang
    ASSERT_EQ(fifo, 0);
    std::filesystem::create_symlink("/dev/zero", in + "zero.wav");
    std::filesystem::create_symlink("loop.wav", in + "loop.wav");
    std::ofstream(in + "empty.wav").close();
    std::ofstream(in + "huge.wav").close();
    std::filesystem::resize_file(in + "huge.wav", 1ull << 32);  // sparse: costs no disk
    Bytes bytes = support::ReadAll(plain);
    Write("cut.wav", Bytes(bytes.begin(), bytes.begin() + 44 + 1278));
    bytes[43] = 0xFF;  // a data chunk of 4 GiB in a file of 4 KiB
    Write("lying.wav", bytes);
    bytes[22] = 2;  // two channels in frames of two bytes: read as the channels say
    Write("align.wav", bytes);
    support::WriteWav(in + "no-frames.wav", 22050, 1, 16, {});
    support::WriteWav(in + "33-channels.wav", 8000, 33, 16, Bytes(33 * 2 * 80, 0));
    struct Row {
        const char* file;
        platform::MciError error;
        const char* lengthMs;
    };
    const Row rows[] = {
        {"PLAIN.WAV", mci::kFileNotFound, ""},  // names are exact
        {"missing.wav", mci::kFileNotFound, ""},
        {"plain.wav/under-a-file.wav", mci::kFileNotFound, ""},
        {"folder.wav", mci::kInvalidFile, ""},
        {"fifo.wav", mci::kInvalidFile, ""},
        {"zero.wav", mci::kInvalidFile, ""},
        {"loop.wav", mci::kInvalidFile, ""},
        {"empty.wav", mci::kInvalidFile, ""},
        {"huge.wav", mci::kInvalidFile, ""},
        {"aiff.wav", mci::kInvalidFile, ""},
        {"flac.wav", mci::kInvalidFile, ""},
        {"33-channels.wav", mci::kInvalidFile, ""},
        {"plain.wav", mci::kOk, "100"},
        {"cut.wav", mci::kOk, "28"},
        {"lying.wav", mci::kOk, "100"},
        {"align.wav", mci::kOk, "49"},
        {"no-frames.wav", mci::kOk, "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        EXPECT_EQ(Send("open waveaudio!" + in + row.file + " alias x"), row.error);
        if (row.error == mci::kOk) {
            EXPECT_EQ(Ask("status x length"), row.lengthMs);
        }
        Send("close x");
    }
    refuse = true;  // a clip no audio output takes
    EXPECT_EQ(Send("open waveaudio!" + plain + " alias x"), mci::kWaveOutputsUnsuitable);
}

// Malformed commands first. Verbs, keywords and aliases are the same in any case; a file opened
// without an alias is known by its path; close all closes every one. The rows run in turn. (The
// fuzz target checks that every reply ends within its buffer.)
TEST_F(MciServiceTest, AnswersEachCommandWithItsNumberAndKnowsEachAliasUntilItIsClosed) {
    const std::string blank = support::WriteClip(in + "a b.wav", 2205);
    const Reply rows[] = {
        {"blanks alone", " \t ", mci::kMissingCommandString},
        {"an unknown verb", "dance x", mci::kUnrecognizedCommand},
        {"no device", "play", mci::kMissingParameter},
        {"all, where one is needed", "play all", mci::kCannotUseAll},
        {"nothing open under the name", "play nosuch", mci::kInvalidDeviceName},
        {"a quote left open", "open \"waveaudio!" + plain, mci::kNoClosingQuote},
        {"a device type and no file", "open waveaudio! alias x", mci::kMissingParameter},
        {"a file and no device type", "open " + plain, mci::kMissingParameter},
        {"another device type", "open cdaudio!" + plain, mci::kInvalidDeviceName},
        {"a type and no file", "open waveaudio type waveaudio alias x", mci::kFileNotFound},
        {"alias without its name", "open waveaudio!" + plain + " alias", mci::kMissingParameter},
        {"an unknown keyword", "open waveaudio!" + plain + " volume 3", mci::kUnrecognizedKeyword},
        {"open", "OPEN \"" + blank + "\" TYPE WaveAudio ALIAS Zulu Wait", mci::kOk},
        {"the alias again", "open waveaudio!" + plain + " alias zULU", mci::kDuplicateAlias},
        {"play", "Play ZULU notify", mci::kOk},
        {"a reply with no buffer", "status zulu mode", mci::kParamOverflow},
        {"a keyword twice", "play zulu twice", mci::kUnrecognizedKeyword},
        {"status of nothing", "status zulu", mci::kMissingParameter},
        {"status of an unknown item", "status zulu volume", mci::kUnrecognizedKeyword},
        {"status of two items", "status zulu mode length", mci::kUnrecognizedKeyword},
        {"stop", "stop zulu", mci::kOk},
        {"close", "close zulu wait", mci::kOk},
        {"close again", "close zulu", mci::kInvalidDeviceName},
        {"open with no alias", "open waveaudio!" + plain, mci::kOk},
        {"stop by path", "stop " + plain, mci::kOk},
        {"open by short name",
         "open waveaudio!" + support::ShortPath(blank) + " alias short shareable", mci::kOk},
        {"close all", "close all", mci::kOk},
        {"the path, closed", "stop " + plain, mci::kInvalidDeviceName},
        {"the short name's alias, closed", "status short mode", mci::kInvalidDeviceName},
    };
    for (const Reply& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Send(row.command), row.error);
    }
    EXPECT_EQ(mci.Send(nullptr, nullptr, 0), mci::kMissingCommandString);
}

// Stopped, a clip hands over nothing; playing, it says so only where there is room; played after a
// stop, it goes on; played to its end, it stops; played again, it starts over.
TEST_F(MciServiceTest, PlaysAClipFromItsStartEachTimeItIsPlayed) {
    Send("open waveaudio!" + plain + " alias sound1");
    Bytes samples(4410 + 2);
    constexpr std::size_t kJustUnder50Ms = 1102 * 2;
    EXPECT_EQ(last->pull(samples.data(), samples.size()).bytes, 0u);
    Send("play sound1");
    char reply[7];  // one short for "playing"
    EXPECT_EQ(mci.Send("status sound1 mode", reply, sizeof reply), mci::kParamOverflow);
    EXPECT_EQ(last->pull(samples.data(), kJustUnder50Ms).bytes, kJustUnder50Ms);
    Send("stop sound1");
    EXPECT_EQ(Ask("status sound1 mode") + " at " + Ask("status sound1 position"), "stopped at 49");
    EXPECT_EQ(last->pull(samples.data(), samples.size()).bytes, 0u);
    Send("play sound1");
    EXPECT_EQ(last->pull(samples.data(), samples.size()).bytes, 4410u - kJustUnder50Ms);
    last->ended();
    EXPECT_EQ(Ask("status sound1 mode") + " at " + Ask("status sound1 position"), "stopped at 100");
    Send("play sound1");
    EXPECT_EQ(last->restarts, 1);
    EXPECT_EQ(last->pull(samples.data(), kJustUnder50Ms).bytes, kJustUnder50Ms);
    EXPECT_EQ(Ask("status sound1 position"), "49");
}

// Real sound: SDL where no sound server answers or where asked for, else the binary's private
// server. A click returns once its clip has been heard.
struct PlaybackTest : ::testing::Test {
    void Use(const std::string& output) {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
        mci::Service::Instance().SetEndNotifier([this, wake = platform::qt::MakeWaker()] {
            ++ends;
            wake();
        });
        sdl = output != "server";
        if (output == "no server") {
            setenv("PULSE_SERVER", ("unix:" + (dir.path / "nowhere").string()).c_str(), 1);
            return;
        }
        ASSERT_EQ(support::SoundServer::Start(), "");
        if (output == "sdl forced")
            setenv("OSTRIVANE_AUDIO_OUTPUT", "sdl", 1);
        monitor = getenv("OSTR_MONITOR");
        heardUpTo = support::ReadAll(monitor).size();  // the clips of the binary's other tests
    }
    void TearDown() override { mci::Service::Instance().SetEndNotifier(nullptr); }
    // The clip whole, silence around it since the last one (a server fades a stream in over 441
    // samples; SDL's disk writer starts a file for each clip).
    bool Heard(const std::string& clip) {
        const std::ptrdiff_t fadeIn = sdl ? 0 : 882;
        const auto samples = support::ReadAll(clip);
        const auto silent = [](auto from, auto to) {
            return std::find_if(from, to, std::identity()) == to;
        };
        for (int tries = 0; tries < 100; ++tries) {
            std::this_thread::sleep_for(50ms);
            const auto heard = support::ReadAll(sdl ? capture : monitor);
            const auto from = heard.begin() + std::ptrdiff_t(sdl ? 0 : heardUpTo);
            const auto found = std::ranges::search(from, heard.end(), samples.begin() + 44 + fadeIn,
                                                   samples.end());
            if (!found.empty() && found.begin() - from >= fadeIn &&
                silent(from, found.begin() - fadeIn) && silent(found.end(), heard.end())) {
                heardUpTo = heard.size();
                return true;
            }
        }
        return false;
    }
    Clock::duration Click(const std::string& clip) {  // as a button does: how long it took
        const auto start = Clock::now();
        Module1::PlayWaveFile(clip);
        return Clock::now() - start;
    }
    std::string Clip(const std::string& name, double seconds, unsigned seed = 1) {
        return support::WriteClip(dir.path / name, std::size_t(22050 * seconds), seed);
    }
    // The server's streams showing `property`, by default the program's, once they are `expected`
    // or after two seconds.
    static int Streams(int expected,
                       const std::string& property = "application.name = \"Ostrivane\"") {
        int count = -1;
        for (int tries = 0; tries < 40 && count != expected; ++tries) {
            std::this_thread::sleep_for(50ms);
            FILE* pactl =
                popen(("pactl list sink-inputs | grep -cF '" + property + "'").c_str(), "r");
            count = std::fscanf(pactl, "%d", &count) == 1 ? count : -1;
            pclose(pactl);
        }
        return count;
    }
    support::TempDir dir;
    const std::filesystem::path capture = dir.path / "capture.raw";
    std::filesystem::path monitor;  // the server's sink, as heard
    bool sdl = true;
    std::atomic<int> ends = 0;
    std::size_t heardUpTo = 0;
};

struct EachOutput : PlaybackTest, ::testing::WithParamInterface<std::string> {
    void SetUp() override { Use(GetParam()); }
};
INSTANTIATE_TEST_SUITE_P(Outputs, EachOutput,
                         ::testing::Values("no server", "sdl forced", "server"));

struct OnServer : PlaybackTest {
    void SetUp() override { Use("server"); }
};

TEST_F(PlaybackTest, AClickWithNoAudioDriverReturnsAtOnce) {
    setenv("SDL_AUDIODRIVER", "none", 1);
    setenv("PULSE_SERVER", ("unix:" + (dir.path / "nowhere").string()).c_str(), 1);
    EXPECT_LT(Click(Clip("unheard.wav", 3.0)), 1s);
}

TEST_P(EachOutput, EveryClipIsHeardWholeBeforeItsClickReturns) {
    for (unsigned seed : {2, 3, 4}) {
        const std::string clip =
            Clip("clip" + std::to_string(seed) + ".wav", 0.2 + seed / 2.0, seed);
        const auto took = Click(clip);
        EXPECT_TRUE(Heard(clip));
        EXPECT_GE(took, 150ms + seed * 500ms) << "returned before the clip had played";
        EXPECT_LT(took, 2s + seed * 500ms) << "returned long after the clip had played";
    }
    EXPECT_EQ(support::ReadAll(capture).empty(), !sdl) << "played by the other output";
}

TEST_P(EachOutput, EveryClipOfAQuickSeriesIsPlayedToItsEndAndLeavesNoDeviceOpen) {
    const auto files = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    Click(Clip("first.wav", 0.01));  // the output's own files are opened with its first clip
    ends = 0;
    const auto before = files();
    for (int i = 0; i < 50; ++i)
        Click(Clip("short.wav", 0.01));
    std::this_thread::sleep_for(200ms);  // devices close on threads of their own
    EXPECT_EQ(ends, 50) << "some clips were not played to their end";
    EXPECT_LE(files(), before) << "a device was left open";
}

// The stream is made ready before the first click, which it plays, and after a clip while a click
// is likely, and is gone once a click is not. A mixer shows it by the program's desktop entry and
// icon, and by the clip it played; with no role, the server remembers its device per program.
TEST_F(OnServer, HoldsAStreamReadyOnlyWhileAClickIsLikely) {
    mci::ExpectClip();
    EXPECT_EQ(Streams(1), 1);
    const std::string clip = Clip("clip.wav", 0.5);
    Click(clip);
    EXPECT_TRUE(Heard(clip));
    EXPECT_EQ(Streams(1), 1);
    for (const std::string property :
         {"media.name = \"clip.wav\"", "application.id = \"" OSTRIVANE_DESKTOP_ID "\"",
          "application.icon_name = \"" OSTRIVANE_DESKTOP_ID "\""})
        EXPECT_EQ(Streams(1, property), 1) << property;
    EXPECT_EQ(Streams(0, "media.role"), 0);
    mci::ExpectClip(300ms);
    EXPECT_EQ(Streams(0), 0);
}

// A server that stops consuming: the clip ends the grace after its rest was due, and what the
// server still held of it is not heard before the next clip.
constexpr std::size_t kResumed = 4410;  // a tenth of a second of the sink's 22.05 kHz s16 mono
TEST_F(OnServer, AStalledServerEndsTheClipAfterTheGraceAndNothingOfItIsHeardLater) {
    const int suspended = std::system("pactl suspend-sink nullsink 1");
    ASSERT_EQ(suspended, 0);
    const auto stalled = Click(Clip("one second.wav", 1.0));
    EXPECT_GE(stalled, 1s + mci::WaveDevice::kStallGrace - 300ms);
    EXPECT_LT(stalled, 2s + mci::WaveDevice::kStallGrace);
    const int resumed = std::system("pactl suspend-sink nullsink 0");
    ASSERT_EQ(resumed, 0);
    heardUpTo = support::ReadAll(monitor).size();
    // Suspended, the sink recorded nothing: the next clip waits until it records again, so that
    // whatever it still held of the stalled clip would be heard before the next one.
    for (int tries = 0; tries < 100 && support::ReadAll(monitor).size() < heardUpTo + kResumed;
         ++tries)
        std::this_thread::sleep_for(20ms);
    const std::string next = Clip("after the stall.wav", 0.5, 5);
    Click(next);
    EXPECT_TRUE(Heard(next));
}

// A clip whose samples are late leaves the server nothing to ask for: the output asks again itself
// until they come.
TEST_F(OnServer, AClipWhoseSamplesAreLatePlaysOnceTheyCome) {
    const std::unique_ptr<mci::AudioOutput> output = mci::MakePulseOutput();
    int latePulls = 5;  // pulls come from the output's thread alone
    std::promise<void> ended;
    const auto pull = [&](std::uint8_t* out, std::size_t bytes) -> mci::AudioOutput::Pulled {
        std::memset(out, 0, bytes);
        return --latePulls >= 0 ? mci::AudioOutput::Pulled{0, false}
                                : mci::AudioOutput::Pulled{bytes, true};
    };
    ASSERT_TRUE(
        output->Open({22050, 1, mci::SampleType::S16, {}}, pull, [&] { ended.set_value(); }));
    output->SetPaused(false);
    EXPECT_EQ(ended.get_future().wait_for(5s), std::future_status::ready);
    output->Close();
}

// Killed, the server ends the clip (one of a format other than the ready stream's); gone, every
// click returns at once; back, it plays the next.
TEST_F(OnServer, AKilledServerEndsItsClipAndTheNextServerPlaysTheNext) {
    const std::string three = (dir.path / "three seconds.wav").string();
    support::WriteWav(three, 44100, 2, 16, Bytes(3 * 44100 * 4, 1));
    ends = 0;
    const pid_t server = std::stoi(getenv("OSTR_SOUND_PID"));
    QTimer::singleShot(500, Qt::PreciseTimer, [server] { kill(server, SIGKILL); });
    const auto killed = Click(three);
    EXPECT_GE(killed, 450ms);
    EXPECT_LT(killed, 3s) << "the clip did not end with its server";
    EXPECT_EQ(ends, 1) << "the clip was ended by the stall guard, not by its server";
    EXPECT_LT(Click(three), 1s) << "with the server gone";
    ASSERT_EQ(support::SoundServer::Start(true), "");
    EXPECT_GE(Click(Clip("again.wav", 0.3)), 290ms) << "the clip after the server's return";
}

}  // namespace
