#pragma once
// A clip's channel positions as a sound server knows them: the server mixes down whatever its
// sink has no speaker for, so no channel of the clip is lost.
#include <pulse/channelmap.h>

#include "platform/linux/ChannelPositions.h"

namespace mci {

// False when there are more channels than a map holds.
bool PulseChannelMap(const Positions& positions, pa_channel_map& map);

}  // namespace mci
