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

void PlayTimes::Note(const std::uint8_t* data, int bytes, std::uint8_t silence,
                     Clock::time_point asked, Clock::time_point handed) {
    const bool sound =
        std::any_of(data, data + bytes, [silence](std::uint8_t b) { return b != silence; });
    std::lock_guard lock(mutex_);
    bufferBytes_ = bytes;
    if (sound && !first_) {
        first_ = handed;
    }
    (void)asked;
}

void PlayTimes::NoteEnded(Clock::time_point when) {
    std::lock_guard lock(mutex_);
    if (first_ && !consumed_) {
        consumed_ = when;
    }
}

std::optional<Clock::time_point> PlayTimes::FirstSample() const {
    std::lock_guard lock(mutex_);
    return first_;
}

std::optional<Clock::time_point> PlayTimes::Consumed() const {
    std::lock_guard lock(mutex_);
    return consumed_;
}

int PlayTimes::BufferBytes() const {
    std::lock_guard lock(mutex_);
    return bufferBytes_;
}

TimedOutput::TimedOutput(std::unique_ptr<mci::AudioOutput> inner, std::shared_ptr<PlayTimes> times)
    : inner_(std::move(inner)), times_(std::move(times)) {}

bool TimedOutput::Open(const mci::Format& format, Pull pull, Ended ended) {
    const std::uint8_t silence = 0;  // every type a clip is decoded to
    return inner_->Open(
        format,
        [times = times_, pull = std::move(pull), silence](std::uint8_t* out, std::size_t bytes) {
            const auto asked = Clock::now();
            const Pulled got = pull(out, bytes);
            times->Note(out, static_cast<int>(bytes), silence, asked, Clock::now());
            return got;
        },
        [times = times_, ended = std::move(ended)] {
            times->NoteEnded(Clock::now());
            ended();
        });
}

int OutputBufferFrames(int rate) {
    for (int ms = 10; ms <= 40; ++ms) {
        if (rate * ms % 1000 == 0) {
            return std::clamp(rate * ms / 1000, 64, 16384);
        }
    }
    return std::clamp(rate / 100, 64, 16384);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](timeval t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace bench
