#include "platform/linux/SdlOutput.h"

#include <SDL2/SDL.h>

#include <mutex>

namespace mci {
namespace {

// Audio is started on first use and retried on the next open after a failure, so that a sound
// server that comes back later is picked up.
bool EnsureAudio() {
    static std::mutex mutex;
    std::lock_guard lock(mutex);
    if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
        return true;
    }
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

// About 10 ms of frames, as a power of two: small enough that the end of a clip is heard and
// reported promptly, large enough not to underrun.
Uint16 BufferFrames(int frequency) {
    const int target = frequency / 100;
    Uint16 frames = 64;
    while (frames < 8192 && frames * 3 / 2 < target) {
        frames = static_cast<Uint16>(frames * 2);
    }
    return frames;
}

class SdlOutput final : public AudioOutput {
  public:
    ~SdlOutput() override { Close(); }

    bool Open(const SDL_AudioSpec& format, Pull pull) override {
        if (!EnsureAudio()) {
            return false;
        }
        pull_ = std::move(pull);
        SDL_AudioSpec wanted = format;
        wanted.samples = BufferFrames(format.freq);
        wanted.callback = &SdlOutput::Callback;
        wanted.userdata = this;
        // No allowed changes: SDL converts to whatever the hardware takes, so we always hand it
        // the clip's own samples.
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        return device_ != 0;
    }

    void SetPaused(bool paused) override {
        if (device_ != 0) {
            SDL_PauseAudioDevice(device_, paused ? 1 : 0);
        }
    }

    void Close() override {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
            device_ = 0;
        }
    }

  private:
    static void SDLCALL Callback(void* self, Uint8* stream, int bytes) {
        static_cast<SdlOutput*>(self)->pull_(stream, bytes);
    }

    SDL_AudioDeviceID device_ = 0;
    Pull pull_;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeSdlOutput() {
    return std::make_unique<SdlOutput>();
}

}  // namespace mci
