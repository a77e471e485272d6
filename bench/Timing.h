#pragma once
// When a clip's samples pass to the audio output and when it has played them, seen from outside
// the player: an output that wraps the real one and looks at every buffer it hands over.
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/linux/AudioOutput.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// What the device has been handed since the last Reset. Every sample of the benchmark clips is
// non-zero, so a buffer holds part of the clip exactly when it is not all silence.
class PlayTimes {
  public:
    void Reset();
    // Called on the audio thread for each buffer: asked is when the device asked for it (the
    // previous one has then been consumed), handed when it was filled.
    void Note(const std::uint8_t* data, int bytes, std::uint8_t silence, Clock::time_point asked,
              Clock::time_point handed);

    // When the first buffer holding the clip was handed over.
    std::optional<Clock::time_point> FirstSample() const;
    // Called when the output says it has played the clip's last sample.
    void NoteEnded(Clock::time_point when);
    // When the output said it had played the clip's last sample: for SDL, when the device asked
    // for more after the last buffer holding it; for a sound server, when its stream had drained.
    std::optional<Clock::time_point> Consumed() const;
    // The size of the buffers the device asks for.
    int BufferBytes() const;

  private:
    mutable std::mutex mutex_;
    std::optional<Clock::time_point> first_;
    std::optional<Clock::time_point> consumed_;
    int bufferBytes_ = 0;
};

// Passes everything to the wrapped output and notes each buffer in times.
class TimedOutput final : public mci::AudioOutput {
  public:
    TimedOutput(std::unique_ptr<mci::AudioOutput> inner, std::shared_ptr<PlayTimes> times);

    bool Open(const mci::Format& format, Pull pull, Ended ended) override;
    void SetPaused(bool paused) override { inner_->SetPaused(paused); }
    void Restart() override { inner_->Restart(); }
    void Close() override { inner_->Close(); }

  private:
    const std::unique_ptr<mci::AudioOutput> inner_;
    const std::shared_ptr<PlayTimes> times_;
};

// The buffer size, in frames, that the SDL output asks for at this rate: the shortest whole
// number of milliseconds from 10 up that is a whole number of frames. The floors use it so that
// both sides wait on the same buffers; the benchmarks report the size they saw, so that a change
// on one side shows.
int OutputBufferFrames(int rate);

// CPU seconds used so far by the whole process, all threads.
double CpuSeconds();

}  // namespace bench
