#include "bench/Timing.h"

#include <sys/resource.h>

#include <algorithm>

namespace bench {

void PlayTimes::Reset() {
    std::lock_guard lock(mutex_);
    first_.reset();
    consumed_.reset();
    bufferBytes_ = 0;
}

void PlayTimes::NoteBuffer(bool sound, int bytes, Clock::time_point when) {
    std::lock_guard lock(mutex_);
    bufferBytes_ = bytes;
    if (sound && !first_) {
        first_ = when;
        changed_.notify_all();
    }
}

void PlayTimes::NoteEnded(Clock::time_point when) {
    std::lock_guard lock(mutex_);
    if (first_ && !consumed_) {
        consumed_ = when;
        changed_.notify_all();
    }
}

std::optional<Clock::time_point> PlayTimes::FirstSample(std::chrono::milliseconds timeout) {
    return Wait(first_, timeout);
}

std::optional<Clock::time_point> PlayTimes::Consumed(std::chrono::milliseconds timeout) {
    return Wait(consumed_, timeout);
}

std::optional<Clock::time_point> PlayTimes::Wait(const std::optional<Clock::time_point>& stamp,
                                                 std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [&stamp] { return stamp.has_value(); });
    return stamp;
}

int PlayTimes::BufferBytes() const {
    std::lock_guard lock(mutex_);
    return bufferBytes_;
}

TimedOutput::TimedOutput(std::unique_ptr<mci::AudioOutput> inner, std::shared_ptr<PlayTimes> times)
    : inner_(std::move(inner)), times_(std::move(times)) {}

bool TimedOutput::Open(const mci::Format& format, Pull pull, Ended ended) {
    return inner_->Open(
        format,
        [times = times_, pull = std::move(pull)](std::uint8_t* out, std::size_t bytes) {
            const Pulled got = pull(out, bytes);
            const auto handed = Clock::now();
            // Silence is zero in every type a clip is decoded to.
            const bool sound = std::any_of(out, out + bytes, [](std::uint8_t b) { return b != 0; });
            times->NoteBuffer(sound, static_cast<int>(bytes), handed);
            return got;
        },
        [times = times_, ended = std::move(ended)] {
            times->NoteEnded(Clock::now());
            ended();
        });
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace bench
