// Listens to a PipeWire sink's monitor as a native capture stream and reports the clip's onset
// and end on CLOCK_MONOTONIC. It asks for a large node.latency so that it never lowers the
// graph's quantum itself: its buffers then come a quantum at a time, so a sample's time is taken
// from the graph's clock (the cycle's start, on CLOCK_MONOTONIC, plus the sample's place in the
// cycle), not from when the callback ran.
//   ostrivane_pipewire_recorder TARGET LATENCY      (LATENCY as node.latency: 2048/48000)
// It reports "ready REALTIME" (1: it runs at real-time priority), "onset NS" and "end NS".
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <cstdio>
#include <cstring>

#include "bench/latency/Onset.h"

namespace {

constexpr std::uint32_t kRate = 48000;

struct Recorder {
    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    latency::OnsetFinder finder;
    bool started = false;
};

// On the data thread, within the graph's cycle.
void OnProcess(void* data) {
    auto& r = *static_cast<Recorder*>(data);
    pw_buffer* buffer = pw_stream_dequeue_buffer(r.stream);
    if (buffer == nullptr) {
        return;
    }
    pw_time time{};
    pw_stream_get_time_n(r.stream, &time, sizeof time);
    if (!r.started) {
        r.started = true;
        latency::Report("ready", latency::TryRealtime() ? 1 : 0);
    }
    const double nsPerSample = 1e9 * time.rate.num / time.rate.denom;
    const spa_data& d = buffer->buffer->datas[0];
    if (d.data != nullptr && time.rate.denom == kRate) {
        const auto* samples = reinterpret_cast<const float*>(
            static_cast<const std::uint8_t*>(d.data) + d.chunk->offset % d.maxsize);
        const std::size_t count = std::min(d.chunk->size, d.maxsize) / sizeof(float);
        r.finder.Feed(samples, count, double(time.now), nsPerSample);
    }
    pw_stream_queue_buffer(r.stream, buffer);
}

void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
        std::fprintf(stderr, "recorder: stream %s\n", error != nullptr ? error : "unconnected");
        pw_main_loop_quit(static_cast<Recorder*>(data)->loop);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TARGET LATENCY\n", argv[0]);
        return 2;
    }
    pw_init(&argc, &argv);
    Recorder r;
    r.loop = pw_main_loop_new(nullptr);
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
        "Production", PW_KEY_NODE_NAME, "ostrivane-latency-recorder", PW_KEY_NODE_LATENCY, argv[2],
        PW_KEY_TARGET_OBJECT, argv[1], PW_KEY_STREAM_CAPTURE_SINK, "true", nullptr);
    pw_stream_events events{};  // outlives the stream
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = OnStateChanged;
    events.process = OnProcess;
    r.stream = pw_stream_new_simple(pw_main_loop_get_loop(r.loop), "Ostrivane latency recorder",
                                    props, &events, &r);
    // Mono floats at the graph's rate: the recorder's side of the link converts nothing in time.
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = 1;
    std::uint8_t podBuffer[1024];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, podBuffer, sizeof podBuffer);
    const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    if (pw_stream_connect(r.stream, PW_DIRECTION_INPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                          PW_STREAM_FLAG_RT_PROCESS),
                          params, 1) < 0) {
        std::fprintf(stderr, "recorder: cannot connect\n");
        return 1;
    }
    pw_main_loop_run(r.loop);
    pw_stream_destroy(r.stream);
    pw_main_loop_destroy(r.loop);
    pw_deinit();
    return 1;
}
