#pragma once
// The waveaudio device: one decoded WAVE clip and the audio output that plays it.
#include <SDL2/SDL_audio.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/Mci.h"

namespace mci {

// A clip decoded to a sample format an audio output accepts as it is.
struct Clip {
    SDL_AudioSpec format{};  // freq, format and channels are set
    // The buffer SDL decoded the file into, kept rather than copied: every copy of a long clip
    // is a fresh allocation, paid for with a page fault per 4 KiB on every click.
    std::unique_ptr<std::uint8_t, void (*)(std::uint8_t*)> buffer{nullptr, nullptr};
    std::span<const std::uint8_t> samples;  // within buffer, whole frames only

    std::uint32_t FrameBytes() const;
    std::uint32_t MillisecondsAt(std::size_t byteOffset) const;
};

// Files larger than this are refused before they are read.
inline constexpr std::uint64_t kMaxClipFileBytes = 256ull << 20;

// Reads and decodes a WAVE file. Refuses, without blocking, anything that is not a regular file.
// Returns 0, kFileNotFound or kInvalidFile.
platform::MciError LoadClip(const std::string& path, Clip& clip);
// The same, reading the file through readBuffer, which the caller keeps from one clip to the next
// so that its pages stay mapped.
platform::MciError LoadClip(const std::string& path, Clip& clip,
                            std::vector<std::uint8_t>& readBuffer);

// Where samples go: a sound server's stream, or an SDL device; tests drive a double by hand.
class AudioOutput {
  public:
    // Fills exactly `bytes` bytes, with silence past the clip's end, and returns how many of them
    // are the clip's: fewer than asked for once its end has been handed over.
    using Pull = std::function<std::size_t(std::uint8_t* out, std::size_t bytes)>;
    // Tells the device that every sample handed over has been played.
    using Ended = std::function<void()>;

    virtual ~AudioOutput() = default;
    // Prepares playback of this format, paused. False when no output can take it. Both functions
    // are called on the output's own thread.
    virtual bool Open(const SDL_AudioSpec& format, Pull pull, Ended ended) = 0;
    virtual void SetPaused(bool paused) = 0;
    // After Close returns, neither function is called again.
    virtual void Close() = 0;
};

using Clock = std::function<std::chrono::steady_clock::time_point()>;

class WaveDevice {
  public:
    // A device whose output stops consuming still reports the end this long after it is due.
    static constexpr std::chrono::milliseconds kStallGrace{2000};

    // onEnd runs on the output's thread when the output has played the last sample.
    WaveDevice(Clip clip, std::unique_ptr<AudioOutput> output, Clock clock,
               std::function<void()> onEnd);
    ~WaveDevice();
    WaveDevice(const WaveDevice&) = delete;
    WaveDevice& operator=(const WaveDevice&) = delete;

    // Opens the output; false when there is none for this clip.
    bool Open();
    // Starts at once; a device already playing plays on, one at its end starts over.
    void Play();
    void Stop();
    bool Playing() const;
    std::uint32_t LengthMs() const;
    std::uint32_t PositionMs() const;

  private:
    std::size_t Pull(std::uint8_t* out, std::size_t bytes);
    void Ended();

    const Clip clip_;
    const std::unique_ptr<AudioOutput> output_;
    const Clock clock_;
    const std::function<void()> onEnd_;

    mutable std::mutex mutex_;
    std::size_t position_ = 0;  // bytes handed to the output
    bool running_ = false;
    std::chrono::steady_clock::time_point deadline_{};  // when a stalled output counts as done
};

}  // namespace mci
