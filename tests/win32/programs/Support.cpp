#include "tests/win32/programs/Support.h"

#include <cstdint>
#include <cstring>
#include <fstream>

namespace wine_test {

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

int WavLengthMs(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);  // the wide open of MinGW's library
    char riff[12] = {};
    if (!file.read(riff, sizeof riff) || std::memcmp(riff, "RIFF", 4) != 0 ||
        std::memcmp(riff + 8, "WAVE", 4) != 0) {
        return 0;
    }
    std::uint32_t bytesPerSecond = 0;
    for (;;) {
        char header[8] = {};
        if (!file.read(header, sizeof header)) {
            return 0;
        }
        std::uint32_t size = 0;
        std::memcpy(&size, header + 4, 4);  // little-endian, as is the machine
        if (std::memcmp(header, "fmt ", 4) == 0 && size >= 16) {
            char format[16] = {};
            file.read(format, sizeof format);
            std::memcpy(&bytesPerSecond, format + 8, 4);
            file.seekg(size - 16 + (size & 1), std::ios::cur);
        } else if (std::memcmp(header, "data", 4) == 0) {
            return bytesPerSecond == 0 ? 0 : static_cast<int>(1000ULL * size / bytesPerSecond);
        } else {
            file.seekg(size + (size & 1), std::ios::cur);
        }
    }
}

std::wstring Text(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

namespace {

BOOL CALLBACK AddChild(HWND child, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
    return TRUE;
}

struct Search {
    DWORD processId;
    std::wstring_view caption;
    std::vector<HWND> found;
};

BOOL CALLBACK AddIfMatching(HWND window, LPARAM data) {
    auto& search = *reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window) && Text(window) == search.caption) {
        search.found.push_back(window);
    }
    return TRUE;
}

}  // namespace

std::vector<HWND> Children(HWND parent) {
    std::vector<HWND> children;
    EnumChildWindows(parent, &AddChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

HWND ChildWithText(HWND parent, std::wstring_view text) {
    for (HWND child : Children(parent)) {
        if (Text(child) == text) {
            return child;
        }
    }
    return nullptr;
}

std::vector<HWND> TopLevelWindows(DWORD processId, std::wstring_view caption) {
    Search search{processId, caption, {}};
    EnumWindows(&AddIfMatching, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace wine_test
