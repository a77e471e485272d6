#include "platform/win32/Windows.h"

#include <string>

#include "platform/ProgramDir.h"
#include "platform/win32/Text.h"

namespace platform {

std::string AppPath() {
    // The wide call: the directory may hold characters outside the system code page.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.assign(path.size() * 2, L'\0');  // cut short: try again with room to spare
    }
    const auto separator = path.find_last_of(L"\\/");
    return win32::Narrow(separator == std::wstring::npos
                             ? std::wstring_view{}
                             : std::wstring_view(path).substr(0, separator));
}

}  // namespace platform
