#pragma once
// Short (8.3) path names with the Win32 GetShortPathName contract, so that a path holding blanks
// can travel inside a blank-separated command text.
#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Writes the short form of longPath into buffer (NUL-terminated) and returns its length without
// the NUL. When size is too small, writes nothing and returns the size needed including the NUL.
// Returns 0 when the path does not exist. Both '\' and '/' separate components, and each
// separator is kept as written; only components holding white space are replaced by an alias
// such as FAROUT~1.WAV, so the result holds no blank.
std::uint32_t GetShortPathName(const char* longPath, char* buffer, std::uint32_t size);

// The inverse, for whoever opens a file by a short name: maps every 8.3 alias component back to
// the directory entry it names (a component that exists as written is taken as it is; aliases
// match without regard to ASCII case). The result uses '/' separators, runs of them collapsed.
// Returns nothing when some component names no entry. Only stats and lists directories, so an
// odd file such as a FIFO on the way cannot make it block.
std::optional<std::string> ResolveShortPath(const std::string& path);

}  // namespace platform
