#include "platform/linux/ReadyStream.h"

#include <utility>

namespace mci {
namespace {

// The format of the program's own clips, which a new ready stream takes; after a clip, the stream
// it gave back stays ready, in that clip's format.
Format LikelyFormat() {
    return {.rate = 22050, .channels = 1, .type = SampleType::S16, .positions = {}};
}
// What a mixer shows of a ready stream until a clip plays through it.
constexpr char kReadyTitle[] = "clip";

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

std::unique_ptr<PulseStream> ReadyStream::Lend(const Format& format, const std::string& title,
                                               AudioOutput::Pull pull, AudioOutput::Ended ended) {
    const PulseContext::Lock lock(context_);
    if (!context_.Connect()) {
        return nullptr;
    }
    std::unique_ptr<PulseStream> stream;
    const bool ready = ready_ != nullptr && ready_->format() == format;
    if (ready) {
        stream = std::exchange(ready_, nullptr);
    } else {
        stream = PulseStream::Create(context_, format, title);
    }
    if (stream == nullptr || !stream->AwaitReady()) {
        return nullptr;
    }
    if (ready) {
        stream->Rename(title);
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
        ready_ = PulseStream::Create(context_, LikelyFormat(), kReadyTitle);
    }
    if (const auto at = policy_.CoolAt()) {
        cooling_.Arm(*at);
    } else {
        cooling_.Cancel();
    }
}

}  // namespace mci
