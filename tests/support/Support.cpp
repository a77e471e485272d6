#include "tests/support/Support.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <stdexcept>

#include "platform/ShortPath.h"

namespace support {
namespace fs = std::filesystem;

void WriteWav(const fs::path& path, int rate, int channels, int bits,
              std::span<const std::uint8_t> data, std::optional<std::uint32_t> mask) {
    const auto u16 = [](std::uint32_t v) { return std::string{char(v), char(v >> 8)}; };
    const auto u32 = [&](std::uint32_t v) { return u16(v) + u16(v >> 16); };
    const auto frame = std::uint32_t(channels * bits / 8);
    const auto size = std::uint32_t(data.size());
    std::string format = u16(mask ? 0xFFFE : 1) + u16(channels) + u32(rate) + u32(rate * frame) +
                         u16(frame) + u16(bits);
    if (mask) {  // the extension's size, the valid bits, the mask, and the PCM subformat's GUID
        format += u16(22) + u16(bits) + u32(*mask) + u32(1) + u32(0x00100000) + u32(0xAA000080) +
                  u32(0x719B3800);
    }
    std::ofstream(path, std::ios::binary)
        << "RIFF" << u32(20 + std::uint32_t(format.size()) + size) << "WAVEfmt "
        << u32(std::uint32_t(format.size())) << format << "data" << u32(size)
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

pid_t Spawn(const std::string& command) {
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        execl("/bin/sh", "sh", "-c", ("exec </dev/null >/dev/null " + command).c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/ostr-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("cannot make a folder in /tmp");
    path = pattern;
}

}  // namespace support
