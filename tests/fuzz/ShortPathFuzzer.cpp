// Short-path conversion and resolution on names made of any bytes. The first byte holds flags;
// the rest is a list of names separated by NUL or '/' (the two bytes no name can hold), each
// created as an empty file in a fresh directory, or, with flag 1, inside a folder named by the
// first name. Flag 2 joins the components with '\' as the soundboard's clip paths do.
//
// Properties, for every file created:
// - its short path exists, holds no byte a command parser splits words on, and fits the buffer
//   contract (the size needed when too small, nothing written then; NUL-terminated otherwise);
// - resolving the short path gives back the very file, unless the name holds a '\', which is a
//   separator to both functions (then whatever it resolves to must exist).
// Then every name is also resolved as a short name it does not hold: no crash, nothing invented.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/ShortPath.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

constexpr std::size_t kMaxNames = 8;  // every lookup lists the folder: cost grows as the square
constexpr unsigned char kUnwritten = 0xA5;

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string ShortOf(const std::string& longPath) {
    const std::uint32_t needed = platform::GetShortPathName(longPath.c_str(), nullptr, 0);
    if (needed == 0) {
        return {};
    }
    // One byte short: nothing is written and the same size is asked for.
    std::vector<unsigned char> small(needed - 1 + 8, kUnwritten);
    FUZZ_CHECK(platform::GetShortPathName(longPath.c_str(), reinterpret_cast<char*>(small.data()),
                                          needed - 1) == needed);
    for (unsigned char byte : small) {
        FUZZ_CHECK(byte == kUnwritten);
    }
    std::vector<char> exact(needed + 8, static_cast<char>(kUnwritten));
    FUZZ_CHECK(platform::GetShortPathName(longPath.c_str(), exact.data(), needed) == needed - 1);
    FUZZ_CHECK(exact[needed - 1] == '\0');
    FUZZ_CHECK(static_cast<unsigned char>(exact[needed]) == kUnwritten);
    return {exact.data(), needed - 1};
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::ScratchDir();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool nested = (data[0] & 1) != 0;
    const char separator = (data[0] & 2) != 0 ? '\\' : '/';
    std::vector<std::string> names;
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    while (!rest.empty() && names.size() < kMaxNames) {
        const std::size_t end =
            std::min(rest.find_first_of(std::string_view("\0/", 2)), rest.size());
        std::string name(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (!name.empty() && name != "." && name != "..") {
            names.push_back(std::move(name));
        }
    }
    if (names.empty()) {
        return 0;
    }

    const std::string root = (fuzz::ScratchDir() / "case").string();
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    std::filesystem::create_directory(root);
    std::string dir = root;
    std::string longDir = root;
    if (nested) {
        dir = root + "/" + names.front();
        longDir = root + separator + names.front();
        names.erase(names.begin());
        if (mkdir(dir.c_str(), 0700) != 0) {
            return 0;  // too long, or otherwise not a name this file system takes
        }
    }
    std::vector<std::string> created;
    for (const auto& name : names) {
        const int fd =
            ::open((dir + "/" + name).c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            created.push_back(name);
        }
    }

    const bool folderHasBackslash = nested && dir.find('\\', root.size()) != std::string::npos;
    for (const auto& name : created) {
        const std::string longPath = longDir + separator + name;
        const std::string shortPath = ShortOf(longPath);
        const bool plain = !folderHasBackslash && name.find('\\') == std::string::npos;
        if (shortPath.empty()) {
            FUZZ_CHECK(!plain);
            continue;
        }
        // The scratch directory is the caller's to choose; below it, no blank may be left.
        FUZZ_CHECK(shortPath.compare(0, root.size(), root) == 0);
        FUZZ_CHECK(shortPath.find_first_of(" \t\r\n", root.size()) == std::string::npos);
        const auto resolved = platform::ResolveShortPath(shortPath);
        FUZZ_CHECK(resolved.has_value());
        FUZZ_CHECK(Exists(*resolved));
        if (plain) {
            FUZZ_CHECK(*resolved == dir + "/" + name);
        }
    }
    for (const auto& name : names) {
        if (const auto resolved = platform::ResolveShortPath(dir + "/" + name + "~1")) {
            FUZZ_CHECK(Exists(*resolved));
        }
        if (const auto resolved = platform::ResolveShortPath(name)) {
            FUZZ_CHECK(Exists(*resolved));
        }
    }
    return 0;
}
