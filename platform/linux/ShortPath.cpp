// Short names are never stored anywhere: both directions recompute them from the directory
// listing, so an alias stays valid only while the directory's set of names does not change.
#include "platform/ShortPath.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <string_view>
#include <system_error>
#include <unordered_set>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr std::size_t kStemLength = 6;
constexpr std::size_t kExtensionLength = 3;
// Stands for a byte that starts no valid UTF-8 sequence; lies outside Unicode, so it never
// compares equal to a period or white space.
constexpr char32_t kInvalidByte = 0x110000;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// One character of a name: a whole UTF-8 sequence, or a single stray byte.
struct Character {
    std::string_view bytes;
    char32_t value;
};

Character DecodeAt(std::string_view text, std::size_t at) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byteAt(at);
    const Character stray{text.substr(at, 1), kInvalidByte};
    if (lead < 0x80) {
        return {text.substr(at, 1), lead};
    }

    // The bounds on the second byte rule out overlong forms, surrogates and values past U+10FFFF.
    std::size_t length = 0;
    char32_t value = 0;
    unsigned char secondLow = 0x80;
    unsigned char secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        if (lead == 0xE0) {
            secondLow = 0xA0;
        }
        if (lead == 0xED) {
            secondHigh = 0x9F;
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        if (lead == 0xF0) {
            secondLow = 0x90;
        }
        if (lead == 0xF4) {
            secondHigh = 0x8F;
        }
    } else {
        return stray;
    }
    if (text.size() - at < length) {
        return stray;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byteAt(at + i);
        const unsigned char low = i == 1 ? secondLow : 0x80;
        const unsigned char high = i == 1 ? secondHigh : 0xBF;
        if (next < low || next > high) {
            return stray;
        }
        value = (value << 6) | (next & 0x3F);
    }
    return {text.substr(at, length), value};
}

std::vector<Character> Characters(std::string_view text) {
    std::vector<Character> characters;
    for (std::size_t at = 0; at < text.size();) {
        characters.push_back(DecodeAt(text, at));
        at += characters.back().bytes.size();
    }
    return characters;
}

// Unicode's White_Space set: a command parser may split on any of them, not just the blank.
bool IsWhiteSpace(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

bool HoldsWhiteSpace(std::string_view name) {
    const auto characters = Characters(name);
    return std::any_of(characters.begin(), characters.end(),
                       [](const Character& c) { return IsWhiteSpace(c.value); });
}

// The name as it appears inside an alias: white space and periods dropped, the characters a
// short name may not hold made '_', ASCII letters upper-cased.
void AppendCleaned(const Character& c, std::string& out) {
    if (IsWhiteSpace(c.value) || c.value == '.') {
        return;
    }
    if (c.value < 0x80 && std::strchr("+,;=[]", static_cast<char>(c.value)) != nullptr) {
        out += '_';
    } else if (c.value >= 'a' && c.value <= 'z') {
        out += static_cast<char>(c.value - 'a' + 'A');
    } else {
        out += c.bytes;
    }
}

struct AliasParts {
    std::string stem;
    std::string extension;
};

AliasParts SplitForAlias(std::string_view name) {
    const auto characters = Characters(name);
    // The extension follows the last period, unless only periods precede it: ".my clips" is a
    // hidden name, not an empty name with a long extension.
    std::size_t dot = characters.size();
    bool pastLeadingPeriods = false;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (characters[i].value != '.') {
            pastLeadingPeriods = true;
        } else if (pastLeadingPeriods) {
            dot = i;
        }
    }

    AliasParts parts;
    std::size_t stemCount = 0;
    std::size_t extensionCount = 0;
    // Dropping a character can bring two stray bytes together into a valid sequence, even into
    // white space, which would leave an alias that no longer resolves. A stray byte that would
    // meet another that way is written as '_'.
    bool afterStray = false;
    bool dropped = false;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        const bool inExtension = i > dot;
        if (i == dot + 1) {
            afterStray = false;
        }
        std::string& target = inExtension ? parts.extension : parts.stem;
        std::size_t& count = inExtension ? extensionCount : stemCount;
        if (count == (inExtension ? kExtensionLength : kStemLength)) {
            continue;
        }
        const Character& c = characters[i];
        const bool stray = c.value == kInvalidByte;
        const std::size_t before = target.size();
        if (stray && afterStray && dropped) {
            target += '_';
        } else {
            AppendCleaned(c, target);
        }
        if (target.size() != before) {
            ++count;
            afterStray = stray && target.back() != '_';
            dropped = false;
        } else {
            dropped = true;
        }
    }
    return parts;
}

