#include "tests/fakes/FakePlatform.h"

#include <algorithm>
#include <cstring>

#include "platform/EventPump.h"
#include "platform/Mci.h"
#include "platform/ProgramDir.h"
#include "platform/ShortPath.h"

namespace fake {
namespace {

constexpr std::uint32_t kInvalidDeviceName = 263;
constexpr std::uint32_t kFileNotFound = 275;
constexpr std::uint32_t kDuplicateAlias = 289;
constexpr std::uint32_t kMissingParameter = 273;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::uint32_t Answer(Platform& p, const std::string& command, char* reply, std::uint32_t size) {
    if (reply != nullptr && size > 0) {
        reply[0] = '\0';
    }
    const std::string openPrefix = "open waveaudio!";
    const std::string aliasSuffix = " alias sound1";
    if (StartsWith(command, openPrefix) && command.ends_with(aliasSuffix)) {
        const std::string file = command.substr(
            openPrefix.size(), command.size() - openPrefix.size() - aliasSuffix.size());
        if (!p.boundAlias.empty()) {
            return kDuplicateAlias;
        }
        if (file.empty()) {
            return kMissingParameter;
        }
        if (!p.existingFiles.empty() && std::find(p.existingFiles.begin(), p.existingFiles.end(),
                                                  file) == p.existingFiles.end()) {
            return kFileNotFound;
        }
        p.boundAlias = "sound1";
        p.openedFile = file;
        p.playing = false;
        return 0;
    }
    const bool bound = !p.boundAlias.empty();
    if (command == "play sound1") {
        if (!bound) {
            return kInvalidDeviceName;
        }
        if (!p.playing) {
            p.playing = true;
            p.pollsLeft = p.pollsPerClip;
            ++p.playsStarted;
        }
        return 0;
    }
    if (command == "status sound1 mode") {
        if (p.statusOverride) {
            p.statusOverride(reply, size);
            return 0;
        }
        if (!bound) {
            return kInvalidDeviceName;
        }
        if (p.playing && p.pollsLeft-- <= 0) {
            p.playing = false;
        }
        const char* mode = p.playing ? "playing" : "stopped";
        if (reply != nullptr && size > std::strlen(mode)) {
            std::strcpy(reply, mode);
        }
        return 0;
    }
    if (command == "close sound1") {
        if (!bound) {
            return kInvalidDeviceName;
        }
        p.boundAlias.clear();
        p.openedFile.clear();
        p.playing = false;
        return 0;
    }
    return 261;
}

}  // namespace

Platform& State() {
    static Platform platform;
    return platform;
}

void Reset() {
    State() = Platform{};
}

std::vector<std::string> Commands() {
    std::vector<std::string> texts;
    for (const auto& call : State().calls) {
        texts.push_back(call.command);
    }
    return texts;
}

}  // namespace fake

namespace platform {

MciError mciSendString(const char* command, char* reply, std::uint32_t replySize,
                       std::uintptr_t callbackWindow) {
    auto& p = fake::State();
    const std::uint32_t result = fake::Answer(p, command, reply, replySize);
    p.calls.push_back({command, replySize, callbackWindow, result});
    return result;
}

std::string mciGetErrorString(MciError) {
    return "fake";
}

std::uint32_t GetShortPathName(const char* longPath, char* buffer, std::uint32_t size) {
    auto& p = fake::State();
    p.shortPathRequests.emplace_back(longPath);
    if (p.shortPath) {
        return p.shortPath(longPath, buffer, size);
    }
    const auto length = static_cast<std::uint32_t>(std::strlen(longPath));
    if (length + 1 > size) {
        return length + 1;
    }
    std::memcpy(buffer, longPath, length + 1);
    return length;
}

void DoEvents() {
    auto& p = fake::State();
    ++p.doEventsCalls;
    if (p.onDoEvents) {
        p.onDoEvents();
    }
}

std::string AppPath() {
    return fake::State().appPath;
}

}  // namespace platform
