#include "platform/linux/PulseChannelMap.h"

#include <cstdint>
#include <iterator>

namespace mci {
namespace {

// Indexed by Position.
constexpr pa_channel_position_t kPulsePositions[] = {
    PA_CHANNEL_POSITION_FRONT_LEFT,
    PA_CHANNEL_POSITION_FRONT_RIGHT,
    PA_CHANNEL_POSITION_FRONT_CENTER,
    PA_CHANNEL_POSITION_LFE,
    PA_CHANNEL_POSITION_REAR_LEFT,
    PA_CHANNEL_POSITION_REAR_RIGHT,
    PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER,
    PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER,
    PA_CHANNEL_POSITION_REAR_CENTER,
    PA_CHANNEL_POSITION_SIDE_LEFT,
    PA_CHANNEL_POSITION_SIDE_RIGHT,
    PA_CHANNEL_POSITION_TOP_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_LEFT,
    PA_CHANNEL_POSITION_TOP_FRONT_CENTER,
    PA_CHANNEL_POSITION_TOP_FRONT_RIGHT,
    PA_CHANNEL_POSITION_TOP_REAR_LEFT,
    PA_CHANNEL_POSITION_TOP_REAR_CENTER,
    PA_CHANNEL_POSITION_TOP_REAR_RIGHT,
    PA_CHANNEL_POSITION_MONO,
};
static_assert(std::size(kPulsePositions) == static_cast<std::size_t>(Position::Unplaced));

}  // namespace

bool PulseChannelMap(const Positions& positions, pa_channel_map& map) {
    if (positions.empty() || positions.size() > PA_CHANNELS_MAX) {
        return false;
    }
    map.channels = static_cast<std::uint8_t>(positions.size());
    // A channel that the file gives no position is an aux one, which a server leaves out. As a
    // second front centre PulseAudio 16 refuses a stream of 32 channels; as mono it no longer
    // mixes the backs and sides into a stereo sink.
    int unplaced = 0;
    for (std::size_t i = 0; i < positions.size(); ++i) {
        map.map[i] = positions[i] == Position::Unplaced
                         ? static_cast<pa_channel_position_t>(PA_CHANNEL_POSITION_AUX0 + unplaced++)
                         : kPulsePositions[static_cast<std::size_t>(positions[i])];
    }
    return true;
}

}  // namespace mci
