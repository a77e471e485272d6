#include "platform/linux/ReadyStream.h"

#include <utility>

namespace mci {
namespace {

// The format of the program's own clips, which a new ready stream takes; after a clip, the stream
// it gave back stays ready, in that clip's format.
constexpr Format kLikelyFormat{22050, 1, SampleType::S16};

}  // namespace

ReadyStream* ReadyStream::Instance() {
    static ReadyStream* const streams = []() -> ReadyStream* {
        PulseContext* context = PulseContext::Instance();
        return context != nullptr ? new ReadyStream(*context) : nullptr;
    }();
    return streams;
}

ReadyStream::ReadyStream(PulseContext& context)
    : context_(context),
      policy_(std::chrono::steady_clock::now, kClickLikely),
      cooling_(context, [this] {
          policy_.Cool();
          Apply();
      }) {
    context_.OnChange([this] { Apply(); });
}

void ReadyStream::Expect(std::chrono::microseconds hold) {
    const PulseContext::Lock lock(context_);
    policy_.Hint(hold);
    if (context_.BeginConnect()) {
        Apply();
    }
}

std::unique_ptr<PulseStream> ReadyStream::Lend(const Format& format, AudioOutput::Pull pull,
                                               AudioOutput::Ended ended) {
    const PulseContext::Lock lock(context_);
    if (!context_.Connect()) {
        return nullptr;
    }
    std::unique_ptr<PulseStream> stream;
    if (ready_ != nullptr && ready_->format() == format) {
        stream = std::exchange(ready_, nullptr);
    } else {
        stream = PulseStream::Create(context_, format);
    }
    if (stream == nullptr || !stream->AwaitReady()) {
        return nullptr;
    }
    stream->Attach(std::move(pull), std::move(ended));
    policy_.Lend();
    Apply();
    return stream;
}

void ReadyStream::Return(std::unique_ptr<PulseStream> stream) {
    const PulseContext::Lock lock(context_);
    stream->Detach();
    ready_ = std::move(stream);
    policy_.Return();
    Apply();
}

void ReadyStream::Apply() {
    policy_.Connected(context_.Connected());
    if (ready_ != nullptr && (ready_->Dropped() || !policy_.KeepsReadyStream())) {
        ready_.reset();
    }
    if (ready_ == nullptr && policy_.MakesReadyStream()) {
        ready_ = PulseStream::Create(context_, kLikelyFormat);
    }
    if (const auto at = policy_.CoolAt()) {
        cooling_.Arm(*at);
    } else {
        cooling_.Cancel();
    }
}

}  // namespace mci
