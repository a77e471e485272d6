// Opens a clip through the program's MCI service, plays it for a while and reports, one
// "name value" a line: how long the open took, the length it gives, the resident memory grown
// from before the open to the process's peak, and the mode and position at the end.
//   ostrivane_big_clip FILE SECONDS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

#include "platform/Mci.h"

namespace {

// A field of this process's status in KiB: VmRSS (resident now) or VmHWM (its peak so far).
long StatusKiB(std::string_view field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field) && line[field.size()] == ':') {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

std::string Ask(const char* command) {
    char reply[128] = {};
    const auto error = platform::mciSendString(command, reply, sizeof reply, 0);
    return error == 0 ? std::string(reply) : "error " + std::to_string(error);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: ostrivane_big_clip FILE SECONDS\n");
        return 2;
    }
    const long before = StatusKiB("VmRSS");
    const std::string open = std::string("open \"") + argv[1] + "\" type waveaudio alias big";
    const auto start = std::chrono::steady_clock::now();
    const auto opened = platform::mciSendString(open.c_str(), nullptr, 0, 0);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    if (opened != 0) {
        std::fprintf(stderr, "open: %s\n", platform::mciGetErrorString(opened).c_str());
        return 1;
    }
    std::printf("open_ms %.3f\n", took.count());
    std::printf("length_ms %s\n", Ask("status big length").c_str());
    platform::mciSendString("play big", nullptr, 0, 0);
    std::this_thread::sleep_for(std::chrono::duration<double>(std::atof(argv[2])));
    std::printf("rss_growth_kib %ld\n", StatusKiB("VmHWM") - before);
    std::printf("mode %s\n", Ask("status big mode").c_str());
    std::printf("position_ms %s\n", Ask("status big position").c_str());
    platform::mciSendString("close big", nullptr, 0, 0);
    return 0;
}
