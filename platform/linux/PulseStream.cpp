#include "platform/linux/PulseStream.h"

#include "platform/linux/PulseChannelMap.h"

#include <algorithm>
#include <utility>

namespace mci {
namespace {

// The server keeps this much of a clip, and asks for more once it has played the refill: the
// program wakes a few times a second while a clip plays. Together they ask the server for a
// latency of (300 - 2 × 140) / 2 = 10 ms, which keeps PipeWire's graph from taking its largest
// quantum, whose cycle the first samples of a clip would otherwise wait for.
constexpr pa_usec_t kBuffered = 300'000;
constexpr pa_usec_t kRefill = 140'000;
// How soon a stream asks again for samples that were late.
constexpr std::chrono::milliseconds kRetry{20};

pa_sample_spec SpecOf(const Format& format) {
    static constexpr pa_sample_format_t kSampleFormats[] = {PA_SAMPLE_S16NE, PA_SAMPLE_S32NE,
                                                            PA_SAMPLE_FLOAT32NE};
    return {kSampleFormats[static_cast<int>(format.type)], static_cast<std::uint32_t>(format.rate),
            static_cast<std::uint8_t>(format.channels)};
}

}  // namespace

std::unique_ptr<PulseStream> PulseStream::Create(PulseContext& context, const Format& format,
                                                 const std::string& title) {
    const PulseContext::Lock lock(context);
    const auto& pa = context.pa();
    const pa_sample_spec spec = SpecOf(format);
    pa_channel_map channels;
    if (pa.pa_sample_spec_valid(&spec) == 0 ||
        !PulseChannelMap(format.ChannelPositions(), channels)) {
        return nullptr;
    }
    pa_stream* created = pa.pa_stream_new(context.get(), title.c_str(), &spec, &channels);
    if (created == nullptr) {
        return nullptr;
    }
    std::unique_ptr<PulseStream> stream(new PulseStream(context, created, format));
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
        return nullptr;
    }
    return stream;
}

PulseStream::PulseStream(PulseContext& context, pa_stream* stream, const Format& format)
    : context_(context),
      pa_(context.pa()),
      stream_(stream),
      format_(format),
      retry_(context, [this] { Write(pa_.pa_stream_writable_size(stream_)); }) {
    pa_.pa_stream_set_state_callback(stream_, &StateChanged, this);
    pa_.pa_stream_set_write_callback(
        stream_,
        [](pa_stream*, std::size_t bytes, void* self) {
            static_cast<PulseStream*>(self)->Write(bytes);
        },
        this);
}

PulseStream::~PulseStream() {
    const PulseContext::Lock lock(context_);
    CancelDrain();
    retry_.Cancel();
    pa_.pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_.pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_.pa_stream_disconnect(stream_);
    pa_.pa_stream_unref(stream_);
}

bool PulseStream::AwaitReady() {
    const PulseContext::Lock lock(context_);
    pa_stream_state_t state;
    while ((state = pa_.pa_stream_get_state(stream_)) == PA_STREAM_CREATING) {
        context_.Wait();
    }
    return state == PA_STREAM_READY;
}

bool PulseStream::Dropped() const {
    const PulseContext::Lock lock(context_);
    return !PA_STREAM_IS_GOOD(pa_.pa_stream_get_state(stream_));
}

void PulseStream::Rename(const std::string& title) {
    const PulseContext::Lock lock(context_);
    pa_proplist* properties = pa_.pa_proplist_new();
    pa_.pa_proplist_sets(properties, PA_PROP_MEDIA_NAME, title.c_str());
    Operate(
        pa_.pa_stream_proplist_update(stream_, PA_UPDATE_REPLACE, properties, nullptr, nullptr));
    pa_.pa_proplist_free(properties);
}

void PulseStream::Attach(AudioOutput::Pull pull, AudioOutput::Ended ended) {
    const PulseContext::Lock lock(context_);
    pull_ = std::move(pull);
    ended_ = std::move(ended);
    state_ = State::Playing;
    paused_ = true;
}

