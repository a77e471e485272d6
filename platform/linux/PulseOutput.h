#pragma once
// The audio output that plays through a sound server speaking the PulseAudio protocol (PulseAudio
// itself, or PipeWire's pipewire-pulse), and the choice between it and SDL.
#include <chrono>
#include <memory>

#include "platform/linux/AudioOutput.h"
#include "platform/linux/WarmPolicy.h"

namespace mci {

// A stream on the server, which buffers a few hundred milliseconds and reports the clip's end once
// it has played the last sample. Null when no server answers.
std::unique_ptr<AudioOutput> MakePulseOutput();

// The output for every clip: the server's where one answers at the first clip, else SDL's.
// OSTRIVANE_AUDIO_OUTPUT=pulse or =sdl forces either.
std::unique_ptr<AudioOutput> MakeOutput();

// A click is likely for `hold` from now: the server keeps a stream of ours ready for the next clip
// meanwhile, so that its first samples are heard at once. Each clip's end makes a click likely for
// kClickLikely again. Does nothing where SDL is forced.
void ExpectClip(std::chrono::microseconds hold = kClickLikely);

}  // namespace mci
