#pragma once
// The audio output that plays through an SDL audio device.
#include <cstdint>
#include <memory>

#include "platform/linux/AudioOutput.h"

namespace mci {

std::unique_ptr<AudioOutput> MakeSdlOutput();

// The buffer size, in frames, that the output asks SDL for at this rate (the benchmark's floor
// asks for the same, so that both wait on the same buffers).
std::uint16_t BufferFrames(int frequency);

}  // namespace mci
