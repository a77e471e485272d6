#pragma once
// Where a clip's samples go: a sound server's stream or an SDL device; tests drive a double.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/linux/Format.h"

namespace mci {

class AudioOutput {
  public:
    // What one pull handed over: `bytes` of the clip from the start of the buffer, silence after
    // them. With `end`, the clip has nothing after them. Without it, a short pull is an underrun:
    // the clip's next samples are late (a slow read), and the output asks again soon.
    struct Pulled {
        std::size_t bytes = 0;
        bool end = false;
        bool operator==(const Pulled&) const = default;
    };
    // Fills exactly `bytes` bytes (whole frames).
    using Pull = std::function<Pulled(std::uint8_t* out, std::size_t bytes)>;
    // Tells the device that every sample handed over has been played.
    using Ended = std::function<void()>;

    virtual ~AudioOutput() = default;
    // Prepares playback of this format, paused. False when no output can take it. Both functions
    // are called on the output's own thread.
    virtual bool Open(const Format& format, Pull pull, Ended ended) = 0;
    virtual void SetPaused(bool paused) = 0;
    // What plays, for a mixer to show; called before Open.
    virtual void SetTitle(const std::string& /*title*/) {}
    // Plays again from the pull after the clip's end was handed over or played: the device has
    // rewound the clip. Leaves the output playing.
    virtual void Restart() = 0;
    // After Close returns, neither function is called again.
    virtual void Close() = 0;
};

}  // namespace mci
