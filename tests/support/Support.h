#pragma once
// What the test programs share: an environment of their own, clips made on the spot, scratch
// directories and a private PulseAudio server.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace support {

// Drops whatever could lead a test to the caller's display, sound server, audio driver, fonts,
// locale or home, and gives the process a home of its own in which no sound server is started
// on demand. Tests then set what they rely on. Call it first thing in main.
void Hermetic();

// A deterministic, non-periodic signal, so that a match in a capture is not by chance.
std::vector<std::int16_t> Signal(std::size_t frames, int channels, unsigned seed = 1);
// A PCM WAVE file with a plain 44-byte header.
void WriteWav(const std::filesystem::path& path, int rate, int channels, int bits,
              std::span<const std::uint8_t> data);
inline void WritePcm16(const std::filesystem::path& path, int rate, int channels,
                       const std::vector<std::int16_t>& samples) {
    WriteWav(path, rate, channels, 16,
             {reinterpret_cast<const std::uint8_t*>(samples.data()), samples.size() * 2});
}
std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);

// A fresh directory /tmp/ostr-XXXXXX, short enough for socket names, removed with the object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// A PulseAudio daemon of the test's own with a null sink; the process's clients reach it through
// PULSE_SERVER, and only it.
class PulseDaemon {
  public:
    PulseDaemon();
    ~PulseDaemon() { Kill(); }
    // Starts it and waits until it takes connections; otherwise says in one line why not.
    std::string Start();
    void Kill();
    std::string Socket() const { return (dir_.path() / "native").string(); }

  private:
    TempDir dir_;
    pid_t pid_ = 0;
};

}  // namespace support
