#pragma once
// A clip's samples as the waveaudio device reads them: decoded, from the first frame on.
#include <cstdint>

#include "platform/linux/Format.h"

namespace mci {

class Clip {
  public:
    virtual ~Clip() = default;
    virtual const Format& format() const = 0;
    // As many frames as the clip's header promises; a file may give out sooner.
    virtual std::int64_t Frames() const = 0;
    // Decodes up to `frames` frames into out; fewer at the end, or where the file gives out. May
    // block as long as the file system takes.
    virtual std::int64_t Read(std::uint8_t* out, std::int64_t frames) = 0;
    virtual void Rewind() = 0;
};

}  // namespace mci
