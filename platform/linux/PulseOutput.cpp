#include "platform/linux/PulseOutput.h"

#include <dlfcn.h>
#include <pulse/pulseaudio.h>

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
    F(pa_stream_new) F(pa_stream_set_state_callback) F(pa_stream_set_write_callback)                \
    F(pa_stream_connect_playback) F(pa_stream_get_state) F(pa_stream_begin_write) F(pa_stream_write) \
    F(pa_stream_cancel_write) F(pa_stream_writable_size) F(pa_stream_drain) F(pa_stream_cork)       \
    F(pa_stream_disconnect) F(pa_stream_unref) F(pa_operation_unref) F(pa_operation_cancel)         \
    F(pa_usec_to_bytes) F(pa_channel_map_init_extend) F(pa_sample_spec_valid)
// clang-format on

struct Pulse {
#define OSTRIVANE_DECLARE(name) decltype(&::name) name;
    OSTRIVANE_PULSE(OSTRIVANE_DECLARE)
};

// The connection every clip's stream shares, made at the first clip and made again after the
// server has gone away. Its loop runs on a thread of its own; nothing here is ever freed, since
// a stream may be closing on that thread while the program ends.
struct Server {
    Pulse pa{};
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
};

Server* TheServer() {
    static Server* const server = []() -> Server* {
        void* library = dlopen("libpulse.so.0", RTLD_NOW | RTLD_LOCAL);
        auto* s = new Server;
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

// With the loop locked: a context ready to take streams, or false when no server answers.
bool Connect(Server& s) {
    const auto& pa = s.pa;
    if (s.context != nullptr && pa.pa_context_get_state(s.context) == PA_CONTEXT_READY) {
        return true;
    }
    if (s.context != nullptr) {
        pa.pa_context_disconnect(s.context);
        pa.pa_context_unref(s.context);
    }
    s.context = pa.pa_context_new(pa.pa_threaded_mainloop_get_api(s.loop), "Ostrivane");
    pa.pa_context_set_state_callback(
        s.context, [](pa_context*, void* server) { Signal(static_cast<Server*>(server)); }, &s);
    // A server that is not running is not started for us: SDL plays then.
    if (pa.pa_context_connect(s.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        return false;
    }
    pa_context_state_t state;
    while (PA_CONTEXT_IS_GOOD(state = pa.pa_context_get_state(s.context)) &&
           state != PA_CONTEXT_READY) {
        pa.pa_threaded_mainloop_wait(s.loop);
    }
    return state == PA_CONTEXT_READY;
}

pa_sample_format_t SampleFormat(SampleType type) {
    switch (type) {
        case SampleType::S16:
            return PA_SAMPLE_S16NE;
        case SampleType::S32:
            return PA_SAMPLE_S32NE;
        case SampleType::F32:
            return PA_SAMPLE_FLOAT32NE;
    }
    return PA_SAMPLE_INVALID;
}

// The server keeps this much of the clip: the program wakes a few times a second to hand over
// more, and the clip's end comes from the server once it has played the last sample.
constexpr pa_usec_t kBuffered = 300'000;
constexpr pa_usec_t kRefill = 100'000;

class PulseOutput final : public AudioOutput {
  public:
    explicit PulseOutput(Server& server) : s_(server), pa_(server.pa) {}
    ~PulseOutput() override { Close(); }

    bool Open(const Format& format, Pull pull, Ended ended) override {
        const pa_sample_spec spec{SampleFormat(format.type),
                                  static_cast<std::uint32_t>(format.rate),
                                  static_cast<std::uint8_t>(format.channels)};
        pa_channel_map channels;
        if (!pa_.pa_sample_spec_valid(&spec) ||
            pa_.pa_channel_map_init_extend(&channels, format.channels, PA_CHANNEL_MAP_WAVEEX) ==
                nullptr) {
            return false;
        }
        const Locked lock(s_);
        if (!Connect(s_) ||
            (stream_ = pa_.pa_stream_new(s_.context, "clip", &spec, &channels)) == nullptr) {
            return false;
        }
        pull_ = std::move(pull);
        frameBytes_ = format.FrameBytes();
        ended_ = std::move(ended);
        pa_.pa_stream_set_state_callback(stream_, &OnState, this);
        pa_.pa_stream_set_write_callback(stream_, &OnWrite, this);
        const auto bytes = [&](pa_usec_t time) {
            return std::uint32_t(pa_.pa_usec_to_bytes(time, &spec));
        };
        // Playback starts once the first write fills the buffer, or at the drain of a shorter clip.
        const pa_buffer_attr buffer{std::uint32_t(-1), bytes(kBuffered), std::uint32_t(-1),
                                    bytes(kRefill), std::uint32_t(-1)};
        if (pa_.pa_stream_connect_playback(stream_, nullptr, &buffer,
                                           pa_stream_flags_t(PA_STREAM_ADJUST_LATENCY), nullptr,
                                           nullptr) < 0) {
            return false;
        }
        pa_stream_state_t state;
        while ((state = pa_.pa_stream_get_state(stream_)) == PA_STREAM_CREATING) {
            pa_.pa_threaded_mainloop_wait(s_.loop);
        }
        return state == PA_STREAM_READY;
    }

    void SetPaused(bool paused) override {
        const Locked lock(s_);
        if (stream_ == nullptr) {
            return;
        }
        paused_ = paused;
        if (pa_operation* cork = pa_.pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr)) {
            pa_.pa_operation_unref(cork);
        }
        if (!paused) {
            if (state_ == State::Drained) {
                state_ = State::Playing;  // the clip starts over
            }
            Write(pa_.pa_stream_writable_size(stream_));
        }
    }

    void Close() override {
        if (stream_ == nullptr) {
            return;
        }
        const Locked lock(s_);
        state_ = State::Closed;
        if (drain_ != nullptr) {
            pa_.pa_operation_cancel(drain_);  // its callback is not called any more
            pa_.pa_operation_unref(std::exchange(drain_, nullptr));
        }
        pa_.pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_.pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_.pa_stream_disconnect(stream_);
        pa_.pa_stream_unref(stream_);
        stream_ = nullptr;
    }

  private:
    enum class State { Playing, Draining, Drained, Closed };

    // With the loop locked: hands over what the server asks for; once the clip has no more, asks
    // to be told when the server has played it all.
    void Write(std::size_t bytes) {
        while (state_ == State::Playing && !paused_ && bytes > 0) {
            void* data = nullptr;
            std::size_t size = bytes;
            if (pa_.pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr) {
                return;
            }
            size -= size % frameBytes_;  // the clip is handed over in whole frames
            if (size == 0) {
                pa_.pa_stream_cancel_write(stream_);
                return;
            }
            const std::size_t got = pull_(static_cast<std::uint8_t*>(data), size);
            if (got > 0) {
                pa_.pa_stream_write(stream_, data, got, nullptr, 0, PA_SEEK_RELATIVE);
            } else {
                pa_.pa_stream_cancel_write(stream_);
            }
            if (got < size) {
                state_ = State::Draining;
                if ((drain_ = pa_.pa_stream_drain(stream_, &OnDrained, this)) == nullptr) {
                    Finish();  // the server is going: it will play no more
                }
            }
            bytes -= std::min(bytes, size);
        }
    }

    void Finish() {
        state_ = State::Drained;
        ended_();
    }

    static void OnWrite(pa_stream*, std::size_t bytes, void* self) {
        static_cast<PulseOutput*>(self)->Write(bytes);
    }
    static void OnDrained(pa_stream*, int, void* self) {
        auto* output = static_cast<PulseOutput*>(self);
        output->pa_.pa_operation_unref(std::exchange(output->drain_, nullptr));
        if (output->state_ == State::Draining) {
            output->Finish();
        }
    }
    // A stream the server drops (it was killed, say) can play no more of the clip: it has ended.
    static void OnState(pa_stream* stream, void* self) {
        auto* output = static_cast<PulseOutput*>(self);
        if (!PA_STREAM_IS_GOOD(output->pa_.pa_stream_get_state(stream)) &&
            (output->state_ == State::Playing || output->state_ == State::Draining)) {
            output->Finish();
        }
        Signal(&output->s_);
    }

    Server& s_;
    const Pulse& pa_;
    pa_stream* stream_ = nullptr;
    pa_operation* drain_ = nullptr;
    Pull pull_;
    std::size_t frameBytes_ = 1;
    Ended ended_;
    State state_ = State::Playing;
    bool paused_ = true;
};

}  // namespace

std::unique_ptr<AudioOutput> MakePulseOutput() {
    Server* server = TheServer();
    return server == nullptr ? nullptr : std::make_unique<PulseOutput>(*server);
}

std::unique_ptr<AudioOutput> MakeOutput() {
    static const bool pulse = [] {
        const char* forced = std::getenv("OSTRIVANE_AUDIO_OUTPUT");
        if (forced != nullptr &&
            (std::string_view(forced) == "pulse" || std::string_view(forced) == "sdl")) {
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

}  // namespace mci
