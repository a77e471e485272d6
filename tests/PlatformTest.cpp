// The Linux platform: the MCI service and the formats it plays, short names, real sound.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <QTimer>
#include <fstream>
#include <set>
#include <thread>

#include "platform/Mci.h"
#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "platform/linux/PulseOutput.h"
#include "platform/qt/EventPump.h"
#include "player/Module1.h"
#include "tests/support/Support.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

std::string Short(const std::string& path) {  // the fuzz target checks the size contract
    char out[4096];
    return platform::GetShortPathName(path.c_str(), out, sizeof out) > 0 ? out : "<none>";
}

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
    mci::Service mci{[this] {
        auto output = std::make_unique<support::HandOutput>(open, refuse);
        last = output.get();
        return output;
    }};
};

// Every WAVE encoding (the wave_open fuzz target's seeds) is decoded by libsndfile to a type that
// keeps all its bits, and played as it decodes; AIFF and FLAC are refused.
TEST_F(MciServiceTest, PlaysEveryWaveEncodingAsLibsndfileDecodesItWholeAndRefusesOtherFiles) {
    int played = 0;
    for (const auto& seed :
         std::filesystem::directory_iterator(OSTRIVANE_SOURCE_DIR "/tests/fuzz/corpus/wave_open")) {
        const std::string name = seed.path().filename();
        SCOPED_TRACE(name);
        const std::string path = in + "clip.wav";
        std::filesystem::copy_file(seed, path, std::filesystem::copy_options::overwrite_existing);
        const bool wave = !name.starts_with("aiff") && !name.starts_with("flac");
        ASSERT_EQ(Send("open waveaudio!" + path + " alias x"), wave ? 0u : 296u);
        if (!wave) {
            continue;
        }
        using enum mci::SampleType;
        const auto type = name.starts_with("s24") || name.starts_with("s32")   ? S32
                          : name.starts_with("f32") || name.starts_with("f64") ? F32
                                                                               : S16;
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        EXPECT_EQ(last->format, (mci::Format{info.samplerate, info.channels, type}));
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

// Commands and what could lie in a clip folder: each is refused at once with its MCI error number,
// or played for what it holds. (The fuzz target checks that every reply ends within its buffer.)
TEST_F(MciServiceTest, AnswersEachCommandWithItsMciNumberAndOpensOnlyWaveFilesItCanPlay) {
    const std::string blank = support::WriteClip(in + "a b.wav", 2205);
    const std::string plain = support::WriteClip(in + "plain.wav", 2205);
    std::filesystem::create_directory(in + "folder.wav");
    ASSERT_EQ(mkfifo((in + "fifo.wav").c_str(), 0600), 0);  // reading it would hang
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
    const auto opening = [&](const std::string& file) {
        return "open waveaudio!" + in + file + " alias x";
    };
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {  // the error, or the length in ms
        {" \t ", "267"}, {"dance x", "261"}, {"play", "273"}, {"play all", "279"},
        {"play nosuch", "263"}, {"open \"waveaudio!" + blank, "294"},
        {"open waveaudio! alias x", "273"}, {"open " + plain, "273"},
        {"open cdaudio!" + plain, "263"}, {"open waveaudio type waveaudio alias x", "275"},
        {"open waveaudio!" + plain + " alias", "273"}, {"open waveaudio!" + plain + " volume 3", "259"},
        {opening("PLAIN.WAV"), "275"}, {opening("missing.wav"), "275"},
        {opening("folder.wav"), "296"}, {opening("fifo.wav"), "296"}, {opening("zero.wav"), "296"},
        {opening("loop.wav"), "296"}, {opening("empty.wav"), "296"}, {opening("huge.wav"), "296"},
        {opening("plain.wav"), "100"}, {opening("cut.wav"), "28"}, {opening("lying.wav"), "100"},
        {opening("align.wav"), "49"},
        // Verbs, keywords and aliases regardless of case.
        {"OPEN \"" + blank + "\" TYPE WaveAudio ALIAS Zulu Wait", "0"},
        {"open waveaudio!" + plain + " alias zULU", "289"}, {"Play ZULU notify", "0"},
        {"play zulu twice", "259"}, {"status zulu", "273"}, {"status zulu volume", "259"},
        {"status zulu mode length", "259"}, {"stop zulu", "0"}, {"close zulu wait", "0"},
        {"close zulu", "263"}, {"open waveaudio!" + plain, "0"}, {"stop " + plain, "0"},
        {"open waveaudio!" + Short(blank) + " alias short shareable", "0"},
        {"close all", "0"}, {"stop " + plain, "263"}, {"status short mode", "263"}};
    // clang-format on
    for (const auto& [command, expected] : cases) {
        const auto error = std::to_string(Send(command));
        EXPECT_EQ(error == "0" && command.ends_with(" x") ? Ask("status x length") : error,
                  expected)
            << command;
        Send("close x");
    }
    EXPECT_EQ(mci.Send(nullptr, nullptr, 0), 267u);
    Send("open waveaudio!" + plain + " alias sound1");
    Send("play sound1");
    char reply[7];  // one short for "playing"
    EXPECT_EQ(mci.Send("status sound1 mode", reply, sizeof reply), 268u);
    EXPECT_EQ(mci.Send("status sound1 mode", nullptr, 0), 268u);
    // Stopped, it hands over nothing; played to its end, it stops; played again, it starts over.
    Bytes samples(4410 + 2);
    Send("stop sound1");
    EXPECT_EQ(last->pull(samples.data(), samples.size()).bytes, 0u);
    Send("play sound1");
    EXPECT_EQ(last->pull(samples.data(), samples.size()).bytes, 4410u);
    last->ended();
    EXPECT_EQ(Ask("status sound1 mode") + " at " + Ask("status sound1 position"), "stopped at 100");
    Send("play sound1");
    EXPECT_EQ(last->pull(samples.data(), samples.size()).bytes, 4410u);
    refuse = true;  // no audio output takes it
    EXPECT_EQ(Send(opening("plain.wav")), 326u);
}

// Only components holding white space get an alias, numbered in byte order; separators stay.
TEST(ShortPath, AliasesOnlyComponentsHoldingWhiteSpaceAndGivesNothingForWhatIsNotThere) {
    const support::TempDir dir;
    const std::string root = dir.path.string();
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"my clips/won't drop in.wav", "/MYCLIP~1/WON'TD~1.WAV"}, {"Loud/Bang.Wav", "/Loud/Bang.Wav"},
        {"fr/çà et là.wav", "/fr/çàETLà~1.WAV"}, {"odd/tab\there.wav", "/odd/TABHER~1.WAV"},
        {"odd/nbsp\u00A0\u3000wide.wav", "/odd/NBSPWI~1.WAV"}, {"odd/a.b c.d.wave", "/odd/ABCD~1.WAV"},
        {"odd/x+y,z;w=[v] u.wav", "/odd/X_Y_Z_~1.WAV"}, {"odd/.my clips", "/odd/MYCLIP~1"},
        {"odd/trailing dot.", "/odd/TRAILI~1"}, {"odd/hair\u200Aline", "/odd/HAIRLI~1"},
        {"odd/x~ ", "/odd/X~~1"}, {"blank/   ", "/blank/~1"}, {"blank/ .wav", "/blank/~2.WAV"},
        // Never half a character; stray bytes kept, and never brought together into a blank.
        {"utf8/abcde\xc3\xa9 f.wav", "/utf8/ABCDE\xc3\xa9~1.WAV"}, {"utf8/abcde\U0001F600 f.wav", "/utf8/ABCDE\U0001F600~1.WAV"},
        {"utf8/bad\xff name.wav", "/utf8/BAD\xffNA~1.WAV"},
        {"utf8/cut\xe2\x82 short.wav", "/utf8/CUT\xe2\x82S~1.WAV"}, {"utf8/xy z\xf0\x9f", "/utf8/XYZ\xf0\x9f~1"},
        {"utf8/\xc2 \xa0", "/utf8/\xc2_~1"}, {"utf8/\u0915\uFF21 \uFF22\u0917", "/utf8/\u0915\uFF21\uFF22\u0917~1"},
        {"utf8/\xed\xa0\x80" "abcde f", "/utf8/\xed\xa0\x80" "ABC~1"}, {"sends it low.wav", "/SENDSI~2.WAV"},
        {"sends it high.wav", "/SENDSI~1.WAV"}, {"SENDSI~3.WAV", "/SENDSI~3.WAV"},
        {"sends it more.wav", "/SENDSI~4.WAV"}};  // past a real name the alias would hide behind
    // clang-format on
    for (const auto& [name, expected] : cases) {
        std::filesystem::create_directories((dir.path / name).parent_path());
        std::ofstream(dir.path / name).close();
    }
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(Short(root + "/" + name), root + expected) << name;
    EXPECT_EQ(platform::ResolveShortPath(root + "/sendsi~2.wav"), root + "/sends it low.wav");
    EXPECT_EQ(platform::ResolveShortPath(root + "/odd/x_y_z_~1.wav"),
              root + "/odd/x+y,z;w=[v] u.wav");
    ASSERT_EQ(mkfifo((root + "/odd/pipe line").c_str(), 0600), 0);  // named, never opened
    EXPECT_EQ(Short(root + "/odd/pipe line"), root + "/odd/PIPELI~1");
    EXPECT_EQ(Short(root + "\\my clips//won't drop in.wav"), root + "\\MYCLIP~1//WON'TD~1.WAV");
    EXPECT_EQ(platform::ResolveShortPath(root + "\\MYCLIP~1\\"), root + "/my clips/");
    for (const std::string& path :
         {std::string(), root + "/no such.wav", root + "/no dir/f.wav", root + "/Loud/Bang.Wav/",
          root + "/Loud/Bang.Wav/x", root + "\\NOSUCH~1.WAV", root + "/MYCLIP~1/X~1"})
        EXPECT_EQ(Short(path) + platform::ResolveShortPath(path).value_or(""), "<none>") << path;
}

