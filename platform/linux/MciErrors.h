#pragma once
// The MCI error numbers this service answers with; the values are those of the Windows MCI.
#include "platform/Mci.h"

namespace mci {

enum : platform::MciError {
    kOk = 0,
    kBase = 256,
    kUnrecognizedKeyword = kBase + 3,
    kUnrecognizedCommand = kBase + 5,
    kInvalidDeviceName = kBase + 7,
    kMissingCommandString = kBase + 11,
    kParamOverflow = kBase + 12,
    kBadInteger = kBase + 14,
    kMissingParameter = kBase + 17,
    kFileNotFound = kBase + 19,
    kCannotUseAll = kBase + 23,
    kDuplicateAlias = kBase + 33,
    kNoClosingQuote = kBase + 38,
    kInvalidFile = kBase + 40,
    kWaveOutputsUnsuitable = kBase + 70,
};

}  // namespace mci
