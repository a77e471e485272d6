// The open path of a clip on any bytes: the names of the files in its folder and the clip's own
// bytes, opened by its short path as the player does it, played through an output the target
// pulls, queried and closed. The first byte holds flags (1: the first name is a folder; 2: the path
// is joined with '\' as the soundboard joins its clip paths), the second how many names follow,
// each ended by a NUL; the rest is the content of the file the last name names.
//
// Properties: nothing crashes, leaks or reads past the file. Every short path holds no white
// space, keeps the buffer contract (the size needed when too small, nothing written then) and
// leads back to its file, unless a name holds a '\', which both directions take for a separator.
// A clip that opens plays to its end within the pulls its size allows, at the length it reports.
// SDL is never asked for a block much larger than the file, whatever its header claims.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string_view>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "tests/support/Support.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace {

constexpr std::size_t kGrowth = 16;  // decoding widens samples at most this much (4 to 64 bits)
constexpr int kPull = 4096;
std::size_t largest = 0;  // the largest block SDL has asked for

void* Malloc(std::size_t n) {
    largest = std::max(largest, n);
    return std::malloc(n);
}
void* Calloc(std::size_t count, std::size_t n) {
    largest = std::max(largest, count * n);
    return std::calloc(count, n);
}
void* Realloc(void* block, std::size_t n) {
    largest = std::max(largest, n);
    return std::realloc(block, n);
}

std::string ShortOf(const std::string& path) {
    const std::uint32_t needed = platform::GetShortPathName(path.c_str(), nullptr, 0);
    std::string buffer(needed + 4, '#');
    if (needed > 0) {
        FUZZ_CHECK(platform::GetShortPathName(path.c_str(), buffer.data(), needed - 1) == needed);
        FUZZ_CHECK(buffer == std::string(needed + 4, '#'));
        FUZZ_CHECK(platform::GetShortPathName(path.c_str(), buffer.data(), needed) == needed - 1);
        FUZZ_CHECK(buffer.substr(needed - 1) == std::string("\0####", 5));
    }
    return buffer.substr(0, needed > 0 ? needed - 1 : 0);
}

// The audio thread's part, played by the target.
struct PulledOutput final : mci::AudioOutput {
    bool Open(const SDL_AudioSpec& format, Pull pulled) override {
        FUZZ_CHECK(format.freq > 0 && format.channels > 0);
        return static_cast<bool>(pull = std::move(pulled));
    }
    void SetPaused(bool) override {}
    void Close() override {}
    Pull pull;
};

std::string Ask(mci::Service& service, const std::string& command) {
    char reply[32];
    std::memset(reply, '#', sizeof reply);
    service.Send(command.c_str(), reply, sizeof reply);
    FUZZ_CHECK(std::memchr(reply, '\0', sizeof reply) != nullptr);
    return reply;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Before SDL allocates anything, so that every block it frees went through these.
    SDL_SetMemoryFunctions(Malloc, Calloc, Realloc, std::free);
    static const support::TempDir scratch;  // relative names below: no random text in the run
    std::filesystem::current_path(scratch.path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const char separator = (data[0] & 2) != 0 ? '\\' : '/';
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::vector<std::string> names;
    while (names.size() < data[1] % 5u + 1 && !rest.empty()) {
        names.emplace_back(rest.substr(0, rest.find('\0')));
        rest.remove_prefix(std::min(names.back().size() + 1, rest.size()));
        if (names.back().find('/') != std::string::npos || names.back() == "." ||
            names.back() == ".." || names.back().empty()) {
            return 0;  // not a name a file can have
        }
    }
    std::filesystem::remove_all("case");
    std::string dir = "case";
    std::string longDir = "case";
    if ((data[0] & 1) != 0 && names.size() > 1) {
        dir += "/" + names.front();
        longDir += separator + names.front();
        names.erase(names.begin());
    }
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    for (const auto& name : names) {
        std::ofstream file(dir + "/" + name, std::ios::binary);
        if (error || !file || !file.write(rest.data(), &name == &names.back() ? rest.size() : 0)) {
            return 0;  // too long, or otherwise not a name this file system takes
        }
    }
    std::string shortPath;
    for (const auto& name : names) {
        shortPath = ShortOf(longDir + separator + name);
        const bool plain = (longDir + name).find('\\') == std::string::npos;
        FUZZ_CHECK(!shortPath.empty() || !plain);
        FUZZ_CHECK(shortPath.find_first_of(" \t\n\v\f\r") == std::string::npos);
        const auto resolved = platform::ResolveShortPath(shortPath);
        FUZZ_CHECK(shortPath.empty() || !plain || resolved == dir + "/" + name);
    }

    largest = 0;
    PulledOutput* output = nullptr;
    mci::Service service(
        [&] { return std::unique_ptr<mci::AudioOutput>(output = new PulledOutput); },
        [] { return std::chrono::steady_clock::time_point{}; });  // no stall ever ends a clip
    if (service.Send(("open waveaudio!" + shortPath + " alias f").c_str(), nullptr, 0) != 0) {
        FUZZ_CHECK(Ask(service, "status f mode").empty());
    } else {
        FUZZ_CHECK(service.Send("play f", nullptr, 0) == 0);
        std::vector<std::uint8_t> buffer(kPull);
        for (std::size_t pulls = 0; pulls < kGrowth * rest.size() / kPull + 2; ++pulls) {
            output->pull(buffer.data(), kPull);
        }
        FUZZ_CHECK(Ask(service, "status f mode") == "stopped");
        FUZZ_CHECK(Ask(service, "status f position") == Ask(service, "status f length"));
        FUZZ_CHECK(service.Send("close f", nullptr, 0) == 0);
    }
    if (largest > (64u << 20) + kGrowth * size) {
        std::fprintf(stderr, "SDL was asked for %zu bytes by a file of %zu\n", largest, size);
        std::abort();
    }
    return 0;
}
