#include "bench/BarePlayer.h"

#include <SDL2/SDL.h>

#include <algorithm>
#include <cstring>
#include <thread>

namespace bench {

BarePlayer::~BarePlayer() {
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
    }
    SDL_FreeWAV(samples_);
}

bool BarePlayer::Start(const std::string& path, int bufferFrames) {
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

void BarePlayer::AwaitFreeDevice(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    SDL_AudioSpec silent{};
    silent.freq = 8000;
    silent.format = AUDIO_S16SYS;
    silent.channels = 1;
    silent.samples = 512;
    while (Clock::now() < deadline) {
        if (const SDL_AudioDeviceID probe = SDL_OpenAudioDevice(nullptr, 0, &silent, nullptr, 0)) {
            SDL_CloseAudioDevice(probe);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void SDLCALL BarePlayer::Fill(void* self, Uint8* stream, int bytes) {
    auto& player = *static_cast<BarePlayer*>(self);
    const auto asked = Clock::now();
    const Uint32 copied = std::min(static_cast<Uint32>(bytes), player.length_ - player.position_);
    std::memcpy(stream, player.samples_ + player.position_, copied);
    std::memset(stream + copied, player.silence_, static_cast<std::size_t>(bytes) - copied);
    player.position_ += copied;
    if (copied > 0) {
        player.times_.NoteBuffer(true, bytes, Clock::now());
    } else {
        player.times_.NoteEnded(asked);
    }
}

}  // namespace bench