std::string MakeAlias(const AliasParts& parts, unsigned number) {
    std::string alias = parts.stem + '~' + std::to_string(number);
    if (!parts.extension.empty()) {
        alias += '.' + parts.extension;
    }
    return alias;
}

// Maps every name in dir that holds white space to its alias. Names sharing a stem are numbered
// in byte order; a number whose alias is already taken by a real entry is skipped, since that
// entry would otherwise shadow the alias when it is resolved.
std::map<std::string, std::string> AliasTable(const std::string& dir) {
    std::unordered_set<std::string> plainNames;
    std::map<std::string, std::vector<std::pair<std::string, AliasParts>>> byStem;
    std::error_code error;
    std::filesystem::directory_iterator it(dir.empty() ? "." : dir, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::string name = it->path().filename().string();
        if (HoldsWhiteSpace(name)) {
            AliasParts parts = SplitForAlias(name);
            byStem[parts.stem].emplace_back(std::move(name), std::move(parts));
        } else {
            plainNames.insert(std::move(name));
        }
    }

    std::map<std::string, std::string> aliases;
    for (auto& [stem, entries] : byStem) {
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        unsigned number = 1;
        for (const auto& [name, parts] : entries) {
            std::string alias;
            do {
                alias = MakeAlias(parts, number++);
            } while (plainNames.contains(alias));
            aliases.emplace(name, std::move(alias));
        }
    }
    return aliases;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

// A trailing separator asks for a directory; stat (following links) checks that it is one.
bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Only names with a "~<digit>" can be aliases; anything else missing is simply missing, and
// the directory need not be listed.
bool LooksLikeAlias(std::string_view name) {
    for (std::size_t i = name.find('~'); i != std::string_view::npos; i = name.find('~', i + 1)) {
        if (i + 1 < name.size() && name[i + 1] >= '0' && name[i + 1] <= '9') {
            return !HoldsWhiteSpace(name);
        }
    }
    return false;
}

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

}  // namespace

std::uint32_t GetShortPathName(const char* longPath, char* buffer, std::uint32_t size) {
    if (longPath == nullptr || *longPath == '\0') {
        return 0;
    }
    const std::string_view path(longPath);

    std::string shortPath;  // the caller's separators, components possibly replaced
    std::string real;       // the same path with '/' separators, for the system calls
    for (std::size_t at = 0; at < path.size();) {
        if (IsSeparator(path[at])) {
            shortPath += path[at++];
            if (real.empty() || real.back() != '/') {
                real += '/';
            }
            continue;
        }
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const std::string name(path.substr(at, end - at));
        const std::string dir = real;
        real += name;
        if (!Exists(real)) {
            return 0;
        }
        if (HoldsWhiteSpace(name)) {
            const auto aliases = AliasTable(dir);
            const auto found = aliases.find(name);
            if (found == aliases.end()) {
                return 0;  // removed since the check above
            }
            shortPath += found->second;
        } else {
            shortPath += name;
        }
        at = end;
    }
    if (real.back() == '/' && !IsDirectory(real)) {
        return 0;
    }

    if (shortPath.size() >= std::numeric_limits<std::uint32_t>::max()) {
        return 0;
    }
    const auto length = static_cast<std::uint32_t>(shortPath.size());
    if (buffer == nullptr || size <= length) {
        return length + 1;
    }
    std::memcpy(buffer, shortPath.data(), length);
    buffer[length] = '\0';
    return length;
}

std::optional<std::string> ResolveShortPath(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }

    std::string real = IsSeparator(path.front()) ? "/" : "";
    for (std::size_t at = 0; at < path.size();) {
        if (IsSeparator(path[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < path.size() && !IsSeparator(path[end])) {
            ++end;
        }
        const std::string name = path.substr(at, end - at);
        if (!real.empty() && real.back() != '/') {
            real += '/';
        }

        std::string entry = real + name;
        if (!Exists(entry)) {
            if (!LooksLikeAlias(name)) {
                return std::nullopt;
            }
            const std::string wanted = AsciiUpper(name);
            const auto aliases = AliasTable(real);
            const auto found = std::find_if(aliases.begin(), aliases.end(), [&](const auto& pair) {
                return pair.second == wanted;
            });
            if (found == aliases.end()) {
                return std::nullopt;
            }
            entry = real + found->first;
        }
        real = std::move(entry);
        at = end;
    }
    if (IsSeparator(path.back()) && real.back() != '/') {
        real += '/';
    }
    if (real.back() == '/' && !IsDirectory(real)) {
        return std::nullopt;
    }
    return real;
}

}  // namespace platform
