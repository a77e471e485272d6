#include "platform/linux/Sdl.h"

#include <cstdio>

#include "platform/linux/LoadFunctions.h"

namespace mci {
namespace {

constexpr const char* kLibrary = "libSDL2-2.0.so.0";

const Sdl* Load() {
    static Sdl sdl{};
    const Symbol symbols[] = {
        {"SDL_WasInit", Slot(sdl.WasInit)},
        {"SDL_InitSubSystem", Slot(sdl.InitSubSystem)},
        {"SDL_SetHint", Slot(sdl.SetHint)},
        {"SDL_OpenAudioDevice", Slot(sdl.OpenAudioDevice)},
        {"SDL_PauseAudioDevice", Slot(sdl.PauseAudioDevice)},
        {"SDL_CloseAudioDevice", Slot(sdl.CloseAudioDevice)},
    };
    const std::string why = LoadFunctions(kLibrary, symbols);
    if (!why.empty()) {
        // The one word the program says of its own: otherwise every clip would be silent for no
        // reason a user could see.
        std::fprintf(stderr, "cannot load %s: %s; clips will be silent\n", kLibrary, why.c_str());
        return nullptr;
    }
    return &sdl;
}

}  // namespace

const Sdl* LoadSdl() {
    static const Sdl* const sdl = Load();
    return sdl;
}

}  // namespace mci
