#pragma once
// What a clip is decoded to, and so what an output is asked to play.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/linux/ChannelPositions.h"

namespace mci {

// 16 bits for every format of 16 bits or fewer, compressed ones included; 32 bits for 24- and
// 32-bit PCM; float for float and double. Native byte order.
enum class SampleType { S16, S32, F32 };

struct Format {
    int rate = 0;
    int channels = 0;
    SampleType type = SampleType::S16;
    Positions positions;  // where the channels go, unless they go where a file without a mask's do

    std::size_t FrameBytes() const {
        return static_cast<std::size_t>(channels) * (type == SampleType::S16 ? 2 : 4);
    }
    // Where `frame` falls, in whole milliseconds from the first frame.
    std::uint32_t MillisecondsAt(std::int64_t frame) const {
        const std::int64_t ms = frame / rate * 1000 + frame % rate * 1000 / rate;
        return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, UINT32_MAX));
    }
    Positions ChannelPositions() const {
        return positions.empty() ? StandardPositions(channels) : positions;
    }
    bool operator==(const Format&) const = default;
};

}  // namespace mci
