#include "tests/fuzz/FuzzSupport.h"

#include <stdlib.h>

#include <stdexcept>
#include <system_error>

namespace fuzz {
namespace {

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(ScratchDir(), ignored);
}

std::filesystem::path MakeScratch() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "ostrivane-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

}  // namespace

const std::filesystem::path& ScratchDir() {
    static const std::filesystem::path dir = MakeScratch();
    // Registered once dir is made, so that it runs before dir is destroyed.
    [[maybe_unused]] static const int registered = std::atexit(RemoveScratch);
    return dir;
}

}  // namespace fuzz
