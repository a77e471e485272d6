// Short path names from kernel32's wide variant: the long path reaches Windows intact whatever
// characters it holds, and the short form comes back as UTF-8.
#include "platform/win32/Windows.h"

#include <string>

#include "platform/ShortPath.h"
#include "platform/win32/SystemCalls.h"
#include "platform/win32/Text.h"

namespace platform {

std::uint32_t GetShortPathName(const char* longPath, char* buffer, std::uint32_t size) {
    const std::wstring path = win32::Widen(longPath == nullptr ? "" : longPath);
    std::wstring shortPath(MAX_PATH, L'\0');
    DWORD length = 0;
    // The answer may not fit MAX_PATH for a path that is long even when shortened; the call then
    // tells the size it needs. A path renamed meanwhile could grow again, hence a few tries.
    for (int attempt = 0; attempt < 4; ++attempt) {
        length = win32::ShortPathNameW(path.c_str(), shortPath.data(),
                                       static_cast<DWORD>(shortPath.size()));
        if (length < shortPath.size()) {
            break;
        }
        shortPath.assign(length, L'\0');
    }
    if (length == 0 || length >= shortPath.size()) {
        return 0;
    }
    shortPath.resize(length);
    const std::string narrow = win32::Narrow(shortPath);
    if (buffer == nullptr || narrow.size() >= size) {
        return static_cast<std::uint32_t>(narrow.size() + 1);
    }
    win32::CopyTerminated(narrow, buffer, size);
    return static_cast<std::uint32_t>(narrow.size());
}

}  // namespace platform
