#pragma once
// The floor: the same clip played by SDL alone, with nothing of ours in between. It loads the file
// with SDL_LoadWAV, opens the default device with a given buffer size, starts it, and waits for
// the end on a condition variable.
#include <SDL2/SDL_audio.h>

#include <string>

#include "bench/Timing.h"

namespace bench {

class BarePlayer {
  public:
    BarePlayer() = default;
    ~BarePlayer();
    BarePlayer(const BarePlayer&) = delete;
    BarePlayer& operator=(const BarePlayer&) = delete;

    // Loads, opens and starts; false (with SDL's error in Error()) when any step fails.
    bool Start(const std::string& path, int bufferFrames);
    std::string Error() const { return error_; }
    // When the first buffer holding the clip was handed over, and when the device asked for more
    // after the clip's end.
    PlayTimes& Times() { return times_; }

    // Waits, at most timeout, until the default device can be opened: a driver with one device
    // (SDL's dummy) refuses it while the program's last device still closes on a thread of its own.
    static void AwaitFreeDevice(std::chrono::milliseconds timeout);

  private:
    static void SDLCALL Fill(void* self, Uint8* stream, int bytes);

    SDL_AudioDeviceID device_ = 0;
    Uint8* samples_ = nullptr;
    Uint32 length_ = 0;
    Uint32 position_ = 0;  // on the audio thread only
    Uint8 silence_ = 0;
    std::string error_;
    PlayTimes times_;
};

}  // namespace bench
