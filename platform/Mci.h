#pragma once
// The string form of the Media Control Interface, as the clip player uses it.
#include <cstdint>
#include <string>

namespace platform {

using MciError = std::uint32_t;

// Sends one command text. A reply (NUL-terminated, never longer than replySize) is written to
// reply when replySize > 0. The callback window is accepted for compatibility and unused.
MciError mciSendString(const char* command, char* reply, std::uint32_t replySize,
                       std::uintptr_t callbackWindow);

// English text for an error number, as mciGetErrorString gives it.
std::string mciGetErrorString(MciError error);

}  // namespace platform