// A program of the test's own, which goes with the test even when the test is killed.
pid_t Spawn(const std::string& command, const std::filesystem::path& runtime) {
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        execl("/bin/sh", "sh", "-c", ("exec </dev/null >/dev/null " + command).c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

// A PulseAudio server, reached through PULSE_SERVER, whose null sink plays 16-bit mono at 22.05 kHz
// in real time, kept running by a stream of silence. Start says why it could not start.
struct PulseDaemon {
    PulseDaemon() { setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1); }
    ~PulseDaemon() { Kill(); }
    std::string Start() {
        server = Spawn(
            "pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no "
            "--disable-shm=yes --log-target=file:$XDG_RUNTIME_DIR/log -L "
            "'module-native-protocol-unix auth-anonymous=1 socket='$XDG_RUNTIME_DIR/native -L "
            "'module-null-sink sink_name=nullsink rate=22050 channels=1 format=s16le'",
            dir.path);
        if (std::system(
                ("timeout 10 sh -c 'until [ -S " + socket + " ]; do sleep 0.05; done'").c_str())) {
            const auto log = support::ReadAll(dir.path / "log");
            return "pulseaudio did not start: " + std::string(log.begin(), log.end());
        }
        silence = Spawn("pacat --raw --latency-msec=20 </dev/zero", dir.path);
        if (std::system("timeout 5 sh -c 'until pactl list short sink-inputs | grep -q .; do sleep "
                        "0.02; done'"))
            return "pacat could not play to pulseaudio";
        std::this_thread::sleep_for(2100ms);  // the sink renders its first 2 s, then keeps pace
        return {};
    }
    void Kill() {
        for (pid_t* pid : {&recorder, &silence, &server}) {
            if (*pid > 0) {
                ::kill(*pid, SIGKILL);
                waitpid(*pid, nullptr, 0);
                *pid = 0;
            }
        }
        std::filesystem::remove(socket);
    }
    // The program's streams on the server, once they are `expected` or after two seconds.
    static int Streams(int expected) {
        int count = -1;
        for (int tries = 0; tries < 40 && count != expected; ++tries) {
            std::this_thread::sleep_for(50ms);
            FILE* pactl =
                popen("pactl list sink-inputs | grep -c 'application.name = \"Ostrivane\"'", "r");
            count = std::fscanf(pactl, "%d", &count) == 1 ? count : -1;
            pclose(pactl);
        }
        return count;
    }
    support::TempDir dir;
    const std::string socket = dir.path.string() + "/native";
    pid_t server = 0;
    pid_t silence = 0;
    pid_t recorder = 0;
};

// Real sound: SDL where no sound server answers or where asked for, else the server. Every clip of
// a quick series is heard whole, its click returning once it has played; none leaves a device open.
struct PlaybackTest : ::testing::TestWithParam<std::string> {
    void TearDown() override { mci::Service::Instance().SetEndNotifier(nullptr); }
    // The clip whole, silence around it since the last one (a server fades a stream in over 441
    // samples; SDL's disk writer starts a file for each clip).
    bool Heard(const std::string& clip, const std::filesystem::path& where, std::size_t fadeIn) {
        const auto samples = support::ReadAll(clip);
        const auto silent = [](auto from, auto to) {
            return std::find_if(from, to, std::identity()) == to;
        };
        for (int tries = 0; tries < 100; ++tries) {
            std::this_thread::sleep_for(50ms);
            const auto heard = support::ReadAll(where);
            const auto from = heard.begin() + std::ptrdiff_t(fadeIn > 0 ? heardUpTo : 0);
            const auto found = std::ranges::search(
                from, heard.end(), samples.begin() + 44 + std::ptrdiff_t(fadeIn), samples.end());
            if (!found.empty() && found.begin() - from >= std::ptrdiff_t(fadeIn) &&
                silent(from, found.begin() - std::ptrdiff_t(fadeIn)) &&
                silent(found.end(), heard.end())) {
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
    support::TempDir dir;
    const std::filesystem::path capture = dir.path / "capture.raw";
    std::atomic<int> ends = 0;
    std::size_t heardUpTo = 0;
    PulseDaemon server;  // unless started, its address leads nowhere
};
INSTANTIATE_TEST_SUITE_P(Outputs, PlaybackTest,
                         ::testing::Values("no server", "sdl forced", "server"));

TEST_P(PlaybackTest, EveryClipIsHeardWholeBeforeItsClickReturnsAndTheServerMayDieAnyTime) {
    if (GetParam() == "no server") {  // nor a driver: a click returns at once
        setenv("SDL_AUDIODRIVER", "none", 1);
        EXPECT_LT(Click(Clip("unheard.wav", 3.0)), 1s);
    }
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
    mci::Service::Instance().SetEndNotifier([this, wake = platform::qt::MakeWaker()] {
        ++ends;
        wake();
    });
    const bool sdl = GetParam() != "server";
    if (GetParam() != "no server") {
        ASSERT_EQ(server.Start(), "");
        server.recorder = Spawn(
            "parec --raw --latency-msec=20 --rate=22050 --channels=1 -d "
            "nullsink.monitor >\"$XDG_RUNTIME_DIR/monitor.raw\"",
            server.dir.path);
        std::this_thread::sleep_for(200ms);
    }
    if (GetParam() == "sdl forced")
        setenv("OSTRIVANE_AUDIO_OUTPUT", "sdl", 1);
    if (!sdl) {  // ready before the first click, which it plays
        mci::ExpectClip();
        EXPECT_EQ(server.Streams(1), 1);
    }
    for (unsigned seed : {2, 3, 4}) {
        const std::string clip =
            Clip("clip" + std::to_string(seed) + ".wav", 0.2 + seed / 2.0, seed);
        const auto took = Click(clip);
        EXPECT_TRUE(Heard(clip, sdl ? capture : server.dir.path / "monitor.raw", sdl ? 0 : 882))
            << "a server fades in";
        EXPECT_GE(took, 150ms + seed * 500ms) << "returned before the clip had played";
        EXPECT_LT(took, 2s + seed * 500ms) << "returned long after the clip had played";
    }
    EXPECT_EQ(support::ReadAll(capture).empty(), !sdl) << "played by the other output";
    if (!sdl) {  // ready after a clip while a click is likely, and gone once it is not
        EXPECT_EQ(server.Streams(1), 1);
        mci::ExpectClip(300ms);
        EXPECT_EQ(server.Streams(0), 0);
        mci::ExpectClip();
    }
    const auto files = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = files();
    for (int i = 0; i < 50; ++i)
        Click(Clip("short.wav", 0.01));
    std::this_thread::sleep_for(200ms);  // devices close on threads of their own
    EXPECT_EQ(ends, 53) << "some clips were not played to their end";
    EXPECT_LE(files(), before) << "a device was left open";
    if (sdl)
        return;
    // A server that stops consuming: the clip ends the grace after its rest was due, and what the
    // server still held of it is not heard before the next clip.
    const std::filesystem::path monitor = server.dir.path / "monitor.raw";
    heardUpTo = support::ReadAll(monitor).size();
    ASSERT_EQ(std::system("pactl suspend-sink nullsink 1"), 0);
    const auto stalled = Click(Clip("one second.wav", 1.0));
    EXPECT_GE(stalled, 1s + mci::WaveDevice::kStallGrace - 300ms);
    EXPECT_LT(stalled, 2s + mci::WaveDevice::kStallGrace);
    ASSERT_EQ(std::system("pactl suspend-sink nullsink 0"), 0);
    const std::string next = Clip("after the stall.wav", 0.5, 5);
    Click(next);
    EXPECT_TRUE(Heard(next, monitor, 882));
    // Killed, the server ends the clip (one of a format other than the ready stream's); gone,
    // every click returns at once; back, it plays the next.
    const std::string three = (dir.path / "three seconds.wav").string();
    support::WriteWav(three, 44100, 2, 16, Bytes(3 * 44100 * 4, 1));
    QTimer::singleShot(500, Qt::PreciseTimer, [&] { server.Kill(); });
    const auto killed = Click(three);
    EXPECT_GE(killed, 450ms);
    EXPECT_LT(killed, 3s) << "the clip did not end with its server";
    EXPECT_LT(Click(three), 1s) << "with the server gone";
    ASSERT_EQ(server.Start(), "");
    EXPECT_GE(Click(Clip("again.wav", 0.3)), 290ms) << "the clip after the server's return";
    EXPECT_EQ(ends, 56) << "a clip was ended by the stall guard, not by its server";
}

}  // namespace
