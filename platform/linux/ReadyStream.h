#pragma once
// The stream kept ready on the sound server while a click is likely: lent to a clip of its format,
// given back after it, let go once the warm policy turns cold. Every method takes the loop's lock
// itself; the policy, the ready stream and the timer are only touched under it.
#include <chrono>
#include <memory>
#include <string>

#include "platform/linux/AudioOutput.h"
#include "platform/linux/PulseContext.h"
#include "platform/linux/PulseStream.h"
#include "platform/linux/WarmPolicy.h"

namespace mci {

class ReadyStream {
  public:
    // Null when libpulse cannot be loaded. Never freed, as the connection is not.
    static ReadyStream* Instance();

    PulseContext& context() { return context_; }
    // A click is likely for `hold` from now: connects, and makes a stream ready once connected.
    void Expect(std::chrono::microseconds hold);
    // A connected stream of this format, named `title`, playing this clip (paused): the ready one
    // when its format is the clip's, else a new one. Null when no server answers or it refuses the
    // stream.
    std::unique_ptr<PulseStream> Lend(const Format& format, const std::string& title,
                                      AudioOutput::Pull pull, AudioOutput::Ended ended);
    // The clip's stream back after it: kept ready, unless the server has dropped it.
    void Return(std::unique_ptr<PulseStream> stream);

  private:
    explicit ReadyStream(PulseContext& context);
    // Makes the ready stream and the timer what the policy says.
    void Apply();

    PulseContext& context_;
    WarmPolicy policy_;
    std::unique_ptr<PulseStream> ready_;
    PulseTimer cooling_;
};

}  // namespace mci
