#include "platform/linux/MciService.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "platform/ShortPath.h"
#include "platform/linux/MciErrors.h"
#include "platform/linux/PulseOutput.h"
#include "platform/linux/WaveFile.h"

namespace mci {
namespace {

bool Is(const std::string& word, std::string_view keyword) {
    return Lower(word) == keyword;
}

// Copies text into the caller's buffer, always NUL-terminated within its size.
platform::MciError WriteReply(const std::string& text, char* reply, std::uint32_t replySize) {
    if (reply == nullptr || replySize == 0) {
        return text.empty() ? kOk : kParamOverflow;
    }
    const std::size_t n = std::min<std::size_t>(text.size(), replySize - 1);
    std::memcpy(reply, text.data(), n);
    reply[n] = '\0';
    return n == text.size() ? kOk : kParamOverflow;
}

// Words that change nothing for this service: there is no callback window to notify, and every
// command already returns only when it is done.
bool IsIgnorable(const std::string& word) {
    return Is(word, "notify") || Is(word, "wait");
}

}  // namespace

Service::Service(OutputFactory makeOutput, Clock clock)
    : makeOutput_(std::move(makeOutput)), clock_(std::move(clock)) {}

Service::~Service() {
    std::lock_guard lock(mutex_);
    devices_.clear();
}

Service& Service::Instance() {
    static Service service(MakeOutput);
    return service;
}

void Service::SetEndNotifier(std::function<void()> notifier) {
    std::lock_guard lock(notifierMutex_);
    notifier_ = std::move(notifier);
}

void Service::NotifyEnd() {
    std::lock_guard lock(notifierMutex_);
    if (notifier_) {
        notifier_();
    }
}

WaveDevice* Service::Find(const std::string& name) {
    const auto it = devices_.find(Lower(name));
    return it == devices_.end() ? nullptr : it->second.get();
}

platform::MciError Service::Send(const char* text, char* reply, std::uint32_t replySize) {
    if (reply != nullptr && replySize > 0) {
        reply[0] = '\0';
    }
    if (text == nullptr) {
        return kMissingCommandString;
    }
    Command command;
    if (const auto error = ParseCommand(text, command); error != kOk) {
        return error;
    }
    std::lock_guard lock(mutex_);
    const std::string& verb = command.verb;
    if (verb != "open" && verb != "close" && verb != "play" && verb != "stop" && verb != "status") {
        return kUnrecognizedCommand;
    }
    if (command.device.empty()) {
        return kMissingParameter;
    }
    if (verb == "open") {
        return Open(command);
    }
    if (verb == "close") {
        return Close(command);
    }
    if (Is(command.device, "all")) {
        return kCannotUseAll;
    }
    WaveDevice* device = Find(command.device);
    if (device == nullptr) {
        return kInvalidDeviceName;
    }
    if (verb == "status") {
        return Status(command, *device, reply, replySize);
    }
    for (const auto& word : command.args) {
        if (!IsIgnorable(word)) {
            return kUnrecognizedKeyword;
        }
    }
    if (verb == "play") {
        device->Play();
    } else {
        device->Stop();
    }
    return kOk;
}

platform::MciError Service::Open(const Command& command) {
    // Either "type!element" or "element type waveaudio"; the alias defaults to the element.
    std::string type;
    std::string element;
    if (const auto bang = command.device.find('!'); bang != std::string::npos) {
        type = command.device.substr(0, bang);
        element = command.device.substr(bang + 1);
    } else {
        element = command.device;
    }
    std::string alias;
    const auto& args = command.args;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (Is(args[i], "alias") || Is(args[i], "type")) {
            if (i + 1 >= args.size()) {
                return kMissingParameter;
            }
            (Is(args[i], "alias") ? alias : type) = args[i + 1];
            ++i;
        } else if (!IsIgnorable(args[i]) && !Is(args[i], "shareable")) {
            return kUnrecognizedKeyword;
        }
    }
    if (type.empty() && Is(element, "waveaudio")) {
        return kMissingParameter;  // a bare device with no file: nothing to play
    }
    if (!Is(type, "waveaudio")) {
        return type.empty() ? kMissingParameter : kInvalidDeviceName;
    }
    if (element.empty()) {
        return kMissingParameter;
    }
    if (alias.empty()) {
        alias = element;
    }
    if (Is(alias, "all")) {
        return kCannotUseAll;
    }
    const std::string key = Lower(alias);
    if (devices_.contains(key)) {
        return kDuplicateAlias;
    }
    // The element may name the file by its short form; map that back to the real entry.
    const std::string path = platform::ResolveShortPath(element).value_or(element);
    std::unique_ptr<Clip> clip;
    if (const auto error = WaveFile::Open(path, clip); error != kOk) {
        return error;
    }
    auto output = makeOutput_();
    output->SetTitle(std::filesystem::path(path).filename());
    auto device = std::make_unique<WaveDevice>(std::move(clip), std::move(output), clock_,
                                               [this] { NotifyEnd(); });
    if (!device->Open()) {
        return kWaveOutputsUnsuitable;
    }
    devices_.emplace(key, std::move(device));
    return kOk;
}

platform::MciError Service::Close(const Command& command) {
    for (const auto& word : command.args) {
        if (!IsIgnorable(word)) {
            return kUnrecognizedKeyword;
        }
    }
    if (Is(command.device, "all")) {
        devices_.clear();
        return kOk;
    }
    return devices_.erase(Lower(command.device)) == 1 ? kOk : kInvalidDeviceName;
}

platform::MciError Service::Status(const Command& command, WaveDevice& device, char* reply,
                                   std::uint32_t replySize) {
    std::string item;
    for (const auto& word : command.args) {
        if (IsIgnorable(word)) {
            continue;
        }
        if (!item.empty()) {
            return kUnrecognizedKeyword;  // one item per query
        }
        item = Lower(word);
    }
    if (item.empty()) {
        return kMissingParameter;
    }
    if (item == "mode") {
        return WriteReply(device.Playing() ? "playing" : "stopped", reply, replySize);
    }
    if (item == "length") {
        return WriteReply(std::to_string(device.LengthMs()), reply, replySize);
    }
    if (item == "position") {
        return WriteReply(std::to_string(device.PositionMs()), reply, replySize);
    }
    return kUnrecognizedKeyword;
}

}  // namespace mci
