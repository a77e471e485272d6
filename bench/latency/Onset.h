#pragma once
// Finds where each clip starts and ends in what a sink's monitor hears. The benchmark's clip is
// a tone that starts at full level and everything else is digital silence, so its first loud
// sample is its onset; it has ended once the monitor has heard silence for a while.
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>

namespace latency {

inline std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A recorder that waits for the CPU behind the machine's other work would see everything late
// (the libpulse one) or hold up the graph (the PipeWire one): it runs at real-time priority where
// it may, below the sound servers' own threads. Threads started afterwards inherit it.
inline bool TryRealtime() {
    sched_param priority{};
    priority.sched_priority = 70;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority) == 0;
}

// One line to the bench script. write() rather than stdio: a recorder may report from a
// real-time thread, where nothing should wait on a lock.
inline void Report(const char* what, std::int64_t value) {
    char line[128];
    const int n = std::snprintf(line, sizeof line, "%s %lld\n", what, (long long)value);
    if (n > 0 && write(STDOUT_FILENO, line, std::size_t(n)) < 0) {
        _exit(1);  // the bench script has gone
    }
}

class OnsetFinder {
  public:
    // Samples are mono floats; sample i of the block is due at firstNs + i * nsPerSample.
    void Feed(const float* samples, std::size_t count, double firstNs, double nsPerSample) {
        for (std::size_t i = 0; i < count; ++i) {
            const double at = firstNs + double(i) * nsPerSample;
            const float level = std::fabs(samples[i]);
            if (!playing_) {
                if (level >= kLoud) {
                    playing_ = true;
                    lastLoud_ = at;
                    Report("onset", std::int64_t(at));
                }
            } else if (level >= kQuiet) {
                lastLoud_ = at;
            } else if (at - lastLoud_ >= kSilentNs) {
                playing_ = false;
                Report("end", std::int64_t(lastLoud_));
            }
        }
    }

  private:
    // The tone peaks near full scale; a resampler's ringing before its first sample stays far
    // below this.
    static constexpr float kLoud = 0.25f;
    static constexpr float kQuiet = 1.0f / 1024;
    static constexpr double kSilentNs = 30e6;
    bool playing_ = false;
    double lastLoud_ = 0;
};

}  // namespace latency
