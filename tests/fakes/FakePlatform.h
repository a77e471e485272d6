#pragma once
// A recording stand-in for the platform headers, linked into tests instead of the real service.
// It models just enough of MCI to be believable: one alias binding, a clip that plays for a given
// number of status queries, and the error numbers of the real service.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fake {

struct MciCall {
    std::string command;
    std::uint32_t replySize;
    std::uintptr_t callback;
    std::uint32_t result;
};

struct Platform {
    std::vector<MciCall> calls;
    std::vector<std::string> shortPathRequests;

    // How many "status … mode" queries an opened clip answers "playing" to after play.
    int pollsPerClip = 3;
    // Files the fake "opens"; a path not listed fails with file-not-found. Empty: all open.
    std::vector<std::string> existingFiles;
    // Replaces the status reply when set (fills the buffer itself, may leave no NUL).
    std::function<void(char* reply, std::uint32_t size)> statusOverride;
    // Short path answer: defaults to the path itself.
    std::function<std::uint32_t(const char*, char*, std::uint32_t)> shortPath;
    // Runs inside every DoEvents call (a nested click, a close...).
    std::function<void()> onDoEvents;
    int doEventsCalls = 0;
    std::string appPath = "/opt/ostrivane";

    // The model's state.
    std::string boundAlias;
    std::string openedFile;
    bool playing = false;
    int pollsLeft = 0;
    int playsStarted = 0;  // times a play actually started a clip from its beginning
};

// The state of the fake for the current test; Reset() before each.
Platform& State();
void Reset();

// Commands sent so far, texts only.
std::vector<std::string> Commands();

}  // namespace fake
