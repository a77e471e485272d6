#include "platform/linux/PulseOutput.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/linux/ReadyStream.h"
#include "platform/linux/SdlOutput.h"

namespace mci {
namespace {

// Plays each clip through a stream the ready streams lend it, and gives the stream back after.
class PulseOutput final : public AudioOutput {
  public:
    explicit PulseOutput(ReadyStream& streams) : streams_(streams) {}
    ~PulseOutput() override { Close(); }

    void SetTitle(const std::string& title) override { title_ = title; }

    bool Open(const Format& format, Pull pull, Ended ended) override {
        stream_ = streams_.Lend(format, title_, std::move(pull), std::move(ended));
        return stream_ != nullptr;
    }

    void SetPaused(bool paused) override {
        if (stream_ != nullptr) {
            stream_->SetPaused(paused);
        }
    }

    void Restart() override {
        if (stream_ != nullptr) {
            stream_->Restart();
        }
    }

    void Close() override {
        if (stream_ != nullptr) {
            streams_.Return(std::move(stream_));
        }
    }

  private:
    ReadyStream& streams_;
    std::unique_ptr<PulseStream> stream_;
    std::string title_;
};

// The output OSTRIVANE_AUDIO_OUTPUT names, if it names one.
std::string_view Forced() {
    const char* forced = std::getenv("OSTRIVANE_AUDIO_OUTPUT");
    const std::string_view name = forced != nullptr ? forced : "";
    return name == "pulse" || name == "sdl" ? name : "";
}

}  // namespace

std::unique_ptr<AudioOutput> MakePulseOutput() {
    ReadyStream* streams = ReadyStream::Instance();
    return streams == nullptr ? nullptr : std::make_unique<PulseOutput>(*streams);
}

std::unique_ptr<AudioOutput> MakeOutput() {
    static const bool pulse = [] {
        if (!Forced().empty()) {
            return Forced() == "pulse";
        }
        ReadyStream* streams = ReadyStream::Instance();
        return streams != nullptr && streams->context().Connect();
    }();
    auto output = pulse ? MakePulseOutput() : nullptr;
    return output != nullptr ? std::move(output) : MakeSdlOutput();
}

void ExpectClip(std::chrono::microseconds hold) {
    if (Forced() == "sdl") {
        return;
    }
    if (ReadyStream* streams = ReadyStream::Instance()) {
        streams->Expect(hold);
    }
}

}  // namespace mci