void PulseStream::SetPaused(bool paused) {
    const PulseContext::Lock lock(context_);
    paused_ = paused;
    Operate(pa_.pa_stream_cork(stream_, paused ? 1 : 0, nullptr, nullptr));
    if (!paused) {
        Write(pa_.pa_stream_writable_size(stream_));
    }
}

void PulseStream::Restart() {
    const PulseContext::Lock lock(context_);
    CancelDrain();
    if (state_ != State::Idle) {
        state_ = State::Playing;
    }
    SetPaused(false);
}

void PulseStream::Detach() {
    const PulseContext::Lock lock(context_);
    CancelDrain();
    retry_.Cancel();
    pull_ = nullptr;
    ended_ = nullptr;
    const bool cut = state_ != State::Drained;
    state_ = State::Idle;
    if (pa_.pa_stream_get_state(stream_) != PA_STREAM_READY) {
        return;
    }
    if (cut) {
        Operate(pa_.pa_stream_flush(stream_, nullptr, nullptr));
    }
    if (paused_) {  // ready streams play on, empty: the next clip's first samples are heard at once
        Operate(pa_.pa_stream_cork(stream_, 0, nullptr, nullptr));
        paused_ = false;
    }
}

// Hands over what the server asks for. Samples that are late are asked for again soon; once the
// clip has no more, the server is asked to say when it has played it all.
void PulseStream::Write(std::size_t bytes) {
    const std::size_t frame = format_.FrameBytes();
    while (state_ == State::Playing && !paused_ && bytes > 0) {
        void* data = nullptr;
        std::size_t size = bytes;
        if (pa_.pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr) {
            return;
        }
        size -= size % frame;  // the clip is handed over in whole frames
        if (size == 0) {
            pa_.pa_stream_cancel_write(stream_);
            return;
        }
        const AudioOutput::Pulled got = pull_(static_cast<std::uint8_t*>(data), size);
        if (got.bytes > 0) {
            pa_.pa_stream_write(stream_, data, got.bytes, nullptr, 0, PA_SEEK_RELATIVE);
        } else {
            pa_.pa_stream_cancel_write(stream_);
        }
        if (got.end) {
            Drain();
        } else if (got.bytes < size) {
            retry_.Arm(std::chrono::steady_clock::now() + kRetry);
            return;
        }
        bytes -= std::min(bytes, size);
    }
}

void PulseStream::Drain() {
    state_ = State::Draining;
    drain_ = pa_.pa_stream_drain(
        stream_,
        [](pa_stream*, int, void* self) {
            auto& drained = *static_cast<PulseStream*>(self);
            drained.pa_.pa_operation_unref(std::exchange(drained.drain_, nullptr));
            if (drained.state_ == State::Draining) {
                drained.Finish();
            }
        },
        this);
    if (drain_ == nullptr) {
        Finish();  // the server is going: it will play no more
    }
}

void PulseStream::CancelDrain() {
    if (drain_ != nullptr) {
        pa_.pa_operation_cancel(drain_);  // its callback is not called any more
        pa_.pa_operation_unref(std::exchange(drain_, nullptr));
    }
}

void PulseStream::Finish() {
    state_ = State::Drained;
    ended_();
}

void PulseStream::Operate(pa_operation* operation) const {
    if (operation != nullptr) {
        pa_.pa_operation_unref(operation);
    }
}

// A stream the server drops can play no more of its clip: the clip has ended.
void PulseStream::StateChanged(pa_stream* stream, void* self) {
    auto& s = *static_cast<PulseStream*>(self);
    if (!PA_STREAM_IS_GOOD(s.pa_.pa_stream_get_state(stream)) &&
        (s.state_ == State::Playing || s.state_ == State::Draining)) {
        s.Finish();
    }
    s.context_.Signal();
}

}  // namespace mci
