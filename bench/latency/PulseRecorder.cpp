// Listens to a PulseAudio sink's monitor 1 ms at a time and reports the clip's onset and end on
// CLOCK_MONOTONIC. Each read is stamped when it returns; the samples it holds are placed just
// before that stamp.
//   ostrivane_pulse_recorder SOURCE RATE
// It reports "ready REALTIME" (1: it runs at real-time priority), "onset NS" and "end NS".
#include <pulse/error.h>
#include <pulse/simple.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/latency/Onset.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s SOURCE RATE\n", argv[0]);
        return 2;
    }
    const auto rate = std::uint32_t(std::atoi(argv[2]));
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, rate, 1};
    const std::size_t perRead = rate / 1000;  // 1 ms
    const auto bytes = std::uint32_t(perRead * sizeof(float));
    // fragsize asks the server to send each millisecond as soon as it has it.
    const pa_buffer_attr buffer{std::uint32_t(-1), std::uint32_t(-1), std::uint32_t(-1),
                                std::uint32_t(-1), bytes};
    const bool realtime = latency::TryRealtime();
    int error = 0;
    pa_simple* monitor = pa_simple_new(nullptr, "Ostrivane latency recorder", PA_STREAM_RECORD,
                                       argv[1], "monitor", &spec, nullptr, &buffer, &error);
    if (monitor == nullptr) {
        std::fprintf(stderr, "recorder: %s\n", pa_strerror(error));
        return 1;
    }
    latency::Report("ready", realtime ? 1 : 0);
    latency::OnsetFinder finder;
    std::vector<float> samples(perRead);
    const double nsPerSample = 1e9 / rate;
    for (;;) {
        if (pa_simple_read(monitor, samples.data(), bytes, &error) < 0) {
            std::fprintf(stderr, "recorder: %s\n", pa_strerror(error));
            return 1;
        }
        const auto stamp = double(latency::MonotonicNs());
        finder.Feed(samples.data(), perRead, stamp - double(perRead) * nsPerSample, nsPerSample);
    }
}
