// The fuzz targets, which platform_test replays and tools/fuzz fuzzes: nothing may crash, leak or
// hang; a broken property aborts. short_path: flags (2: '\' joins the path), then names split by
// NUL or '/', made as files; each short path keeps the size contract, holds no white space and
// leads back to its file (unless a name holds a '\', which both directions take for a separator).
// wave_open: a clip that opens plays to its end within the pulls its size allows, at its length;
// SDL is never asked for a block much larger than the file. mci_command: a reply size, then
// commands split by NUL, 250 ms apart: replies end within it.
#include <SDL2/SDL.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <set>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "tests/support/Support.h"

#define CHECK(c) \
    ((c) ? void() : (std::fprintf(stderr, "%d: check failed: %s\n", __LINE__, #c), std::abort()))

namespace fuzz {
namespace {

constexpr std::size_t kGrowth = 16;  // decoding widens samples at most this much (4 to 64 bits)
std::size_t largest = 0;             // the largest block SDL has asked for

struct Output final : mci::AudioOutput {  // the audio thread's part, played by the target
    explicit Output(std::set<Output*>& outputs) : open(outputs) {}
    ~Output() override { open.erase(this); }
    bool Open(const SDL_AudioSpec& format, Pull pulled, Ended end) override {
        CHECK(format.freq > 0 && format.channels > 0);
        pull = std::move(pulled), ended = std::move(end);
        return open.insert(this).second;
    }
    void SetPaused(bool) override {}
    void Close() override { open.erase(this); }
    std::set<Output*>& open;
    Pull pull;
    Ended ended;
};

std::vector<std::string> Split(std::string_view rest, std::string_view separators) {
    std::vector<std::string> parts;
    while (!rest.empty() && parts.size() < 32) {
        parts.emplace_back(rest.substr(0, rest.find_first_of(separators)));
        rest.remove_prefix(std::min(parts.back().size() + 1, rest.size()));
    }
    return parts;
}

}  // namespace

void Initialize() {
    // Before SDL allocates anything, so that every block it frees went through these.
    SDL_SetMemoryFunctions(
        [](std::size_t n) { return largest = std::max(largest, n), std::malloc(n); },
        [](std::size_t k, std::size_t n) {
            return largest = std::max(largest, k * n), std::calloc(k, n);
        },
        [](void* p, std::size_t n) { return largest = std::max(largest, n), std::realloc(p, n); },
        std::free);
    static const support::TempDir scratch;  // names below are relative: no random text in a run
    std::filesystem::current_path(scratch.path);
    support::WriteClip("a.wav", 2000);  // what mci_command's commands may name
    support::WriteClip("b c.wav", 300, 2);
    std::ofstream("empty.wav").close();
    std::filesystem::create_directory("dir.wav");
    mkfifo("fifo.wav", 0600);
}

int ShortPath(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    std::vector<std::string> names;
    for (auto& name : Split({reinterpret_cast<const char*>(data + 1), size - 1}, {"\0/", 2}))
        if (!name.empty() && name != "." && name != ".." && names.size() < 8)
            names.push_back(name);
    std::filesystem::remove_all("case");
    const std::string folder = "case/", written = std::string("case") + (data[0] & 2 ? '\\' : '/');
    std::filesystem::create_directory(folder);
    for (const auto& name : names) {
        const bool plain = (folder + name).find('\\') == std::string::npos;
        const std::string path = written + name;
        if (!std::ofstream(folder + name))
            continue;  // too long, or otherwise not a name this file system takes
        const std::uint32_t needed = platform::GetShortPathName(path.c_str(), nullptr, 0);
        std::vector<char> buffer(needed + 1, '#');
        CHECK(needed > 0 || !plain);
        CHECK(needed == 0 ||
              (platform::GetShortPathName(path.c_str(), buffer.data(), needed - 1) == needed &&
               buffer[0] == '#'));  // too small: nothing written
        if (needed == 0 ||
            platform::GetShortPathName(path.c_str(), buffer.data(), needed) != needed - 1)
            continue;
        CHECK(buffer[needed - 1] == '\0' && buffer[needed] == '#');
        CHECK(std::string(buffer.data()).find_first_of(" \t\n\v\f\r") == std::string::npos);
        const auto back = platform::ResolveShortPath(buffer.data());
        CHECK(back && std::filesystem::exists(*back) && (back == folder + name || !plain));
    }
    return 0;
}

int WaveOpen(const std::uint8_t* data, std::size_t size) {
    std::ofstream("clip.wav").write(reinterpret_cast<const char*>(data), std::streamsize(size));
    largest = 0;
    std::set<Output*> open;
    mci::Service service([&] { return std::make_unique<Output>(open); },
                         [] { return std::chrono::steady_clock::time_point{}; });  // no stall
    char mode[16] = "#", position[16] = "#", length[16] = "#";
    const bool opened = service.Send("open waveaudio!clip.wav alias f", nullptr, 0) == 0;
    if (opened) {
        CHECK(service.Send("play f", nullptr, 0) == 0 && open.size() == 1);
        std::uint8_t buffer[4096];
        for (std::size_t pulls = 0; (*open.begin())->pull(buffer, sizeof buffer) > 0;)
            CHECK(++pulls <= kGrowth * size / sizeof buffer + 1);
        (*open.begin())->ended();
        service.Send("status f position", position, sizeof position);
        service.Send("status f length", length, sizeof length);
        CHECK(std::strcmp(position, length) == 0);
    }
    service.Send("status f mode", mode, sizeof mode);
    CHECK(std::string_view(mode) == (opened ? "stopped" : ""));
    CHECK(service.Send("close f", nullptr, 0) == (opened ? 0 : 263));
    CHECK(largest <= (64u << 20) + kGrowth * size);
    return 0;
}

int MciCommand(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint32_t replySize = (data[0] << 8 | data[1]) % 257;
    std::set<Output*> open;
    auto now = std::chrono::steady_clock::time_point{};
    mci::Service service([&] { return std::make_unique<Output>(open); }, [&] { return now; });
    for (const auto& command :
         Split({reinterpret_cast<const char*>(data + 2), size - 2}, {"\0", 1})) {
        if (command.find_first_of("/\\") != std::string::npos)
            continue;  // only files in the scratch folder: what lies elsewhere differs by machine
        std::vector<char> reply(replySize + 32, '#');
        service.Send(command.c_str(), reply.data(), replySize);
        CHECK(replySize == 0 || std::memchr(reply.data(), '\0', replySize) != nullptr);
        CHECK(std::all_of(reply.begin() + replySize, reply.end(), [](char c) { return c == '#'; }));
        for (Output* output : std::vector(open.begin(), open.end())) {
            std::uint8_t samples[2048];
            if (output->pull(samples, sizeof samples) == 0)
                output->ended();
        }
        now += std::chrono::milliseconds(250);
    }
    return 0;
}

}  // namespace fuzz

#ifdef OSTRIVANE_FUZZER
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return fuzz::Initialize(), 0;
}
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = getenv("OSTRIVANE_FUZZ_TARGET");  // set by tools/fuzz
    return (name == "short_path"    ? fuzz::ShortPath
            : name == "mci_command" ? fuzz::MciCommand
                                    : fuzz::WaveOpen)(data, size);
}
#endif
