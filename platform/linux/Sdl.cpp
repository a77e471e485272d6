#include "platform/linux/Sdl.h"

#include <dlfcn.h>

#include <cstdio>

namespace mci {
namespace {

template <typename F>
bool Resolve(void* library, const char* name, F& function) {
    function = reinterpret_cast<F>(dlsym(library, name));
    return function != nullptr;
}

const Sdl* Load() {
    // Never closed: devices close on threads of their own that may outlive everything else.
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        // The one word the program says of its own: otherwise every clip would be silent for no
        // reason a user could see.
        std::fprintf(stderr, "cannot load libSDL2-2.0.so.0: %s; clips will be silent\n", dlerror());
        return nullptr;
    }
    static Sdl sdl{};
    const bool all = Resolve(library, "SDL_WasInit", sdl.WasInit) &&
                     Resolve(library, "SDL_InitSubSystem", sdl.InitSubSystem) &&
                     Resolve(library, "SDL_SetHint", sdl.SetHint) &&
                     Resolve(library, "SDL_OpenAudioDevice", sdl.OpenAudioDevice) &&
                     Resolve(library, "SDL_PauseAudioDevice", sdl.PauseAudioDevice) &&
                     Resolve(library, "SDL_CloseAudioDevice", sdl.CloseAudioDevice);
    return all ? &sdl : nullptr;
}

}  // namespace

const Sdl* LoadSdl() {
    static const Sdl* const sdl = Load();
    return sdl;
}

}  // namespace mci
