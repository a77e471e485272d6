#include "platform/linux/PulseOutput.h"

#include <dlfcn.h>
#include <pulse/pulseaudio.h>

#include <atomic>
#include <cstdlib>
#include <string_view>
#include <utility>

#include "platform/linux/SdlOutput.h"

namespace mci {
namespace {

// libpulse is loaded on the first clip, as SDL is: the start-up does not pay for it.
// clang-format off
#define OSTRIVANE_PULSE(F)                                                                          \
    F(pa_threaded_mainloop_new) F(pa_threaded_mainloop_start) F(pa_threaded_mainloop_lock)          \
    F(pa_threaded_mainloop_unlock) F(pa_threaded_mainloop_wait) F(pa_threaded_mainloop_signal)      \
    F(pa_threaded_mainloop_get_api) F(pa_context_new) F(pa_context_set_state_callback)              \
    F(pa_context_connect) F(pa_context_get_state) F(pa_context_disconnect) F(pa_context_unref)      \
    F(pa_context_rttime_new) F(pa_context_rttime_restart) F(pa_rtclock_now)                         \
    F(pa_stream_new) F(pa_stream_set_state_callback) F(pa_stream_set_write_callback)                \
    F(pa_stream_connect_playback) F(pa_stream_get_state) F(pa_stream_begin_write) F(pa_stream_write) \
    F(pa_stream_cancel_write) F(pa_stream_writable_size) F(pa_stream_drain) F(pa_stream_cork)       \
    F(pa_stream_flush) F(pa_stream_disconnect) F(pa_stream_unref) F(pa_operation_unref)             \
    F(pa_operation_cancel) F(pa_usec_to_bytes) F(pa_frame_size) F(pa_channel_map_init_extend)       \
    F(pa_sample_spec_valid) F(pa_sample_spec_equal)
// clang-format on

struct Pulse {
#define OSTRIVANE_DECLARE(name) decltype(&::name) name;
    OSTRIVANE_PULSE(OSTRIVANE_DECLARE)
};

// The server keeps this much of a clip, and asks for more once it has played the refill: the
// program wakes a few times a second while a clip plays. Together they ask the server for a
// latency of (300 - 2 × 140) / 2 = 10 ms, which keeps PipeWire's graph from taking its largest
// quantum, whose cycle the first samples of a clip would otherwise wait for.
constexpr pa_usec_t kBuffered = 300'000;
constexpr pa_usec_t kRefill = 140'000;

// The format of the program's own clips, which a ready stream takes until a clip has been played;
// after that, the last clip's.
constexpr pa_sample_spec kLikelyFormat{PA_SAMPLE_S16NE, 22050, 1};

struct Server;

// One stream on the server. A clip plays through it while a PulseOutput holds it; between clips
// it stays connected, uncorked and empty while a click is likely, so that the next clip of its
// format starts at once: on PipeWire a new stream is a graph node to be made, linked and
// negotiated before its first sample, tens of milliseconds that a click would wait.
struct Stream {
    enum class State { Idle, Playing, Draining, Drained };

