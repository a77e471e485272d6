#include "platform/linux/ChannelPositions.h"

#include <algorithm>

namespace mci {
namespace {

struct Named {
    int sndfile;
    Position position;
};
// libsndfile has two names for each front position: one for stereo files, one for surround ones.
constexpr Named kSndfilePositions[] = {
    {SF_CHANNEL_MAP_MONO, Position::Mono},
    {SF_CHANNEL_MAP_LEFT, Position::FrontLeft},
    {SF_CHANNEL_MAP_RIGHT, Position::FrontRight},
    {SF_CHANNEL_MAP_CENTER, Position::FrontCenter},
    {SF_CHANNEL_MAP_FRONT_LEFT, Position::FrontLeft},
    {SF_CHANNEL_MAP_FRONT_RIGHT, Position::FrontRight},
    {SF_CHANNEL_MAP_FRONT_CENTER, Position::FrontCenter},
    {SF_CHANNEL_MAP_REAR_CENTER, Position::BackCenter},
    {SF_CHANNEL_MAP_REAR_LEFT, Position::BackLeft},
    {SF_CHANNEL_MAP_REAR_RIGHT, Position::BackRight},
    {SF_CHANNEL_MAP_LFE, Position::LowFrequency},
    {SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER, Position::FrontLeftOfCenter},
    {SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER, Position::FrontRightOfCenter},
    {SF_CHANNEL_MAP_SIDE_LEFT, Position::SideLeft},
    {SF_CHANNEL_MAP_SIDE_RIGHT, Position::SideRight},
    {SF_CHANNEL_MAP_TOP_CENTER, Position::TopCenter},
    {SF_CHANNEL_MAP_TOP_FRONT_LEFT, Position::TopFrontLeft},
    {SF_CHANNEL_MAP_TOP_FRONT_RIGHT, Position::TopFrontRight},
    {SF_CHANNEL_MAP_TOP_FRONT_CENTER, Position::TopFrontCenter},
    {SF_CHANNEL_MAP_TOP_REAR_LEFT, Position::TopBackLeft},
    {SF_CHANNEL_MAP_TOP_REAR_RIGHT, Position::TopBackRight},
    {SF_CHANNEL_MAP_TOP_REAR_CENTER, Position::TopBackCenter},
};

const Named* Find(int sndfile) {
    for (const Named& named : kSndfilePositions) {
        if (named.sndfile == sndfile) {
            return &named;
        }
    }
    return nullptr;
}

}  // namespace

Positions PositionsFrom(std::span<const int> sndfileMap) {
    if (sndfileMap.size() == 1 && Find(sndfileMap[0]) == nullptr) {
        return {Position::Mono};
    }
    constexpr int kPastStandard = static_cast<int>(Position::Mono);
    Positions positions;
    int next = 0;  // the standard position a channel that names none takes
    for (const int channel : sndfileMap) {
        if (const Named* named = Find(channel)) {
            positions.push_back(named->position);
            next = static_cast<int>(named->position) + 1;
        } else if (next < kPastStandard) {
            positions.push_back(static_cast<Position>(next++));
        } else {
            positions.push_back(Position::Unplaced);
        }
    }
    return positions;
}

Positions StandardPositions(int channels) {
    return PositionsFrom(std::vector<int>(static_cast<std::size_t>(channels), 0));
}

Positions ReadPositions(SNDFILE* file, int channels) {
    std::vector<int> map(static_cast<std::size_t>(channels), SF_CHANNEL_MAP_INVALID);
    // False for a file without a mask, or with a mask of 0: every channel takes its standard place.
    if (sf_command(file, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                   static_cast<int>(map.size() * sizeof(int))) == SF_FALSE) {
        std::fill(map.begin(), map.end(), SF_CHANNEL_MAP_INVALID);
    }
    return PositionsFrom(map);
}

}  // namespace mci
