// The open path of a clip on any bytes: the first byte says how many names follow (1 to 5), each
// ended by a NUL, of files made in one folder; the rest is the content of the last, the clip. It
// is opened by its short path as the player does it, played through an output the target pulls,
// queried and closed.
//
// Properties: nothing crashes, leaks or reads past the file. Every short path holds no white space
// and leads back to its file, unless the name holds a '\', which both directions take for a
// separator. A clip that opens plays to its end within the pulls its size allows, at the length
// it reports. SDL is never asked for a block much larger than the file, whatever its header claims.
#include <SDL2/SDL.h>

#include <cstring>
#include <fstream>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "tests/support/Support.h"

#define CHECK(condition)                                                                       \
    do {                                                                                       \
        if (!(condition))                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition), \
                std::abort();                                                                  \
    } while (false)

namespace {

constexpr std::size_t kGrowth = 16;  // decoding widens samples at most this much (4 to 64 bits)
std::size_t largest = 0;             // the largest block SDL has asked for

void* Malloc(std::size_t n) {
    return largest = std::max(largest, n), std::malloc(n);
}
void* Calloc(std::size_t count, std::size_t n) {
    return largest = std::max(largest, count * n), std::calloc(count, n);
}
void* Realloc(void* block, std::size_t n) {
    return largest = std::max(largest, n), std::realloc(block, n);
}

struct PulledOutput final : mci::AudioOutput {  // the audio thread's part, played by the target
    bool Open(const SDL_AudioSpec& format, Pull pulled, Ended end) override {
        CHECK(format.freq > 0 && format.channels > 0);
        ended = std::move(end);
        return static_cast<bool>(pull = std::move(pulled));
    }
    void SetPaused(bool) override {}
    void Close() override {}
    Pull pull;
    Ended ended;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Before SDL allocates anything, so that every block it frees went through these.
    SDL_SetMemoryFunctions(Malloc, Calloc, Realloc, std::free);
    static const support::TempDir scratch;  // names below are relative: no random text in a run
    std::filesystem::current_path(scratch.path);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    for (std::size_t count = size > 0 ? data[0] % 5 + 1 : 0;
         names.size() < count && rest.size() > 1;) {
        rest.remove_prefix(names.empty() ? 1 : names.back().size() + 1);
        names.emplace_back(rest.substr(0, rest.find('\0')));
        if (names.back().empty() || names.back().find('/') != std::string::npos ||
            names.back() == "." || names.back() == "..")
            return 0;  // not a name a file can have
    }
    if (names.empty())
        return 0;
    rest.remove_prefix(std::min(rest.size(), names.back().size() + 1));
    std::filesystem::remove_all("case");
    std::filesystem::create_directory("case");
    std::string shortPath;
    for (const auto& name : names) {
        if (!std::ofstream("case/" + name)
                 .write(rest.data(), &name == &names.back() ? std::ssize(rest) : 0))
            return 0;  // too long, or otherwise not a name this file system takes
        char buffer[4096] = {};
        const bool plain = name.find('\\') == std::string::npos;
        CHECK(platform::GetShortPathName(("case/" + name).c_str(), buffer, sizeof buffer) > 0 ||
              !plain);
        shortPath = buffer;
        CHECK(shortPath.find_first_of(" \t\n\v\f\r") == std::string::npos);
        CHECK(!plain || platform::ResolveShortPath(shortPath) == "case/" + name);
    }

    largest = 0;
    PulledOutput* output = nullptr;
    mci::Service service(
        [&] { return std::unique_ptr<mci::AudioOutput>(output = new PulledOutput); },
        [] { return std::chrono::steady_clock::time_point{}; });  // no stall ends it
    const auto ask = [&](const char* command) {
        char reply[32];
        std::memset(reply, '#', sizeof reply);
        service.Send(command, reply, sizeof reply);
        CHECK(std::memchr(reply, '\0', sizeof reply) != nullptr);
        return std::string(reply);
    };
    if (service.Send(("open waveaudio!" + shortPath + " alias f").c_str(), nullptr, 0) != 0) {
        CHECK(ask("status f mode").empty());
    } else {
        CHECK(service.Send("play f", nullptr, 0) == 0);
        std::vector<std::uint8_t> buffer(4096);
        std::size_t got = 1;
        for (std::size_t pulls = 0; pulls < kGrowth * rest.size() / buffer.size() + 2 && got > 0;
             ++pulls)
            got = output->pull(buffer.data(), 4096);
        CHECK(got == 0);
        output->ended();
        CHECK(ask("status f mode") == "stopped");
        CHECK(ask("status f position") == ask("status f length"));
        CHECK(service.Send("close f", nullptr, 0) == 0);
    }
    CHECK(largest <= (64u << 20) + kGrowth * size);
    return 0;
}
