#include "platform/linux/MciErrors.h"

namespace platform {

std::string mciGetErrorString(MciError error) {
    switch (error) {
        case mci::kOk:
            return "The specified command was carried out.";
        case mci::kUnrecognizedKeyword:
            return "A parameter of the command is not known to this device.";
        case mci::kUnrecognizedCommand:
            return "The command is not known.";
        case mci::kInvalidDeviceName:
            return "The device is not open or its name is not known.";
        case mci::kMissingCommandString:
            return "No command was given.";
        case mci::kParamOverflow:
            return "The reply did not fit the buffer and was cut short.";
        case mci::kBadInteger:
            return "A number in the command is not a whole number.";
        case mci::kMissingParameter:
            return "The command is missing a parameter it needs.";
        case mci::kFileNotFound:
            return "The file cannot be found.";
        case mci::kCannotUseAll:
            return "The device name \"all\" cannot be used with this command.";
        case mci::kDuplicateAlias:
            return "The alias is already in use by an open device.";
        case mci::kNoClosingQuote:
            return "A quoted parameter has no closing quote.";
        case mci::kInvalidFile:
            return "The file is not a WAVE file this device can play.";
        case mci::kWaveOutputsUnsuitable:
            return "No audio output that can play this file is available.";
        default:
            return "Unknown MCI error.";
    }
}

}  // namespace platform
