#pragma once
// What the tests share: clips made on the spot and scratch folders.
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace support {

// A PCM WAVE file with a plain 44-byte header; a 16-bit mono clip at 22.05 kHz of a signal no other
// seed gives (its path); a whole file.
void WriteWav(const std::filesystem::path& path, int rate, int channels, int bits,
              std::span<const std::uint8_t> data);
std::string WriteClip(const std::filesystem::path& path, std::size_t frames, unsigned seed = 1);
std::vector<std::uint8_t> ReadAll(const std::filesystem::path& path);

// A fresh folder /tmp/ostr-XXXXXX, short enough for socket names, removed with the object.
struct TempDir {
    TempDir();
    TempDir(const TempDir&) = delete;
    ~TempDir() { std::filesystem::remove_all(path, ignored); }
    std::filesystem::path path;
    std::error_code ignored;
};

}  // namespace support
