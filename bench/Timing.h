#pragma once
// When a clip's samples pass to the audio device and when it has played them, seen from outside
// the player: noted by whatever plays the clip (the program's output, wrapped in a TimedOutput
// that looks at every buffer it hands over, or the bare SDL player) and waited for by a benchmark.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/linux/AudioOutput.h"

namespace bench {

using Clock = std::chrono::steady_clock;

class PlayTimes {
  public:
    void Reset() {
        std::lock_guard lock(mutex_);
        first_.reset();
        consumed_.reset();
    }

    // Called on the audio thread for each buffer holding part of the clip, handed over at when.
    void NoteSound(Clock::time_point when) {
        std::lock_guard lock(mutex_);
        if (!first_) {
            first_ = when;
            changed_.notify_all();
        }
    }

    // Called when the output says it has played the clip's last sample: for SDL, when the device
    // asked for more after the last buffer holding it; for a sound server, when its stream had
    // drained.
    void NoteEnded(Clock::time_point when) {
        std::lock_guard lock(mutex_);
        if (first_ && !consumed_) {
            consumed_ = when;
            changed_.notify_all();
        }
    }

    // When the first buffer holding the clip was handed over, and when the output said it had
    // played the last sample; nothing when that has not happened within timeout.
    std::optional<Clock::time_point> FirstSample(std::chrono::milliseconds timeout = {}) {
        return Wait(first_, timeout);
    }
    std::optional<Clock::time_point> Consumed(std::chrono::milliseconds timeout = {}) {
        return Wait(consumed_, timeout);
    }

  private:
    std::optional<Clock::time_point> Wait(const std::optional<Clock::time_point>& stamp,
                                          std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&stamp] { return stamp.has_value(); });
        return stamp;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> first_;
    std::optional<Clock::time_point> consumed_;
};

// Passes everything to the wrapped output and notes each buffer in times.
class TimedOutput final : public mci::AudioOutput {
  public:
    TimedOutput(std::unique_ptr<mci::AudioOutput> inner, std::shared_ptr<PlayTimes> times)
        : inner_(std::move(inner)), times_(std::move(times)) {}

    bool Open(const mci::Format& format, Pull pull, Ended ended) override {
        return inner_->Open(
            format,
            [times = times_, pull = std::move(pull)](std::uint8_t* out, std::size_t bytes) {
                const Pulled got = pull(out, bytes);
                const auto handed = Clock::now();
                // Every sample of the benchmark clips is non-zero, and silence is zero in every
                // type a clip is decoded to: a buffer holds part of the clip unless all zero.
                if (std::any_of(out, out + bytes, [](std::uint8_t b) { return b != 0; })) {
                    times->NoteSound(handed);
                }
                return got;
            },
            [times = times_, ended = std::move(ended)] {
                times->NoteEnded(Clock::now());
                ended();
            });
    }
    void SetPaused(bool paused) override { inner_->SetPaused(paused); }
    void Restart() override { inner_->Restart(); }
    void Close() override { inner_->Close(); }

  private:
    const std::unique_ptr<mci::AudioOutput> inner_;
    const std::shared_ptr<PlayTimes> times_;
};

// CPU seconds used so far by the whole process, all threads.
inline double CpuSeconds() {
    return double(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace bench
