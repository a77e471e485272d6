#include "bench/Clips.h"

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace bench {
namespace {

void Put(std::vector<char>& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

}  // namespace

void WriteClip(const std::filesystem::path& path, const ClipFormat& format) {
    const auto frames = static_cast<std::uint32_t>(std::lround(format.rate * format.seconds));
    const std::uint32_t blockAlign = 2 * static_cast<std::uint32_t>(format.channels);
    const std::uint32_t dataBytes = frames * blockAlign;

    std::vector<char> bytes;
    bytes.reserve(44 + dataBytes);
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    Put(bytes, 36 + dataBytes, 4);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put(bytes, 16, 4);
    Put(bytes, 1, 2);  // PCM
    Put(bytes, static_cast<std::uint32_t>(format.channels), 2);
    Put(bytes, static_cast<std::uint32_t>(format.rate), 4);
    Put(bytes, static_cast<std::uint32_t>(format.rate) * blockAlign, 4);
    Put(bytes, blockAlign, 2);
    Put(bytes, 16, 2);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    Put(bytes, dataBytes, 4);

    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < format.channels; ++channel) {
            const double t = double(frame) / format.rate;
            auto sample = static_cast<std::int16_t>(
                std::lround(8000.0 * std::sin(2 * std::numbers::pi * (440.0 + 110 * channel) * t)));
            if (sample == 0) {
                sample = 1;
            }
            Put(bytes, static_cast<std::uint16_t>(sample), 2);
        }
    }
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ostrivane-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace bench
