#include "bench/Clips.h"

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "tests/support/Support.h"

namespace bench {

void WriteClip(const std::filesystem::path& path, const ClipFormat& format) {
    const auto frames = static_cast<std::size_t>(std::lround(format.rate * format.seconds));
    std::vector<std::int16_t> samples;
    samples.reserve(frames * static_cast<std::size_t>(format.channels));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < format.channels; ++channel) {
            const double t = double(frame) / format.rate;
            const auto sample = static_cast<std::int16_t>(
                std::lround(8000.0 * std::sin(2 * std::numbers::pi * (440.0 + 110 * channel) * t)));
            samples.push_back(sample == 0 ? std::int16_t{1} : sample);
        }
    }
    support::WriteWav(path, format.rate, format.channels, 16,
                      {reinterpret_cast<const std::uint8_t*>(samples.data()), samples.size() * 2});
}

}  // namespace bench
