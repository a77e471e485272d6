#pragma once
// The floor: the same clip played by SDL alone, with nothing of ours in between. It loads the file
// with SDL_LoadWAV, opens the default device with a given buffer size, starts it, and waits for
// the end on a condition variable.
#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "bench/Timing.h"

namespace bench {

class BarePlayer {
  public:
    BarePlayer() = default;
    ~BarePlayer() {
        if (device_ != 0) {
            SDL_CloseAudioDevice(device_);
        }
        SDL_FreeWAV(samples_);
    }
    BarePlayer(const BarePlayer&) = delete;
    BarePlayer& operator=(const BarePlayer&) = delete;

    // Loads, opens and starts; false (with SDL's error in Error()) when any step fails.
    bool Start(const std::string& path, int bufferFrames) {
        SDL_AudioSpec wanted{};
        if (SDL_LoadWAV(path.c_str(), &wanted, &samples_, &length_) == nullptr) {
            error_ = SDL_GetError();
            return false;
        }
        silence_ = wanted.format == AUDIO_U8 ? 0x80 : 0;
        wanted.samples = static_cast<Uint16>(bufferFrames);
        wanted.callback = &BarePlayer::Fill;
        wanted.userdata = this;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, nullptr, 0);
        if (device_ == 0) {
            error_ = SDL_GetError();
            return false;
        }
        SDL_PauseAudioDevice(device_, 0);
        return true;
    }
    std::string Error() const { return error_; }

    // When the first buffer holding the clip was handed over, and when the device asked for more
    // after the clip's end.
    PlayTimes& Times() { return times_; }

    // Waits, at most timeout, until the default device can be opened: a driver with one device
    // (SDL's dummy) refuses it while the program's last device still closes on a thread of its own.
    static void AwaitFreeDevice(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        SDL_AudioSpec silent{};
        silent.freq = 8000;
        silent.format = AUDIO_S16SYS;
        silent.channels = 1;
        silent.samples = 512;
        while (Clock::now() < deadline) {
            if (const auto probe = SDL_OpenAudioDevice(nullptr, 0, &silent, nullptr, 0)) {
                SDL_CloseAudioDevice(probe);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

  private:
    static void SDLCALL Fill(void* self, Uint8* stream, int bytes) {
        auto& player = *static_cast<BarePlayer*>(self);
        const auto asked = Clock::now();
        const Uint32 left = player.length_ - player.position_;
        const Uint32 copied = std::min(static_cast<Uint32>(bytes), left);
        std::memcpy(stream, player.samples_ + player.position_, copied);
        std::memset(stream + copied, player.silence_, static_cast<std::size_t>(bytes) - copied);
        player.position_ += copied;
        if (copied > 0) {
            player.times_.NoteSound(Clock::now());
        } else {
            player.times_.NoteEnded(asked);
        }
    }

    SDL_AudioDeviceID device_ = 0;
    Uint8* samples_ = nullptr;
    Uint32 length_ = 0;
    Uint32 position_ = 0;  // on the audio thread only
    Uint8 silence_ = 0;
    std::string error_;
    PlayTimes times_;
};

}  // namespace bench
