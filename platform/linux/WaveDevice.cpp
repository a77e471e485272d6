#include "platform/linux/WaveDevice.h"

#include <cstring>
#include <utility>

namespace mci {

WaveDevice::WaveDevice(std::unique_ptr<Clip> clip, std::unique_ptr<AudioOutput> output, Clock clock,
                       std::function<void()> onEnd)
    : format_(clip->format()),
      frames_(clip->Frames()),
      ahead_(std::move(clip)),
      output_(std::move(output)),
      clock_(std::move(clock)),
      onEnd_(std::move(onEnd)) {}

WaveDevice::~WaveDevice() {
    output_->Close();
}

bool WaveDevice::Open() {
    return output_->Open(
        format_, [this](std::uint8_t* out, std::size_t bytes) { return Pull(out, bytes); },
        [this] { Ended(); });
}

void WaveDevice::Play() {
    bool restart = false;
    {
        std::lock_guard lock(mutex_);
        if (running_) {
            return;
        }
        restart = position_ >= frames_;
        if (restart) {
            ahead_.Rewind();
            position_ = 0;
        }
        const auto remaining =
            std::chrono::milliseconds(format_.MillisecondsAt(frames_ - position_));
        deadline_ = clock_() + remaining + kStallGrace;
        running_ = true;
    }
    if (restart) {
        output_->Restart();
    } else {
        output_->SetPaused(false);
    }
}

void WaveDevice::Stop() {
    {
        std::lock_guard lock(mutex_);
        running_ = false;
    }
    output_->SetPaused(true);
}

bool WaveDevice::Playing() const {
    std::lock_guard lock(mutex_);
    return running_ && clock_() < deadline_;
}

std::uint32_t WaveDevice::LengthMs() const {
    return format_.MillisecondsAt(frames_);
}

std::uint32_t WaveDevice::PositionMs() const {
    std::lock_guard lock(mutex_);
    return format_.MillisecondsAt(position_);
}

// A stopped device hands over nothing, as a late read does: neither is the clip's end.
AudioOutput::Pulled WaveDevice::Pull(std::uint8_t* out, std::size_t bytes) {
    const std::size_t frameBytes = format_.FrameBytes();
    ReadAhead::Taken taken;
    {
        std::lock_guard lock(mutex_);
        if (running_) {
            taken = ahead_.Take(out, static_cast<std::int64_t>(bytes / frameBytes));
        }
        // A file that gives out before its header said has reached its end there.
        position_ = taken.end ? frames_ : position_ + taken.frames;
    }
    const std::size_t copied = static_cast<std::size_t>(taken.frames) * frameBytes;
    std::memset(out + copied, 0, bytes - copied);
    return {copied, taken.end};
}

void WaveDevice::Ended() {
    {
        std::lock_guard lock(mutex_);
        if (!running_) {
            return;  // stopped meanwhile
        }
        running_ = false;
    }
    if (onEnd_) {
        onEnd_();
    }
}

}  // namespace mci
