#pragma once
// The waveaudio device: one clip, read ahead of its audio output, and that output.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/linux/AudioOutput.h"
#include "platform/linux/Clip.h"
#include "platform/linux/Clock.h"
#include "platform/linux/ReadAhead.h"

namespace mci {

// Its lock is never held across a read of the clip or a call to the output, so that the status
// of a playing clip is answered at once whatever its file system does.
class WaveDevice {
  public:
    // A device whose output stops consuming still reports the end this long after it is due.
    static constexpr std::chrono::milliseconds kStallGrace{2000};

    // Reads the clip's first part. onEnd runs on the output's thread when the output has played
    // the last sample.
    WaveDevice(std::unique_ptr<Clip> clip, std::unique_ptr<AudioOutput> output, Clock clock,
               std::function<void()> onEnd);
    // Closes the output; never waits for a read.
    ~WaveDevice();
    WaveDevice(const WaveDevice&) = delete;
    WaveDevice& operator=(const WaveDevice&) = delete;

    // Opens the output; false when there is none for this clip.
    bool Open();
    // Starts at once; a device already playing plays on, one at its end starts over.
    void Play();
    void Stop();
    bool Playing() const;
    std::uint32_t LengthMs() const;
    std::uint32_t PositionMs() const;

  private:
    AudioOutput::Pulled Pull(std::uint8_t* out, std::size_t bytes);
    void Ended();

    const Format format_;
    const std::int64_t frames_;
    ReadAhead ahead_;
    const std::unique_ptr<AudioOutput> output_;
    const Clock clock_;
    const std::function<void()> onEnd_;

    mutable std::mutex mutex_;
    std::int64_t position_ = 0;  // frames handed to the output
    bool running_ = false;
    std::chrono::steady_clock::time_point deadline_{};  // when a stalled output counts as done
};

}  // namespace mci
