#pragma once
// A small MCI string-command service for the waveaudio device: parses command texts, keeps the
// open devices by alias and answers the way the Windows MCI does.
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Mci.h"
#include "platform/linux/AudioOutput.h"
#include "platform/linux/Clock.h"
#include "platform/linux/MciCommand.h"
#include "platform/linux/WaveDevice.h"

namespace mci {

class Service {
  public:
    using OutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

    explicit Service(OutputFactory makeOutput, Clock clock = std::chrono::steady_clock::now);
    ~Service();

    platform::MciError Send(const char* text, char* reply, std::uint32_t replySize);

    // Called on an audio thread whenever a clip has played to its end (used to wake the event
    // pump). Set it before the first clip plays.
    void SetEndNotifier(std::function<void()> notifier);

    // The service behind platform::mciSendString.
    static Service& Instance();

  private:
    platform::MciError Open(const Command& command);
    platform::MciError Close(const Command& command);
    static platform::MciError Status(const Command& command, WaveDevice& device, char* reply,
                                     std::uint32_t replySize);
    WaveDevice* Find(const std::string& name);
    void NotifyEnd();

    const OutputFactory makeOutput_;
    const Clock clock_;
    std::mutex mutex_;                                            // one command at a time
    std::map<std::string, std::unique_ptr<WaveDevice>> devices_;  // by lower-case alias
    std::mutex notifierMutex_;
    std::function<void()> notifier_;
};

}  // namespace mci
