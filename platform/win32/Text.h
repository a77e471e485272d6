#pragma once
// The program keeps its text in UTF-8; Windows takes UTF-16. Every crossing goes through here,
// so that no text meets the system's 8-bit code page on the way.
#include <string>
#include <string_view>

namespace platform::win32 {

std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

// Copies text into a caller's buffer of size bytes, NUL-terminated, cutting it short at a
// character boundary when it does not fit. Does nothing when size is 0.
void CopyTerminated(std::string_view text, char* buffer, std::size_t size);

}  // namespace platform::win32
