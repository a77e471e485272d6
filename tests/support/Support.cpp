#include "tests/support/Support.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace support {
namespace fs = std::filesystem;

void Hermetic() {
    std::vector<std::string> drop;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string name(*entry, std::strcspn(*entry, "="));
        for (const char* misleading : {"QT_", "SDL_", "PULSE_", "XDG_", "LC_", "WINE", "FONTCONFIG",
                                       "DISPLAY", "WAYLAND_DISPLAY", "LANG", "HOME"}) {
            if (name.starts_with(misleading)) {
                drop.push_back(name);
            }
        }
    }
    for (const auto& name : drop) {
        unsetenv(name.c_str());
    }
    static const TempDir home;
    std::ofstream(home.path / "client.conf") << "autospawn = no\n";
    setenv("PULSE_CLIENTCONFIG", (home.path / "client.conf").c_str(), 1);
    setenv("HOME", home.path.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", home.path.c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

void WriteWav(const fs::path& path, int rate, int channels, int bits,
              std::span<const std::uint8_t> data) {
    const auto u16 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    const auto u32 = [&](std::uint32_t v) { return u16(v) + u16(v >> 16); };
    const auto frame = std::uint32_t(channels * bits / 8), size = std::uint32_t(data.size());
    std::ofstream(path, std::ios::binary)
        << "RIFF" << u32(36 + size) << "WAVEfmt " << u32(16) << u16(1) << u16(channels) << u32(rate)
        << u32(rate * frame) << u16(frame) << u16(bits) << "data" << u32(size)
        << std::string_view(reinterpret_cast<const char*>(data.data()), size);
}

std::string WriteClip(const fs::path& path, std::size_t frames, unsigned seed) {
    std::vector<std::int16_t> samples(frames);  // a tone and noise: no match by chance
    std::uint32_t state = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < frames; ++i) {
        state = state * 1664525u + 1013904223u;
        samples[i] = std::int16_t(std::sin(double(i) * 0.07) * 12000 + int(state >> 22) - 512);
    }
    WriteWav(path, 22050, 1, 16, {reinterpret_cast<std::uint8_t*>(samples.data()), frames * 2});
    return path.string();
}

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() {
    char pattern[] = "/tmp/ostr-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a folder in /tmp");
    }
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

PulseDaemon::PulseDaemon() {
    setenv("PULSE_SERVER", ("unix:" + (dir.path / "native").string()).c_str(), 1);
}

// Runs a program of the test's own, which goes with the test even when the test is killed.
pid_t Spawn(std::vector<std::string> args, const char* input, const fs::path& runtime,
            const char* output = "/dev/null") {
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        if (freopen(input, "r", stdin) == nullptr || freopen(output, "w", stdout) == nullptr)
            _exit(126);
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

std::string PulseDaemon::Start() {
    const std::string socket = (dir.path / "native").string(), log = (dir.path / "log").string();
    server = Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                    "--use-pid-file=no", "--disable-shm=yes", "--log-target=file:" + log, "-L",
                    "module-native-protocol-unix auth-anonymous=1 socket=" + socket, "-L",
                    "module-null-sink sink_name=nullsink rate=22050 channels=1 format=s16le"},
                   "/dev/null", dir.path);
    for (int tries = 0; tries < 500 && !fs::exists(socket); ++tries) {
        if (int status = 0; waitpid(server, &status, WNOHANG) == server) {
            server = 0;
            const auto text = ReadAll(log);
            return "pulseaudio exited with status " + std::to_string(WEXITSTATUS(status)) + ": " +
                   std::string(text.begin(), text.end()).substr(0, 200);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!fs::exists(socket))
        return "pulseaudio made no socket " + socket + " within 10 s";
    silence = Spawn({"pacat", "--raw", "--latency-msec=20"}, "/dev/zero", dir.path);
    for (int tries = 0; tries < 250 && std::system("pactl list short sink-inputs | grep -q .") != 0;
         ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The sink renders the two seconds it began with before it follows the stream's pace.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    return {};
}

void PulseDaemon::Record(const fs::path& raw) {
    recorder = Spawn({"parec", "--raw", "--latency-msec=20", "--rate=22050", "--channels=1", "-d",
                      "nullsink.monitor"},
                     "/dev/null", dir.path, raw.c_str());
}

void PulseDaemon::Kill() {
    for (pid_t* pid : {&recorder, &silence, &server}) {
        if (*pid > 0) {
            ::kill(*pid, SIGKILL);
            waitpid(*pid, nullptr, 0);
            *pid = 0;
        }
    }
    fs::remove(dir.path / "native");
}

}  // namespace support
