#include "tests/support/Support.h"

#include "platform/ShortPath.h"

#include <cmath>
#include <fstream>
#include <stdexcept>

namespace support {
namespace fs = std::filesystem;

void WriteWav(const fs::path& path, int rate, int channels, int bits,
              std::span<const std::uint8_t> data) {
    const auto u16 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    const auto u32 = [&](std::uint32_t v) { return u16(v) + u16(v >> 16); };
    const auto frame = std::uint32_t(channels * bits / 8);
    const auto size = std::uint32_t(data.size());
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

std::string ShortPath(const std::string& path) {
    char out[4096];
    return platform::GetShortPathName(path.c_str(), out, sizeof out) > 0 ? out : "<none>";
}

TempDir::TempDir() {
    char pattern[] = "/tmp/ostr-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("cannot make a folder in /tmp");
    path = pattern;
}

}  // namespace support
