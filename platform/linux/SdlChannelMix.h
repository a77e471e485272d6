#pragma once
// A clip's channels as an SDL device takes them. SDL documents a layout for every count from 1 to
// 8, but its PulseAudio driver (2.26) hands the server the WAVE order for 3, 4 and 8 channels,
// which puts quad's back pair at the centre and LFE, and cannot open 5 or 7 at all: only mono,
// stereo and 5.1 mean the same on every driver. Every other clip is mixed into 5.1 here, each
// channel to the speakers nearest its position, as a sound server would mix it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/linux/ChannelPositions.h"
#include "platform/linux/Format.h"

namespace mci {

class SdlChannelMix {
  public:
    explicit SdlChannelMix(const Positions& positions);

    // The channels the device is opened with.
    int Channels() const { return outputs_; }
    // False when the clip's frames go to the device as they are.
    bool Mixes() const { return !gains_.empty(); }
    // The device's `frames` frames in `out` from the clip's in `in`.
    void Apply(SampleType type, const std::uint8_t* in, std::uint8_t* out,
               std::size_t frames) const;

  private:
    int inputs_;
    int outputs_;
    std::vector<double> gains_;  // outputs_ rows of inputs_
};

}  // namespace mci
