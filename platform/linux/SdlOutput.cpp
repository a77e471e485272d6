#include "platform/linux/SdlOutput.h"

#include "platform/linux/Sdl.h"
#include "platform/linux/SdlChannelMix.h"

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace mci {
namespace {

// ALSA reports a missing sound card on stderr, a dozen lines per attempt, into the terminal of
// whoever started the program; the failure itself reaches us through SDL. SDL loads the same
// shared libasound, so a silent handler installed here quiets it for SDL too.
extern "C" void SilentAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/,
                                int /*error*/, const char* /*format*/, ...) {}

void QuietAlsa() {
    using SetHandler = int (*)(void (*)(const char*, int, const char*, int, const char*, ...));
    if (void* alsa = dlopen("libasound.so.2", RTLD_LAZY | RTLD_LOCAL)) {
        if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) {
            set(&SilentAlsaError);
        }
        // The handle stays open: the handler must outlive every use of the library.
    }
}

// Audio is started on first use and retried on the next open after a failure, so that a sound
// server that comes back later is picked up.
const Sdl* EnsureAudio() {
    const Sdl* sdl = LoadSdl();
    if (sdl == nullptr) {
        return nullptr;
    }
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    if (sdl->WasInit(SDL_INIT_AUDIO) != 0) {
        return sdl;
    }
    static std::once_flag quiet;
    std::call_once(quiet, QuietAlsa);
    // Audio brings up SDL's event subsystem, which would take SIGINT and SIGTERM for a quit event
    // that nobody reads: the program must still end when it is told to.
    sdl->SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return sdl->InitSubSystem(SDL_INIT_AUDIO) == 0 ? sdl : nullptr;
}

}  // namespace

// The shortest whole number of milliseconds from 10 up that is a whole number of frames: small
// enough that the end of a clip is reported promptly, and exact for drivers that pace themselves
// in whole milliseconds (SDL's disk writer), so that they keep real time.
std::uint16_t BufferFrames(int frequency) {
    std::int64_t frames = std::int64_t{frequency} / 100;
    for (std::int64_t ms = 10; ms <= 40; ++ms) {
        if (frequency * ms % 1000 == 0) {
            frames = frequency * ms / 1000;
            break;
        }
    }
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(frames, 64, 16384));
}

namespace {

// Devices still being closed on threads of their own. Drivers with a single output device (SDL's
// dummy driver among them) refuse to open another until the last one is closed, so a clip clicked
// right after another ended would be silent. Never destroyed: a closing thread may outlive
// everything else.
class PendingCloses {
  public:
    static PendingCloses& Instance() {
        static auto* const instance = new PendingCloses;
        return *instance;
    }
    void Begin() {
        std::lock_guard lock(mutex_);
        ++count_;
    }
    void End() {
        std::lock_guard lock(mutex_);
        --count_;
        done_.notify_all();
    }
    // True when some were pending and all are closed now.
    bool AwaitAll(std::chrono::milliseconds bound) {
        std::unique_lock lock(mutex_);
        return count_ > 0 && done_.wait_for(lock, bound, [this] { return count_ == 0; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    int count_ = 0;
};

// Long enough for SDL to drain two buffers of any rate a clip is likely to have.
constexpr std::chrono::milliseconds kCloseWait{500};

class SdlOutput final : public AudioOutput {
  public:
    ~SdlOutput() override { Close(); }

    bool Open(const Format& format, Pull pull, Ended ended) override {
        sdl_ = EnsureAudio();
        if (sdl_ == nullptr) {
            return false;
        }
        pull_ = std::move(pull);
        ended_ = std::move(ended);
        SDL_AudioSpec wanted{};
        wanted.freq = format.rate;
        wanted.format = format.type == SampleType::S16   ? AUDIO_S16SYS
                        : format.type == SampleType::S32 ? AUDIO_S32SYS
                                                         : AUDIO_F32SYS;
        mix_.emplace(format.ChannelPositions());
        type_ = format.type;
        clipFrame_ = format.FrameBytes();
        deviceFrame_ = clipFrame_ / static_cast<std::size_t>(format.channels) *
                       static_cast<std::size_t>(mix_->Channels());
        wanted.channels = static_cast<Uint8>(mix_->Channels());
        wanted.samples = BufferFrames(format.rate);
        wanted.callback = &SdlOutput::Callback;
        wanted.userdata = this;
        // No allowed changes: SDL converts to whatever the hardware takes, so we always hand it
        // the clip's own samples.
        device_ = sdl_->OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (device_ == 0 && PendingCloses::Instance().AwaitAll(kCloseWait)) {
            device_ = sdl_->OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        }
        return device_ != 0;
    }

    void SetPaused(bool paused) override {
        if (device_ != 0) {
            sdl_->PauseAudioDevice(device_, paused ? 1 : 0);
        }
    }

    // SDL keeps asking for samples after a clip's end: the rewound clip is in the next buffer.
    void Restart() override { SetPaused(false); }

    void Close() override {
        if (device_ == 0) {
            return;
        }
        // Pausing takes the device lock: once it returns the callback is not running and will not
        // run again. SDL's close then lets the device drain for two buffers and joins its thread,
        // some 50 ms in which the caller need not wait, so it happens on a thread of its own.
        sdl_->PauseAudioDevice(device_, 1);
        PendingCloses::Instance().Begin();
        std::thread([close = sdl_->CloseAudioDevice, device = device_] {
            close(device);
            PendingCloses::Instance().End();
        }).detach();
        device_ = 0;
    }

  private:
    // SDL asks for the next buffer once it has consumed the last one: when that gets nothing of
    // the clip, past its end, the clip's end has been played. A late read only leaves a gap.
    static void SDLCALL Callback(void* self, Uint8* stream, int bytes) {
        auto* output = static_cast<SdlOutput*>(self);
        const Pulled pulled = output->Fill(stream, static_cast<std::size_t>(bytes));
        if (pulled.end && pulled.bytes == 0) {
            output->ended_();
        }
    }

    // The clip's frames, mixed into the device's channels where they differ.
    Pulled Fill(Uint8* stream, std::size_t bytes) {
        if (!mix_->Mixes()) {
            return pull_(stream, bytes);
        }
        const std::size_t frames = bytes / deviceFrame_;
        clip_.resize(frames * clipFrame_);  // once: SDL asks for the same size every time
        const Pulled pulled = pull_(clip_.data(), clip_.size());
        mix_->Apply(type_, clip_.data(), stream, frames);
        return {.bytes = pulled.bytes / clipFrame_ * deviceFrame_, .end = pulled.end};
    }

    const Sdl* sdl_ = nullptr;
    SDL_AudioDeviceID device_ = 0;
    Pull pull_;
    Ended ended_;
    std::optional<SdlChannelMix> mix_;
    SampleType type_ = SampleType::S16;
    std::size_t clipFrame_ = 0;
    std::size_t deviceFrame_ = 0;
    std::vector<std::uint8_t> clip_;  // the clip's frames before they are mixed
};

}  // namespace

std::unique_ptr<AudioOutput> MakeSdlOutput() {
    return std::make_unique<SdlOutput>();
}

}  // namespace mci
