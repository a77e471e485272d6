#include "platform/linux/WaveAudio.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/linux/MciErrors.h"

namespace mci {
namespace {

// The most channels an output here takes (a sound server's limit; SDL's is 8).
constexpr int kMaxChannels = 32;

bool IsWave(int format) {
    const int container = format & SF_FORMAT_TYPEMASK;  // RIFX is WAV with big-endian samples
    return container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX ||
           container == SF_FORMAT_RF64;
}

// Every sample keeps all its bits: nothing the file holds is rounded away.
SampleType DecodedType(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
        case SF_FORMAT_PCM_24:
        case SF_FORMAT_PCM_32:
            return SampleType::S32;
        case SF_FORMAT_FLOAT:
        case SF_FORMAT_DOUBLE:
            return SampleType::F32;
        default:
            return SampleType::S16;
    }
}

}  // namespace

std::size_t Format::FrameBytes() const {
    return static_cast<std::size_t>(channels) * (type == SampleType::S16 ? 2 : 4);
}

platform::MciError Clip::Open(const std::string& path, Clip& clip) {
    // O_NONBLOCK keeps a FIFO from blocking the open; the type is then checked on the descriptor
    // itself, so a swapped file cannot slip through.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) ? kFileNotFound
                                                                              : kInvalidFile;
    }
    struct stat status {};
    SF_INFO info{};
    SNDFILE* file = nullptr;
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
        file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);  // closes fd when it is closed
    } else {
        ::close(fd);
    }
    if (file == nullptr) {
        return kInvalidFile;
    }
    Clip opened;
    opened.file_.reset(file);
    opened.format_ = {info.samplerate, info.channels, DecodedType(info.format)};
    opened.frames_ = info.frames;
    if (!IsWave(info.format) || info.samplerate <= 0 || info.channels <= 0 ||
        info.channels > kMaxChannels || info.frames < 0) {
        return kInvalidFile;
    }
    clip = std::move(opened);
    return kOk;
}

std::uint32_t Clip::MillisecondsAt(std::int64_t frame) const {
    const std::int64_t rate = format_.rate;
    const std::int64_t ms = frame / rate * 1000 + frame % rate * 1000 / rate;
    return static_cast<std::uint32_t>(std::min<std::int64_t>(ms, UINT32_MAX));
}

std::int64_t Clip::Read(std::uint8_t* out, std::int64_t frames) {
    switch (format_.type) {
        case SampleType::S16:
            return sf_readf_short(file_.get(), reinterpret_cast<short*>(out), frames);
        case SampleType::S32:
            return sf_readf_int(file_.get(), reinterpret_cast<int*>(out), frames);
        case SampleType::F32:
            return sf_readf_float(file_.get(), reinterpret_cast<float*>(out), frames);
    }
    return 0;
}

void Clip::Rewind() {
    sf_seek(file_.get(), 0, SEEK_SET);
}

WaveDevice::WaveDevice(Clip clip, std::unique_ptr<AudioOutput> output, Clock clock,
                       std::function<void()> onEnd)
    : clip_(std::move(clip)),
      output_(std::move(output)),
      clock_(std::move(clock)),
      onEnd_(std::move(onEnd)) {}

WaveDevice::~WaveDevice() {
    output_->Close();
}

bool WaveDevice::Open() {
    return output_->Open(
        clip_.format(), [this](std::uint8_t* out, std::size_t bytes) { return Pull(out, bytes); },
        [this] { Ended(); });
}

void WaveDevice::Play() {
    {
        std::lock_guard lock(mutex_);
        if (running_) {
            return;
        }
        if (position_ >= clip_.Frames()) {
            clip_.Rewind();
            position_ = 0;
        }
        const auto remaining =
            std::chrono::milliseconds(clip_.MillisecondsAt(clip_.Frames() - position_));
        deadline_ = clock_() + remaining + kStallGrace;
        running_ = true;
    }
    output_->SetPaused(false);
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
    return clip_.MillisecondsAt(clip_.Frames());
}

std::uint32_t WaveDevice::PositionMs() const {
    std::lock_guard lock(mutex_);
    return clip_.MillisecondsAt(position_);
}

std::size_t WaveDevice::Pull(std::uint8_t* out, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    const std::size_t frameBytes = clip_.format().FrameBytes();
    const std::int64_t wanted =
        running_ ? std::min<std::int64_t>(static_cast<std::int64_t>(bytes / frameBytes),
                                          clip_.Frames() - position_)
                 : 0;
    const std::int64_t got = wanted > 0 ? std::max<std::int64_t>(clip_.Read(out, wanted), 0) : 0;
    if (got < wanted) {
        position_ = clip_.Frames();  // the file gives out before its header said: that is its end
    } else {
        position_ += got;
    }
    const std::size_t copied = static_cast<std::size_t>(got) * frameBytes;
    std::memset(out + copied, 0, bytes - copied);
    return copied;
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
