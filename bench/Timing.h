#pragma once
// When a clip's samples pass to the audio device and when it has played them, seen from outside
// the player: noted by whatever plays the clip (the program's output, wrapped in a TimedOutput
// that looks at every buffer it hands over, or the bare SDL player) and waited for by a benchmark.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/linux/AudioOutput.h"

namespace bench {

using Clock = std::chrono::steady_clock;

class PlayTimes {
  public:
    void Reset();
    // Called on the audio thread for each buffer of bytes, handed over at when. Every sample of
    // the benchmark clips is non-zero, so a buffer holds part of the clip exactly when it is not
    // all silence.
    void NoteBuffer(bool sound, int bytes, Clock::time_point when);
    // Called when the output says it has played the clip's last sample: for SDL, when the device
    // asked for more after the last buffer holding it; for a sound server, when its stream had
    // drained.
    void NoteEnded(Clock::time_point when);

    // When the first buffer holding the clip was handed over, and when the output said it had
    // played the last sample; nothing when that has not happened within timeout.
    std::optional<Clock::time_point> FirstSample(std::chrono::milliseconds timeout = {});
    std::optional<Clock::time_point> Consumed(std::chrono::milliseconds timeout = {});
    // The size of the buffers the device asks for.
    int BufferBytes() const;

  private:
    std::optional<Clock::time_point> Wait(const std::optional<Clock::time_point>& stamp,
                                          std::chrono::milliseconds timeout);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
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

// CPU seconds used so far by the whole process, all threads.
double CpuSeconds();

}  // namespace bench
