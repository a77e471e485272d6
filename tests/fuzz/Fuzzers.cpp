// The fuzz targets (tools/fuzz): nothing may crash, leak or hang; a broken property aborts.
// short_path: flags (2: '\' joins the path), then names split by NUL or '/': each short path keeps
// the size contract, holds no white space and leads back to its file. wave_open: a clip plays to
// its end, no further than its length. mci_command: a reply size, then commands: replies fit.
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <set>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "tests/support/Support.h"

namespace {

void Check(bool holds, int line, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "%d: check failed: %s\n", line, property);
        std::abort();
    }
}
#define CHECK(c) Check(c, __LINE__, #c)

// Decoded samples per byte of file, at most: MPEG audio at its lowest bit rates is near 100.
constexpr std::size_t kGrowth = 128;

std::vector<std::string> Split(std::string_view rest, std::string_view separators) {
    std::vector<std::string> parts;
    while (!rest.empty() && parts.size() < 32) {
        parts.emplace_back(rest.substr(0, rest.find_first_of(separators)));
        rest.remove_prefix(std::min(parts.back().size() + 1, rest.size()));
    }
    return parts;
}

std::uint32_t Status(mci::Service& service, const std::string& item) {
    char reply[16] = "#";
    service.Send(("status f " + item).c_str(), reply, sizeof reply);
    return static_cast<std::uint32_t>(std::strtoul(reply, nullptr, 10));
}

void Initialize() {
    static const support::TempDir scratch;  // names below are relative: no random text in a run
    std::filesystem::current_path(scratch.path);
    support::WriteClip("a.wav", 2000);  // what mci_command's commands may name
    support::WriteClip("b c.wav", 300, 2);
    std::ofstream("empty.wav").close();
    std::filesystem::create_directory("dir.wav");
    mkfifo("fifo.wav", 0600);
}

int ShortPath(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    std::vector<std::string> names;
    for (auto& name : Split({reinterpret_cast<const char*>(data + 1), size - 1}, {"\0/", 2})) {
        if (!name.empty() && name != "." && name != ".." && names.size() < 8) {
            names.push_back(name);
        }
    }
    std::filesystem::remove_all("case");
    const std::string folder = "case/";
    const std::string written = std::string("case") + (data[0] & 2 ? '\\' : '/');
    std::filesystem::create_directory(folder);
    for (const auto& name : names) {
        const bool plain = (folder + name).find('\\') == std::string::npos;
        const std::string path = written + name;
        if (!std::ofstream(folder + name)) {
            continue;  // too long, or otherwise not a name this file system takes
        }
        const std::uint32_t needed = platform::GetShortPathName(path.c_str(), nullptr, 0);
        CHECK(needed > 0 || !plain);
        if (needed == 0) {
            continue;
        }
        std::vector<char> buffer(needed + 1, '#');
        // Too small: nothing written.
        CHECK(platform::GetShortPathName(path.c_str(), buffer.data(), needed - 1) == needed);
        CHECK(buffer[0] == '#');
        if (platform::GetShortPathName(path.c_str(), buffer.data(), needed) != needed - 1) {
            continue;
        }
        CHECK(buffer[needed - 1] == '\0');
        CHECK(buffer[needed] == '#');
        CHECK(std::string(buffer.data()).find_first_of(" \t\n\v\f\r") == std::string::npos);
        const auto back = platform::ResolveShortPath(buffer.data());
        CHECK(back && std::filesystem::exists(*back));
        CHECK(back == folder + name || !plain);
    }
    return 0;
}

int WaveOpen(const std::uint8_t* data, std::size_t size) {
    std::ofstream("clip.wav").write(reinterpret_cast<const char*>(data), std::streamsize(size));
    std::set<support::HandOutput*> open;
    mci::Service service([&] { return std::make_unique<support::HandOutput>(open, false); },
                         [] { return std::chrono::steady_clock::time_point{}; });  // no stall
    const bool opened = service.Send("open waveaudio!clip.wav alias f", nullptr, 0) == 0;
    if (opened) {
        CHECK(service.Send("play f", nullptr, 0) == 0);
        CHECK(open.size() == 1);
        support::HandOutput& output = **open.begin();
        CHECK(output.format.rate > 0);
        CHECK(output.format.channels > 0);
        alignas(8) std::uint8_t buffer[4096];
        std::uint64_t played = 0;
        for (;;) {  // a late read gives less, and more later: only the end stops it
            const auto pulled = output.pull(buffer, sizeof buffer);
            played += pulled.bytes / output.format.FrameBytes();
            CHECK(played * output.format.FrameBytes() <= kGrowth * size);
            if (pulled.end) {
                break;
            }
        }
        output.ended();
        const std::uint32_t length = Status(service, "length");
        CHECK(Status(service, "position") == length);
        CHECK(length >= played * 1000 / static_cast<std::uint64_t>(output.format.rate));
    }
    char mode[16] = "#";
    service.Send("status f mode", mode, sizeof mode);
    CHECK(std::string_view(mode) == (opened ? "stopped" : ""));
    CHECK(service.Send("close f", nullptr, 0) == (opened ? 0 : 263));
    return 0;
}

int MciCommand(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint32_t replySize = (data[0] << 8 | data[1]) % 257;
    std::set<support::HandOutput*> open;
    auto now = std::chrono::steady_clock::time_point{};
    mci::Service service([&] { return std::make_unique<support::HandOutput>(open, false); },
                         [&] { return now; });
    for (const auto& command :
         Split({reinterpret_cast<const char*>(data + 2), size - 2}, {"\0", 1})) {
        if (command.find_first_of("/\\") != std::string::npos) {
            continue;  // only files in the scratch folder: what lies elsewhere differs by machine
        }
        std::vector<char> reply(replySize + 32, '#');
        service.Send(command.c_str(), reply.data(), replySize);
        CHECK(replySize == 0 || std::memchr(reply.data(), '\0', replySize) != nullptr);
        CHECK(std::all_of(reply.begin() + replySize, reply.end(), [](char c) { return c == '#'; }));
        for (support::HandOutput* output : std::vector(open.begin(), open.end())) {
            alignas(8) std::uint8_t samples[2048];
            if (output->pull(samples, sizeof samples).end) {
                output->ended();
            }
        }
        now += std::chrono::milliseconds(250);
    }
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Initialize();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string name = getenv("OSTRIVANE_FUZZ_TARGET");
    static const auto target = name == "short_path"    ? ShortPath
                               : name == "mci_command" ? MciCommand
                                                       : WaveOpen;
    return target(data, size);
}
