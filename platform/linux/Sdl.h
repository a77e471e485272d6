#pragma once
// SDL, loaded on first use rather than with the program: Debian's libSDL2 brings some thirty
// further libraries (sound servers, codecs, Wayland) whose loading the start-up would pay for
// before any clip is clicked.
#include <SDL2/SDL.h>

namespace mci {

struct Sdl {
    decltype(&SDL_WasInit) WasInit;
    decltype(&SDL_InitSubSystem) InitSubSystem;
    decltype(&SDL_SetHint) SetHint;
    decltype(&SDL_OpenAudioDevice) OpenAudioDevice;
    decltype(&SDL_PauseAudioDevice) PauseAudioDevice;
    decltype(&SDL_CloseAudioDevice) CloseAudioDevice;
    decltype(&SDL_RWFromConstMem) RWFromConstMem;
    decltype(&SDL_LoadWAV_RW) LoadWAV_RW;
    decltype(&SDL_FreeWAV) FreeWAV;
};

// The library's functions, or null when it cannot be loaded (then there is no audio at all).
const Sdl* LoadSdl();

}  // namespace mci
