#pragma once
// Where each channel of a clip is meant to be heard: the speaker positions a WAVE file names in its
// channel mask, or the standard ones a file without a mask takes.
#include <sndfile.h>

#include <cstdint>
#include <span>
#include <vector>

namespace mci {

// In the order of the mask's bits, which is the order channels take where the mask names none.
enum class Position : std::uint8_t {
    FrontLeft,
    FrontRight,
    FrontCenter,
    LowFrequency,
    BackLeft,
    BackRight,
    FrontLeftOfCenter,
    FrontRightOfCenter,
    BackCenter,
    SideLeft,
    SideRight,
    TopCenter,
    TopFrontLeft,
    TopFrontCenter,
    TopFrontRight,
    TopBackLeft,
    TopBackCenter,
    TopBackRight,
    Mono,      // the one channel of a clip that names none: heard from every speaker alike
    Unplaced,  // past the last standard position: no speaker is meant for it
};
using Positions = std::vector<Position>;

// Each channel's position from libsndfile's (SF_CHANNEL_MAP_*, 0 where it names none): a channel
// that names none takes the standard position after the channel before it, the first one front
// left. A lone channel that names none is mono.
Positions PositionsFrom(std::span<const int> sndfileMap);

// Where the channels of a file without a mask go.
Positions StandardPositions(int channels);

// The positions of an open file's channels, as its mask gives them.
Positions ReadPositions(SNDFILE* file, int channels);

}  // namespace mci
