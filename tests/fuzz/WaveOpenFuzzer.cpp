// The waveaudio open path on any bytes: the input is written as a clip file, which is opened by
// its short name, played, queried and closed through the MCI service, as the clip player does
// it: played to its end through the output double, and for some inputs on SDL's dummy driver.
//
// Properties: nothing crashes, leaks or reads past the file; the status replies agree with each
// other; and SDL is never asked for a block much larger than the file, whatever its header claims
// (a header that announces 4 GiB of samples must not cost 4 GiB).
#include <SDL2/SDL.h>
#include <stdlib.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "platform/linux/SdlOutput.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// Decoding may widen samples (4-bit ADPCM to 16-bit, 8-bit to 16-bit); the device's own buffers
// are at most 16384 frames of up to 255 channels of 32-bit samples.
constexpr std::size_t kAllowedGrowth = 16;
constexpr std::size_t kAllowedFixed = 64u << 20;

std::atomic<std::size_t> largestRequest{0};

void Note(std::size_t bytes) {
    std::size_t seen = largestRequest.load();
    while (bytes > seen && !largestRequest.compare_exchange_weak(seen, bytes)) {
    }
}

void* CountingMalloc(std::size_t bytes) {
    Note(bytes);
    return std::malloc(bytes);
}
void* CountingCalloc(std::size_t count, std::size_t bytes) {
    Note(count * bytes);
    return std::calloc(count, bytes);
}
void* CountingRealloc(void* block, std::size_t bytes) {
    Note(bytes);
    return std::realloc(block, bytes);
}
void Free(void* block) {
    std::free(block);
}

// The output double: the harness pulls on the audio thread's behalf.
struct PulledOutput {
    struct Handle final : mci::AudioOutput {
        explicit Handle(PulledOutput& o) : owner(o) {}
        bool Open(const SDL_AudioSpec& format, Pull pull) override {
            FUZZ_CHECK(format.freq > 0 && format.channels > 0);
            owner.pull = std::move(pull);
            return true;
        }
        void SetPaused(bool) override {}
        void Close() override { owner.pull = nullptr; }
        PulledOutput& owner;
    };
    mci::AudioOutput::Pull pull;
};

constexpr int kPullBytes = 4096;

std::string Ask(mci::Service& service, const std::string& command) {
    char reply[128];
    std::memset(reply, '#', sizeof reply);
    service.Send(command.c_str(), reply, sizeof reply);
    FUZZ_CHECK(std::memchr(reply, '\0', sizeof reply) != nullptr);
    return reply;
}

std::uint64_t Number(const std::string& text) {
    FUZZ_CHECK(!text.empty() && text.size() <= 10);
    FUZZ_CHECK(text.find_first_not_of("0123456789") == std::string::npos);
    return std::stoull(text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Before SDL allocates anything, so that every block it frees went through the same functions.
    SDL_SetMemoryFunctions(CountingMalloc, CountingCalloc, CountingRealloc, Free);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = (fuzz::ScratchDir() / "fuzzed clip.wav").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    char shortPath[512] = {};
    FUZZ_CHECK(platform::GetShortPathName(path.c_str(), shortPath, sizeof shortPath) > 0);
    const std::string open = "open waveaudio!" + std::string(shortPath) + " alias f";
    largestRequest = 0;

    // Every input is played to its end through the double.
    static PulledOutput output;
    static mci::Service pulled([] { return std::make_unique<PulledOutput::Handle>(output); },
                               std::chrono::steady_clock::now);
    if (pulled.Send(open.c_str(), nullptr, 0) == 0) {
        FUZZ_CHECK(pulled.Send("play f", nullptr, 0) == 0);
        const auto length = Number(Ask(pulled, "status f length"));
        std::vector<std::uint8_t> buffer(kPullBytes);
        // Enough pulls for any clip a file of this size can hold, decoded at 16x, and one more to
        // find the end.
        for (std::size_t pulls = 0; pulls < kAllowedGrowth * size / kPullBytes + 2; ++pulls) {
            output.pull(buffer.data(), kPullBytes);
            if (Ask(pulled, "status f mode") == "stopped") {
                break;
            }
        }
        FUZZ_CHECK(Ask(pulled, "status f mode") == "stopped");
        FUZZ_CHECK(Number(Ask(pulled, "status f position")) == length);
        FUZZ_CHECK(pulled.Send("close f", nullptr, 0) == 0);
    } else {
        FUZZ_CHECK(Ask(pulled, "status f mode").empty());
    }

    // One input in sixteen also goes to SDL's dummy driver, whose device takes some 50 ms to close
    // and opens no second one meanwhile: all of them would leave the fuzzer some 20 runs a second.
    if (std::hash<std::string_view>{}({reinterpret_cast<const char*>(data), size}) % 16 == 0) {
        static mci::Service service(mci::MakeSdlOutput);
        if (service.Send(open.c_str(), nullptr, 0) == 0) {
            FUZZ_CHECK(service.Send("play f", nullptr, 0) == 0);
            const std::string mode = Ask(service, "status f mode");
            FUZZ_CHECK(mode == "playing" || mode == "stopped");
            const auto length = Number(Ask(service, "status f length"));
            FUZZ_CHECK(Number(Ask(service, "status f position")) <= length);
            FUZZ_CHECK(service.Send("stop f", nullptr, 0) == 0);
            FUZZ_CHECK(Ask(service, "status f mode") == "stopped");
            FUZZ_CHECK(service.Send("close f", nullptr, 0) == 0);
        }
    }

    if (largestRequest > kAllowedFixed + kAllowedGrowth * size) {
        std::fprintf(stderr, "SDL was asked for %zu bytes by a file of %zu\n",
                     largestRequest.load(), size);
        std::abort();
    }
    return 0;
}
