#pragma once
// Splits an MCI command text into its verb, device and the words that follow.
#include <string>
#include <string_view>
#include <vector>

#include "platform/Mci.h"

namespace mci {

struct Command {
    std::string verb;               // lower case
    std::string device;             // as written (it may be a file path); empty when missing
    std::vector<std::string> args;  // as written; keywords are matched without regard to case
};

// Words are separated by blanks or tabs; a word that starts with a double quote runs to the
// next double quote and may hold blanks. Returns 0 or an MCI error number.
platform::MciError ParseCommand(std::string_view text, Command& command);

// ASCII lower case, which is all MCI keywords and aliases need.
std::string Lower(std::string_view text);

}  // namespace mci