    Server& s;
    pa_stream* stream = nullptr;
    pa_sample_spec spec{};
    State state = State::Idle;
    bool paused = true;
    pa_operation* drain = nullptr;
    AudioOutput::Pull pull;  // the clip's, while one plays through the stream
    AudioOutput::Ended ended;
};

// The connection every stream shares, made at the first clip (or when a click becomes likely) and
// made again after the server has gone away; the ready stream, if any; the timer that lets it go.
// Its loop runs on a thread of its own. Nothing here is ever freed, since a stream may be closing
// on that thread while the program ends.
struct Server {
    Pulse pa{};
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    Stream* ready = nullptr;
    int playing = 0;  // streams a clip holds, each of which comes back ready after it
    pa_time_event* cooling = nullptr;
    pa_usec_t hold = 0;       // how long a click stays likely
    pa_usec_t warmUntil = 0;  // on the server's monotonic clock
};

Server* TheServer() {
    static Server* const server = []() -> Server* {
        void* library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        auto* s = new Server;
        s->hold = static_cast<pa_usec_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(kClickLikely).count());
#define OSTRIVANE_RESOLVE(name) \
    &&(s->pa.name = reinterpret_cast<decltype(s->pa.name)>(dlsym(library, #name)))
        if (!(library != nullptr OSTRIVANE_PULSE(OSTRIVANE_RESOLVE)) ||
            (s->loop = s->pa.pa_threaded_mainloop_new()) == nullptr ||
            s->pa.pa_threaded_mainloop_start(s->loop) < 0) {
            return nullptr;
        }
        return s;
    }();
    return server;
}

void Signal(Server* s) {
    s->pa.pa_threaded_mainloop_signal(s->loop, 0);
}

class Locked {
  public:
    explicit Locked(Server& s) : s_(s) { s.pa.pa_threaded_mainloop_lock(s.loop); }
    ~Locked() { s_.pa.pa_threaded_mainloop_unlock(s_.loop); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;

  private:
    Server& s_;
};

void Warm(Server& s);

// With the loop locked: starts connecting unless a connection is made or under way. False when
// no server can be asked.
bool BeginConnect(Server& s) {
    const auto& pa = s.pa;
    if (s.context != nullptr && PA_CONTEXT_IS_GOOD(pa.pa_context_get_state(s.context))) {
        return true;
    }
    if (s.context != nullptr) {
        pa.pa_context_disconnect(s.context);
        pa.pa_context_unref(s.context);
    }
    s.context = pa.pa_context_new(pa.pa_threaded_mainloop_get_api(s.loop), "Ostrivane");
    pa.pa_context_set_state_callback(
        s.context,
        [](pa_context* context, void* server) {
            auto* s = static_cast<Server*>(server);
            if (s->pa.pa_context_get_state(context) == PA_CONTEXT_READY) {
                Warm(*s);  // a click became likely while the connection was being made
            }
            Signal(s);
        },
        &s);
    // A server that is not running is not started for us: SDL plays then.
    return pa.pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

// With the loop locked: a context ready to take streams, or false when no server answers.
bool Connect(Server& s) {
    if (!BeginConnect(s)) {
        return false;
    }
    pa_context_state_t state;
    while (PA_CONTEXT_IS_GOOD(state = s.pa.pa_context_get_state(s.context)) &&
           state != PA_CONTEXT_READY) {
        s.pa.pa_threaded_mainloop_wait(s.loop);
    }
    return state == PA_CONTEXT_READY;
}

void Destroy(Stream* stream) {
    const auto& pa = stream->s.pa;
    if (stream->drain != nullptr) {
        pa.pa_operation_cancel(stream->drain);  // its callback is not called any more
        pa.pa_operation_unref(stream->drain);
    }
    pa.pa_stream_set_state_callback(stream->stream, nullptr, nullptr);
    pa.pa_stream_set_write_callback(stream->stream, nullptr, nullptr);
    pa.pa_stream_disconnect(stream->stream);
    pa.pa_stream_unref(stream->stream);
    delete stream;
}

void Finish(Stream& stream) {
    stream.state = Stream::State::Drained;
    stream.ended();
}

// With the loop locked: hands over what the server asks for; once the clip has no more, asks to be
// told when the server has played it all.
void Write(Stream& stream, std::size_t bytes) {
    const auto& pa = stream.s.pa;
    const std::size_t frame = pa.pa_frame_size(&stream.spec);
    while (stream.state == Stream::State::Playing && !stream.paused && bytes > 0) {
        void* data = nullptr;
        std::size_t size = bytes;
        if (pa.pa_stream_begin_write(stream.stream, &data, &size) < 0 || data == nullptr) {
            return;
        }
        size -= size % frame;  // the clip is handed over in whole frames
        if (size == 0) {
            pa.pa_stream_cancel_write(stream.stream);
            return;
        }
        const std::size_t got = stream.pull(static_cast<std::uint8_t*>(data), size);
        if (got > 0) {
            pa.pa_stream_write(stream.stream, data, got, nullptr, 0, PA_SEEK_RELATIVE);
        } else {
            pa.pa_stream_cancel_write(stream.stream);
        }
        if (got < size) {
            stream.state = Stream::State::Draining;
            stream.drain = pa.pa_stream_drain(
                stream.stream,
                [](pa_stream*, int, void* self) {
                    auto* drained = static_cast<Stream*>(self);
                    drained->s.pa.pa_operation_unref(std::exchange(drained->drain, nullptr));
                    if (drained->state == Stream::State::Draining) {
                        Finish(*drained);
                    }
                },
                &stream);
            if (stream.drain == nullptr) {
                Finish(stream);  // the server is going: it will play no more
            }
        }
        bytes -= std::min(bytes, size);
    }
}

// With the loop locked: a new stream of this format, connecting. Null when the server refuses it.
Stream* Create(Server& s, const pa_sample_spec& spec) {
    const auto& pa = s.pa;
    pa_channel_map channels;
    if (!pa.pa_sample_spec_valid(&spec) ||
        pa.pa_channel_map_init_extend(&channels, spec.channels, PA_CHANNEL_MAP_WAVEEX) == nullptr) {
        return nullptr;
    }
    pa_stream* created = pa.pa_stream_new(s.context, "clip", &spec, &channels);
    if (created == nullptr) {
        return nullptr;
    }
    auto* stream = new Stream{.s = s, .stream = created, .spec = spec, .pull = {}, .ended = {}};
    pa.pa_stream_set_state_callback(
        created,
        [](pa_stream* p, void* self) {
            auto* stream = static_cast<Stream*>(self);
            Server& s = stream->s;
            // A stream the server drops (it was killed, say) can play no more of the clip: it has
            // ended. A ready one is let go.
            if (!PA_STREAM_IS_GOOD(s.pa.pa_stream_get_state(p))) {
                if (stream == s.ready) {
                    s.ready = nullptr;
                    Destroy(stream);
                } else if (stream->state == Stream::State::Playing ||
                           stream->state == Stream::State::Draining) {
                    Finish(*stream);
                }
            }
            Signal(&s);
        },
        stream);
    pa.pa_stream_set_write_callback(
        created,
        [](pa_stream*, std::size_t bytes, void* self) {
            Write(*static_cast<Stream*>(self), bytes);
        },
        stream);
    const auto bytes = [&](pa_usec_t time) {
        return static_cast<std::uint32_t>(pa.pa_usec_to_bytes(time, &spec));
    };
    // Playback starts with the first frame written: a clip is always handed over a large piece at
    // a time, and must not wait for the buffer to fill, which a short clip never does.
    const pa_buffer_attr buffer{std::uint32_t(-1), bytes(kBuffered),
                                static_cast<std::uint32_t>(pa.pa_frame_size(&spec)), bytes(kRefill),
                                std::uint32_t(-1)};
    if (pa.pa_stream_connect_playback(created, nullptr, &buffer,
                                      pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY), nullptr,
                                      nullptr) < 0) {
        Destroy(stream);
        return nullptr;
    }
    return stream;
}

// With the loop locked: lets the ready stream go once no click has been likely for a while, so
// that no stream of ours holds the server's graph while the program sits unused.
void Cool(pa_mainloop_api* api, pa_time_event* event, const struct timeval*, void* server) {
    auto& s = *static_cast<Server*>(server);
    api->time_free(event);
    s.cooling = nullptr;
    if (s.ready != nullptr) {
        Destroy(std::exchange(s.ready, nullptr));
    }
}

// With the loop locked: a click is likely for the hold from now. Makes a stream ready once the
// connection is, and the timer that will let it go.
void Warm(Server& s) {
    s.warmUntil = s.pa.pa_rtclock_now() + s.hold;
    if (s.context == nullptr || s.pa.pa_context_get_state(s.context) != PA_CONTEXT_READY) {
        return;
    }
    if (s.ready == nullptr && s.playing == 0) {
        s.ready = Create(s, kLikelyFormat);
    }
    if (s.cooling == nullptr) {
        s.cooling = s.pa.pa_context_rttime_new(s.context, s.warmUntil, &Cool, &s);
    } else {
        s.pa.pa_context_rttime_restart(s.context, s.cooling, s.warmUntil);
    }
}

class PulseOutput final : public AudioOutput {
  public:
    explicit PulseOutput(Server& server) : s_(server), pa_(server.pa) {}
    ~PulseOutput() override { Close(); }

    bool Open(const Format& format, Pull pull, Ended ended) override {
        static constexpr pa_sample_format_t kSampleFormats[] = {PA_SAMPLE_S16NE, PA_SAMPLE_S32NE,
                                                                PA_SAMPLE_FLOAT32NE};
        const pa_sample_spec spec{kSampleFormats[static_cast<int>(format.type)],
                                  static_cast<std::uint32_t>(format.rate),
                                  static_cast<std::uint8_t>(format.channels)};
        const Locked lock(s_);
        if (!Connect(s_)) {
            return false;
        }
        if (s_.ready != nullptr && pa_.pa_sample_spec_equal(&s_.ready->spec, &spec)) {
            stream_ = std::exchange(s_.ready, nullptr);
        } else if ((stream_ = Create(s_, spec)) == nullptr) {
            return false;
        }
        pa_stream_state_t state;
        while ((state = pa_.pa_stream_get_state(stream_->stream)) == PA_STREAM_CREATING) {
            pa_.pa_threaded_mainloop_wait(s_.loop);
        }
        if (state != PA_STREAM_READY) {
            Destroy(std::exchange(stream_, nullptr));
            return false;
        }
        ++s_.playing;
        stream_->pull = std::move(pull);
        stream_->ended = std::move(ended);
        stream_->state = Stream::State::Playing;
        stream_->paused = true;
        return true;
    }

    void SetPaused(bool paused) override {
        const Locked lock(s_);
        if (stream_ == nullptr) {
            return;
        }
        stream_->paused = paused;
        Cork(paused);
        if (!paused) {
            if (stream_->state == Stream::State::Drained) {
                stream_->state = Stream::State::Playing;  // the clip starts over
            }
            Write(*stream_, pa_.pa_stream_writable_size(stream_->stream));
        }
    }

    // The stream stays, ready for the next clip, unless the server has dropped it.
    void Close() override {
        if (stream_ == nullptr) {
            return;
        }
        const Locked lock(s_);
        --s_.playing;
        Stream* stream = std::exchange(stream_, nullptr);
        if (stream->drain != nullptr) {
            pa_.pa_operation_cancel(stream->drain);
            pa_.pa_operation_unref(std::exchange(stream->drain, nullptr));
        }
        stream->pull = nullptr;
        stream->ended = nullptr;
        const bool cut = stream->state != Stream::State::Drained;
        stream->state = Stream::State::Idle;
        if (pa_.pa_stream_get_state(stream->stream) != PA_STREAM_READY) {
            Destroy(stream);
            return;
        }
        if (cut) {  // what the server still holds of a clip stopped short is not heard
            Operate(pa_.pa_stream_flush(stream->stream, nullptr, nullptr));
        }
        if (stream->paused) {
            Operate(pa_.pa_stream_cork(stream->stream, 0, nullptr, nullptr));
        }
        if (s_.ready != nullptr) {
            Destroy(s_.ready);
        }
        s_.ready = stream;
        Warm(s_);
    }

  private:
    void Operate(pa_operation* operation) {
        if (operation != nullptr) {
            pa_.pa_operation_unref(operation);
        }
    }
    void Cork(bool corked) {
        Operate(pa_.pa_stream_cork(stream_->stream, corked ? 1 : 0, nullptr, nullptr));
    }

    Server& s_;
    const Pulse& pa_;
    Stream* stream_ = nullptr;
};

const char* Forced() {
    const char* forced = std::getenv("OSTRIVANE_AUDIO_OUTPUT");
    return forced != nullptr &&
                   (std::string_view(forced) == "pulse" || std::string_view(forced) == "sdl")
               ? forced
               : nullptr;
}

}  // namespace

std::unique_ptr<AudioOutput> MakePulseOutput() {
    Server* server = TheServer();
    return server == nullptr ? nullptr : std::make_unique<PulseOutput>(*server);
}

std::unique_ptr<AudioOutput> MakeOutput() {
    static const bool pulse = [] {
        if (const char* forced = Forced()) {
            return std::string_view(forced) == "pulse";
        }
        Server* server = TheServer();
        if (server == nullptr) {
            return false;
        }
        const Locked lock(*server);
        return Connect(*server);
    }();
    auto output = pulse ? MakePulseOutput() : nullptr;
    return output != nullptr ? std::move(output) : MakeSdlOutput();
}

void ExpectClip(std::chrono::microseconds hold) {
    const char* forced = Forced();
    if (forced != nullptr && std::string_view(forced) == "sdl") {
        return;
    }
    if (Server* server = TheServer()) {
        const Locked lock(*server);
        server->hold = static_cast<pa_usec_t>(hold.count());
        if (BeginConnect(*server)) {
            Warm(*server);
        }
    }
}

}  // namespace mci
