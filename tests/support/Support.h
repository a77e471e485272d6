#pragma once
// What the test programs share: an environment of their own, clips made on the spot, scratch
// folders and a private PulseAudio server.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace support {

// Drops whatever could lead a test to the caller's display, sound server, audio driver, fonts,
// locale or home, and gives the process a home of its own in which no sound server starts on
// demand. Tests then set what they rely on. First thing in main.
void Hermetic();

// A PCM WAVE file with a plain 44-byte header.
void WriteWav(const std::filesystem::path& path, int rate, int channels, int bits,
              std::span<const std::uint8_t> data);
// A clip of 16-bit mono at 22.05 kHz holding a signal that no other seed gives; its path.
std::string WriteClip(const std::filesystem::path& path, std::size_t frames, unsigned seed = 1);
std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);

// A fresh folder /tmp/ostr-XXXXXX, short enough for socket names, removed with the object.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    std::filesystem::path path;
};

// A PulseAudio server of the test's own, which the process's clients reach through PULSE_SERVER.
// Its null sink plays 16-bit mono at 22.05 kHz, kept running by a stream of silence so that it
// plays in real time (left alone, it takes in seconds at a time). Start says in one line why it
// could not start; Record writes what the sink plays to a file.
struct PulseDaemon {
    PulseDaemon();
    ~PulseDaemon() { Kill(); }
    std::string Start();
    void Record(const std::filesystem::path& raw);
    void Kill();
    TempDir dir;
    pid_t server = 0, silence = 0, recorder = 0;
};

}  // namespace support
