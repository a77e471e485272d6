#include "tests/support/FakePlatform.h"

#include <cstring>
#include <regex>

#include "platform/EventPump.h"
#include "platform/Mci.h"
#include "platform/ProgramDir.h"
#include "platform/ShortPath.h"

namespace fake {

Platform& State() {
    static Platform platform;
    return platform;
}

}  // namespace fake

namespace platform {

MciError mciSendString(const char* text, char* reply, std::uint32_t size, std::uintptr_t window) {
    auto& p = fake::State();
    const std::string command = text;
    static const std::regex open(R"re(open (waveaudio!(.*)|"(.+)" type waveaudio) alias sound1)re");
    std::smatch file;
    MciError result = 0;
    if (std::regex_match(command, file, open)) {
        result = !p.bound.empty() ? 289 : file[1] == "waveaudio!" ? 273 : p.filesExist ? 0 : 275;
        if (result == 0) {
            p.bound = file[2].str() + file[3].str();
        }
    } else if (command == "status sound1 mode" && p.statusReply) {
        p.statusReply(reply, size);
    } else if (p.bound.empty()) {
        result = 263;  // nothing is open under that name
    } else if (command == "play sound1" && p.pollsLeft < 0) {
        p.pollsLeft = p.pollsPerClip;
        ++p.playsStarted;
    } else if (command == "status sound1 mode") {
        std::strncpy(reply, --p.pollsLeft >= 0 ? "playing" : "stopped", size);
    } else if (command == "close sound1") {
        p.bound.clear();
        p.pollsLeft = -1;
    }
    p.commands.push_back(command);
    p.replySizes.push_back(size);
    p.results.push_back(result);
    p.windows.push_back(window);
    return result;
}

std::string mciGetErrorString(MciError) {
    return {};
}

std::uint32_t GetShortPathName(const char* path, char* buffer, std::uint32_t size) {
    auto& p = fake::State();
    p.shortPathCalls.emplace_back(path, size);
    const auto length = static_cast<std::uint32_t>(std::strlen(path));
    if (p.shortPath || length >= size) {
        return p.shortPath ? p.shortPath(buffer, size) : length + 1;
    }
    std::memcpy(buffer, path, length + 1);
    return length;
}

void DoEvents() {
    ++fake::State().doEventsCalls;
    if (fake::State().onDoEvents) {
        fake::State().onDoEvents();
    }
}

std::string AppPath() {
    return fake::State().appPath;
}

}  // namespace platform
