#pragma once
// A recording stand-in for platform/*.h, linked into tests in place of the real platform. Its MCI
// models the one alias the player uses, with the real service's error numbers: a clip answers
// "playing" to a set number of status queries after it starts.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fake {

struct Platform {
    std::vector<std::string> commands;
    std::vector<std::uint32_t> replySizes, results;
    std::vector<std::uintptr_t> windows;
    std::vector<std::pair<std::string, std::uint32_t>> shortPathCalls;  // path, buffer size
    int doEventsCalls = 0;
    int pollsPerClip = 3;
    bool filesExist = true;
    std::string appPath = "/home/o'neil/my clips";
    std::function<void(char* reply, std::uint32_t size)> statusReply;  // replaces the answer
    std::function<std::uint32_t(char* buffer, std::uint32_t size)> shortPath;  // else unchanged
    std::function<void()> onDoEvents;
    std::string bound;   // the file open under "sound1", empty while the alias is free
    int pollsLeft = -1;  // while playing, the "playing" answers still to come
    int playsStarted = 0;
};

// The fake's state; a test starts with State() = {}.
Platform& State();

}  // namespace fake
