#pragma once
// The audio output that plays through a sound server speaking the PulseAudio protocol (PulseAudio
// itself, or PipeWire's pipewire-pulse), and the choice between it and SDL.
#include <chrono>
#include <memory>

#include "platform/linux/WaveAudio.h"

namespace mci {

// A stream on the server, which buffers a few hundred milliseconds and reports the clip's end once
// it has played the last sample. Null when no server answers.
std::unique_ptr<AudioOutput> MakePulseOutput();

// The output for every clip: the server's where one answers at the first clip, else SDL's.
// OSTRIVANE_AUDIO_OUTPUT=pulse or =sdl forces either.
std::unique_ptr<AudioOutput> MakeOutput();

// How long a click stays likely after the pointer reaches a window, a window is activated, a key
// is pressed or a clip ends.
inline constexpr std::chrono::seconds kClickLikely{20};

// A click is likely for `hold` from now, and as long after each clip: the server keeps a stream
// of ours ready for the next clip meanwhile, so that its first samples are heard at once. Returns
// at once; does nothing where SDL is forced.
void ExpectClip(std::chrono::microseconds hold = kClickLikely);

}  // namespace mci
