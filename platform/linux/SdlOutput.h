#pragma once
// The audio output that plays through an SDL audio device.
#include <memory>

#include "platform/linux/AudioOutput.h"

namespace mci {

std::unique_ptr<AudioOutput> MakeSdlOutput();

}  // namespace mci
