#include "platform/linux/LoadFunctions.h"

#include <dlfcn.h>

namespace mci {

std::string LoadFunctions(const char* file, std::span<const Symbol> symbols) {
    void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    for (const Symbol& symbol : symbols) {
        *symbol.address = library != nullptr ? dlsym(library, symbol.name) : nullptr;
        if (*symbol.address == nullptr) {
            const char* why = dlerror();
            return why != nullptr ? why : symbol.name;
        }
    }
    return {};
}

}  // namespace mci
