#include "player/Module1.h"

#include <cstdint>

#include "platform/EventPump.h"
#include "platform/Mci.h"
#include "platform/ShortPath.h"

namespace Module1 {
namespace {

constexpr std::uint32_t kPathBufferSize = 260;  // the platform's path limit
constexpr std::uint32_t kStatusBufferSize = 128;

// Every clip goes through one alias: a clip clicked while another plays finds it taken.
const std::string kAlias = "sound1";

// Each click during a clip runs a nested call inside the waiting one's event pump. Such a call
// cannot be heard anyway, so past this depth it returns at once instead of waiting too: a flood
// of clicks then cannot pile up calls until the stack overflows.
constexpr int kMaxNesting = 16;
int nesting = 0;  // calls under way on the one UI thread

class NestingGuard {
  public:
    NestingGuard() { ++nesting; }
    ~NestingGuard() { --nesting; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

void SendWithoutReply(const std::string& command) {
    char noReply[4] = {};  // handed over with size 0, so nothing is ever written to it
    platform::mciSendString(command.c_str(), noReply, 0, 0);
}

}  // namespace

void PlayWaveFile(const std::string& path) {
    if (nesting >= kMaxNesting) {
        return;
    }
    const NestingGuard guard;
    const std::string shortPath = GetShortPath(path);
    // A volume that keeps no short names gives the long path back, blanks and all, and winmm would
    // cut the element at the first blank. Then the path goes as one quoted string, which MCI's
    // parsers take as one word, in the "element type device" form (a bare "device!element" is one
    // word only while it holds no blank). A blank-free path goes as it always has.
    if (shortPath.find_first_of(" \t\r\n\v\f") != std::string::npos) {
        SendWithoutReply("open \"" + shortPath + "\" type waveaudio alias sound1");
    } else {
        SendWithoutReply("open waveaudio!" + shortPath + " alias sound1");
    }
    SendWithoutReply("play sound1");
    while (IsAliasPlaying(kAlias)) {
        platform::DoEvents();
    }
    SendWithoutReply("close sound1");
}

std::string GetShortPath(const std::string& path) {
    std::string buffer(kPathBufferSize, '\0');
    std::uint32_t length = platform::GetShortPathName(path.c_str(), buffer.data(), kPathBufferSize);
    if (length >= kPathBufferSize) {
        // The short form does not fit: the answer is the size it needs, and nothing was written.
        buffer.assign(length, '\0');
        length = platform::GetShortPathName(path.c_str(), buffer.data(), length);
        if (length >= buffer.size()) {
            return {};  // the path changed under us and grew again; give up quietly
        }
    }
    return buffer.substr(0, length);
}

bool IsAliasPlaying(const std::string& alias) {
    std::string reply(kStatusBufferSize, ' ');
    platform::mciSendString(("status " + alias + " mode").c_str(), reply.data(), kStatusBufferSize,
                            0);
    const auto end = reply.find('\0');
    if (end == std::string::npos) {
        return false;  // an unterminated reply holds no mode word we can trust
    }
    return reply.compare(0, end, "playing") == 0;
}

}  // namespace Module1
