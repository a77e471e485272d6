#pragma once
// What the tests share: clips made on the spot, scratch folders, an audio output played by hand.
#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/AudioOutput.h"

namespace support {

// A PCM WAVE file with a plain 44-byte header, or an extensible one holding a channel mask; a
// 16-bit mono clip at 22.05 kHz of a signal no other seed gives (its path); a whole file.
void WriteWav(const std::filesystem::path& path, int rate, int channels, int bits,
              std::span<const std::uint8_t> data, std::optional<std::uint32_t> mask = {});
std::string WriteClip(const std::filesystem::path& path, std::size_t frames, unsigned seed = 1);
std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);
// The short form of a path, or "<none>" (the fuzz target checks the size contract).
std::string ShortPath(const std::string& path);

// Runs a shell command with no input or output, in a process that is killed when the test ends,
// however it ends.
pid_t Spawn(const std::string& command);

// A fresh folder /tmp/ostr-XXXXXX, short enough for socket names, removed with the object.
struct TempDir {
    TempDir();
    TempDir(const TempDir&) = delete;
    ~TempDir() { std::filesystem::remove_all(path, ignored); }
    std::filesystem::path path;
    std::error_code ignored;
};

// An audio output that plays nothing by itself: the test pulls the samples and says when they have
// been played. Listed in `open` while open; refuses to open when made with `refuse`; counts the
// restarts it is asked for.
struct HandOutput final : mci::AudioOutput {
    HandOutput(std::set<HandOutput*>& outputs, bool refuse) : open(outputs), refused(refuse) {}
    ~HandOutput() override { open.erase(this); }
    bool Open(const mci::Format& played, Pull pulled, Ended end) override {
        format = played;
        pull = std::move(pulled);
        ended = std::move(end);
        return !refused && open.insert(this).second;
    }
    void SetPaused(bool) override {}
    void Restart() override { ++restarts; }
    void Close() override { open.erase(this); }
    std::set<HandOutput*>& open;
    const bool refused;
    int restarts = 0;
    mci::Format format;
    Pull pull;
    Ended ended;
};

}  // namespace support
