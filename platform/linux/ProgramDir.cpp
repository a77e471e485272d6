#include <filesystem>
#include <system_error>

#include "platform/ProgramDir.h"

namespace platform {

std::string AppPath() {
    // The executable's own path with links resolved, so a launcher symlink elsewhere still finds
    // the clips that lie beside the real program.
    std::error_code error;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error).string();
    }
    return exe.parent_path().string();
}

}  // namespace platform
