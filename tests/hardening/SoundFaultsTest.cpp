// Faults of the real sound system: no sound server at all, and a PulseAudio daemon killed in the
// middle of a clip and started again. A clip must end at the latest its length plus the stall
// grace after it started, and the next clip must play once the device is back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "platform/Mci.h"
#include "platform/linux/MciService.h"
#include "player/Module1.h"
#include "tests/hardening/Support.h"
#include "tests/support/Wav.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

std::filesystem::path Clip(const testwav::TempDir& dir, const std::string& name,
                           std::chrono::milliseconds length, unsigned seed = 1) {
    const auto path = dir.path() / name;
    testwav::WritePcm16(
        path, 22050, 1,
        testwav::Signal(static_cast<std::size_t>(22050 * length.count() / 1000), 1, seed));
    return path;
}

// ---- real sound servers ----------------------------------------------------------------------

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A PulseAudio daemon of the test's own, with a null sink, on a private runtime directory; the
// process's clients find it there and never start one of their own.
class PulseDaemon {
  public:
    PulseDaemon() {
        setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
        setenv("HOME", dir_.path().c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + Socket()).c_str(), 1);
        std::ofstream(dir_.path() / "client.conf") << "autospawn = no\n";
        setenv("PULSE_CLIENTCONFIG", (dir_.path() / "client.conf").c_str(), 1);
        fs::create_directories(runtime_);
        fs::permissions(runtime_, fs::perms::owner_all);
    }
    ~PulseDaemon() { Kill(); }

    static bool Installed() { return std::system("command -v pulseaudio >/dev/null 2>&1") == 0; }

    // Starts it and waits until it takes connections.
    bool Start() {
        const std::string log = (dir_.path() / "daemon.log").string();
        std::vector<std::string> args{"pulseaudio",
                                      "-n",
                                      "--daemonize=no",
                                      "--exit-idle-time=-1",
                                      "--use-pid-file=no",
                                      "--disable-shm=yes",
                                      "--log-target=file:" + log,
                                      "-L",
                                      "module-native-protocol-unix",
                                      "-L",
                                      "module-null-sink sink_name=nullsink"};
        std::vector<char*> argv;
        for (auto& arg : args) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            // Goes with the test, even when the test is killed.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            execvp("pulseaudio", argv.data());
            _exit(127);
        }
        if (pid_ < 0) {
            pid_ = 0;
            return false;
        }
        const auto deadline = Clock::now() + 10s;
        while (Clock::now() < deadline) {
            if (Accepts()) {
                return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    void Kill() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = 0;
        }
    }

  private:
    std::string Socket() const { return runtime_ + "/pulse/native"; }

    bool Accepts() const {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, Socket().c_str(), sizeof address.sun_path - 1);
        const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    testwav::TempDir dir_;
    const std::string runtime_ = (dir_.path() / "run").string();
    pid_t pid_ = 0;
};

class RealSoundTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv("SDL_AUDIODRIVER", "pulseaudio", 1); }

    // Plays a clip as a click does; returns how long it took and whether it played to its end
    // (a click that waited at least half the clip, and then the end was reported).
    std::pair<Clock::duration, bool> Play(const fs::path& clip, std::chrono::milliseconds length) {
        const int before = ends_.Count();
        const auto start = Clock::now();
        Module1::PlayWaveFile(clip.string());
        const auto took = Clock::now() - start;
        const auto deadline = Clock::now() + (took >= length / 2 ? 1s : 0s);
        while (ends_.Count() == before && Clock::now() < deadline) {
            std::this_thread::sleep_for(1ms);
        }
        return {took, ends_.Count() == before + 1};
    }

    testwav::TempDir dir_;
    hardening::EndCounter ends_;
};

TEST_F(RealSoundTest, WithNoSoundServerEveryClickReturnsAtOnce) {
    PulseDaemon daemon;  // not started: its address leads nowhere, and nothing starts one
    const auto clip = Clip(dir_, "two seconds.wav", 2000ms);
    for (int click = 0; click < 5; ++click) {
        const auto [took, played] = Play(clip, 2000ms);
        EXPECT_LT(took, 1s) << "click " << click;
        EXPECT_FALSE(played);
    }
}

TEST_F(RealSoundTest, APulseAudioDaemonKilledMidClipEndsItAndTheNextClipPlaysOnItsReturn) {
    if (!PulseDaemon::Installed()) {
        GTEST_SKIP() << "pulseaudio is not installed";
    }
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.Start()) << "the daemon did not start";
    const auto shortClip = Clip(dir_, "short.wav", 300ms, 2);
    ASSERT_TRUE(Play(shortClip, 300ms).second) << "nothing plays through the daemon to begin with";

    const auto longClip = Clip(dir_, "three seconds.wav", 3000ms, 3);
    bool killed = false;
    QTimer::singleShot(500, [&] {
        daemon.Kill();
        killed = true;
    });
    const auto [took, played] = Play(longClip, 3000ms);
    EXPECT_TRUE(killed) << "the clip ended before the daemon was killed";
    std::printf("a 3 s clip whose daemon was killed after 0.5 s returned after %.2f s\n",
                Seconds(took));
    EXPECT_LT(took, 3000ms + mci::WaveDevice::kStallGrace);

    ASSERT_TRUE(daemon.Start()) << "the daemon did not start again";
    // The device answers "playing", then "stopped" once the clip has been consumed.
    char reply[32] = {};
    ASSERT_EQ(platform::mciSendString(
                  ("open waveaudio!" + shortClip.string() + " alias again").c_str(), nullptr, 0, 0),
              0u);
    platform::mciSendString("play again", nullptr, 0, 0);
    platform::mciSendString("status again mode", reply, sizeof reply, 0);
    EXPECT_STREQ(reply, "playing");
    const auto deadline = Clock::now() + 300ms + mci::WaveDevice::kStallGrace;
    while (std::strcmp(reply, "playing") == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
        platform::mciSendString("status again mode", reply, sizeof reply, 0);
    }
    EXPECT_STREQ(reply, "stopped");
    platform::mciSendString("close again", nullptr, 0, 0);

    const auto [nextTook, nextPlayed] = Play(shortClip, 300ms);
    EXPECT_TRUE(nextPlayed) << "the next click did not play";
    EXPECT_LT(nextTook, 300ms + mci::WaveDevice::kStallGrace);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
