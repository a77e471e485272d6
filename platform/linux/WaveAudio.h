#pragma once
// The waveaudio device: one WAVE clip, decoded a piece at a time as its audio output asks, and
// that output.
#include <sndfile.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Mci.h"

namespace mci {

// What a clip is decoded to: 16 bits for every format of 16 bits or fewer, compressed ones
// included; 32 bits for 24- and 32-bit PCM; float for float and double. Native byte order.
enum class SampleType { S16, S32, F32 };

struct Format {
    int rate = 0;
    int channels = 0;
    SampleType type = SampleType::S16;

    std::size_t FrameBytes() const;
    bool operator==(const Format&) const = default;
};

// An open WAVE file (RIFF, RIFX or RF64) and where its decoding has got to.
class Clip {
  public:
    // Opens a file without blocking and reads its header; refuses anything that is not a regular
    // file in the WAVE family. Returns 0, kFileNotFound or kInvalidFile.
    static platform::MciError Open(const std::string& path, Clip& clip);

    const Format& format() const { return format_; }
    std::int64_t Frames() const { return frames_; }
    std::uint32_t MillisecondsAt(std::int64_t frame) const;
    // Decodes up to `frames` frames into out; fewer at the end, or where the file gives out.
    std::int64_t Read(std::uint8_t* out, std::int64_t frames);
    void Rewind();

  private:
    std::unique_ptr<SNDFILE, decltype(&sf_close)> file_{nullptr, &sf_close};
    Format format_;
    std::int64_t frames_ = 0;
};

// Where samples go: a sound server's stream, or an SDL device; tests drive a double by hand.
class AudioOutput {
  public:
    // Fills exactly `bytes` bytes (whole frames), with silence past the clip's end, and returns
    // how many of them are the clip's: fewer than asked for once its end has been handed over.
    using Pull = std::function<std::size_t(std::uint8_t* out, std::size_t bytes)>;
    // Tells the device that every sample handed over has been played.
    using Ended = std::function<void()>;

    virtual ~AudioOutput() = default;
    // Prepares playback of this format, paused. False when no output can take it. Both functions
    // are called on the output's own thread.
    virtual bool Open(const Format& format, Pull pull, Ended ended) = 0;
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

    Clip clip_;
    const std::unique_ptr<AudioOutput> output_;
    const Clock clock_;
    const std::function<void()> onEnd_;

    mutable std::mutex mutex_;
    std::int64_t position_ = 0;  // frames handed to the output
    bool running_ = false;
    std::chrono::steady_clock::time_point deadline_{};  // when a stalled output counts as done
};

}  // namespace mci
