#pragma once
// Helpers shared by the test programs that run under Wine.
#include "platform/win32/Windows.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace wine_test {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start);

// Milliseconds of sound in a PCM WAV file, from its header; 0 when it cannot be read.
int WavLengthMs(const std::wstring& path);

std::wstring Text(HWND window);
std::wstring ClassName(HWND window);
// The child windows in the order EnumChildWindows gives them.
std::vector<HWND> Children(HWND parent);
// The child whose text is exactly text, or null.
HWND ChildWithText(HWND parent, std::wstring_view text);
// Visible top-level windows of a process with that caption.
std::vector<HWND> TopLevelWindows(DWORD processId, std::wstring_view caption);

}  // namespace wine_test
