#include "platform/linux/MciCommand.h"

#include "platform/linux/MciErrors.h"

#include <algorithm>
#include <cstddef>
#include <iterator>

namespace mci {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

platform::MciError ParseCommand(std::string_view text, Command& command) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        if (text[i] == '"') {
            const std::size_t close = text.find('"', i + 1);
            if (close == std::string_view::npos) {
                return kNoClosingQuote;
            }
            words.emplace_back(text.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        const std::size_t start = i;
        while (i < text.size() && !isBlank(text[i])) {
            ++i;
        }
        words.emplace_back(text.substr(start, i - start));
    }
    if (words.empty()) {
        return kMissingCommandString;
    }
    command.verb = Lower(words[0]);
    command.device = words.size() > 1 ? std::move(words[1]) : std::string();
    command.args.assign(
        std::make_move_iterator(words.begin() + std::min<std::ptrdiff_t>(2, std::ssize(words))),
        std::make_move_iterator(words.end()));
    return kOk;
}

}  // namespace mci
