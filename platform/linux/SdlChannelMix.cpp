#include "platform/linux/SdlChannelMix.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace mci {
namespace {

// SDL's 5.1 layout.
enum Speaker { kFrontLeft, kFrontRight, kFrontCenter, kLowFrequency, kBackLeft, kBackRight, k51 };

// A position between two speakers is heard from both at half the power.
constexpr double kHalfPower = 0.7071067811865476;

constexpr int kNone = -1;
struct Feed {
    int first;
    int second = kNone;
};
// Indexed by Position: the speakers each is heard from. The top ones from the speaker below them.
constexpr Feed kFeeds[] = {
    {kFrontLeft},
    {kFrontRight},
    {kFrontCenter},
    {kLowFrequency},
    {kBackLeft},
    {kBackRight},
    {kFrontLeft},  // front left of centre, which a server mixes into the left side alone
    {kFrontRight},
    {kBackLeft, kBackRight},    // back centre
    {kFrontLeft, kBackLeft},    // side left
    {kFrontRight, kBackRight},  // side right
    {kFrontCenter},             // top centre
    {kFrontLeft},
    {kFrontCenter},
    {kFrontRight},
    {kBackLeft},
    {kBackLeft, kBackRight},  // top back centre
    {kBackRight},
    {kFrontLeft, kFrontRight},  // mono
    {kNone},                    // unplaced, which a server drops too
};
static_assert(std::size(kFeeds) == static_cast<std::size_t>(Position::Unplaced) + 1);

template <typename T>
T Saturated(double sum) {
    if constexpr (std::numeric_limits<T>::is_integer) {
        return static_cast<T>(
            std::clamp<double>(sum, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
    } else {
        return static_cast<T>(sum);
    }
}

// Where a gain sits in a table of `columns` gains a row.
std::size_t At(int row, int columns, int column) {
    return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns) +
           static_cast<std::size_t>(column);
}

template <typename T>
void Mix(const std::vector<double>& gains, int inputs, int outputs, const std::uint8_t* in,
         std::uint8_t* out, std::size_t frames) {
    const auto* from = reinterpret_cast<const T*>(in);
    auto* to = reinterpret_cast<T*>(out);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int o = 0; o < outputs; ++o) {
            double sum = 0;
            for (int i = 0; i < inputs; ++i) {
                sum += gains[At(o, inputs, i)] * from[i];
            }
            to[o] = Saturated<T>(sum);
        }
        from += inputs;
        to += outputs;
    }
}

}  // namespace

SdlChannelMix::SdlChannelMix(const Positions& positions)
    : inputs_(static_cast<int>(positions.size())), outputs_(inputs_) {
    const bool mono = positions == Positions{Position::Mono};
    const bool stereo = positions == Positions{Position::FrontLeft, Position::FrontRight};
    if (mono || stereo) {
        return;
    }
    outputs_ = k51;
    gains_.assign(At(outputs_, inputs_, 0), 0.0);
    for (int i = 0; i < inputs_; ++i) {
        const Feed& feed = kFeeds[static_cast<std::size_t>(positions[static_cast<std::size_t>(i)])];
        if (feed.first == kNone) {
            continue;
        }
        const bool shared = feed.second != kNone;
        gains_[At(feed.first, inputs_, i)] = shared ? kHalfPower : 1.0;
        if (shared) {
            gains_[At(feed.second, inputs_, i)] = kHalfPower;
        }
    }
}

void SdlChannelMix::Apply(SampleType type, const std::uint8_t* in, std::uint8_t* out,
                          std::size_t frames) const {
    switch (type) {
        case SampleType::S16:
            return Mix<std::int16_t>(gains_, inputs_, outputs_, in, out, frames);
        case SampleType::S32:
            return Mix<std::int32_t>(gains_, inputs_, outputs_, in, out, frames);
        case SampleType::F32:
            return Mix<float>(gains_, inputs_, outputs_, in, out, frames);
    }
}

}  // namespace mci
