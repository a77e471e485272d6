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
};

// The library's functions, or null when it cannot be loaded (then SDL plays nothing).
const Sdl* LoadSdl();

}  // namespace mci
