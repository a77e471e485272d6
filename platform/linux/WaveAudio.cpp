#include "platform/linux/WaveAudio.h"

#include <SDL2/SDL_rwops.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/linux/MciErrors.h"
#include "platform/linux/Sdl.h"

namespace mci {
namespace {

// Reads a whole regular file, or says why not. O_NONBLOCK keeps a FIFO from blocking the open;
// the type is then checked on the descriptor itself, so a swapped file cannot slip through.
platform::MciError ReadRegularFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) ? kFileNotFound
                                                                              : kInvalidFile;
    }
    struct stat info {};
    platform::MciError result = kOk;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uint64_t>(info.st_size) > kMaxClipFileBytes) {
        result = kInvalidFile;
    } else {
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;  // the file shrank while we read it: decode what there is
            }
            done += static_cast<std::size_t>(n);
        }
        bytes.resize(done);
    }
    ::close(fd);
    return result;
}

std::uint32_t Get16(const std::vector<std::uint8_t>& file, std::size_t at) {
    return std::uint32_t{file[at]} | std::uint32_t{file[at + 1]} << 8;
}

std::uint32_t Get32(const std::vector<std::uint8_t>& file, std::size_t at) {
    return Get16(file, at) | Get16(file, at + 2) << 16;
}

// SDL takes the size of an uncompressed frame from the header's block alignment, and accepts one
// smaller than the channels and sample size make (3 bytes for 236 channels of 24 bits). It then
// expands that many frames of the whole size, mostly from memory the file never filled, which
// would be played as sound.
bool FramesAreWhole(const std::vector<std::uint8_t>& file, std::size_t at, std::size_t size) {
    constexpr std::size_t kBasic = 16;       // tag, channels, rate, bytes a second, align, bits
    constexpr std::size_t kExtensible = 40;  // ... and the real tag at the head of a GUID
    if (size < kBasic) {
        return true;  // SDL refuses it itself
    }
    std::uint32_t tag = Get16(file, at);
    if (tag == 0xFFFE && size >= kExtensible) {
        tag = Get16(file, at + 24);
    }
    const bool uncompressed = tag == 1 || tag == 3 || tag == 6 || tag == 7;  // PCM, float, laws
    const std::uint32_t bytesPerSample = (Get16(file, at + 14) + 7) / 8;
    return !uncompressed || Get16(file, at + 12) == Get16(file, at + 2) * bytesPerSample;
}

// SDL allocates a chunk's declared size before it reads the chunk, so a header could make it ask
// for up to 4 GiB. Each declared size is cut to what the file holds, which is all SDL could read
// anyway: a truncated clip still plays what it has. False for a format chunk SDL would misread.
bool ClampChunkSizes(std::vector<std::uint8_t>& file) {
    constexpr std::size_t kChunkHeader = 8;  // four-letter code, then the size
    std::size_t at = 12;                     // past "RIFF", its size and "WAVE"
    while (at <= file.size() && file.size() - at >= kChunkHeader) {
        std::uint64_t size = Get32(file, at + 4);
        const std::uint64_t room = file.size() - at - kChunkHeader;
        if (size > room) {
            size = room;
            for (int i = 0; i < 4; ++i) {
                file[at + 4 + static_cast<std::size_t>(i)] =
                    static_cast<std::uint8_t>(room >> (8 * i));
            }
        }
        if (std::memcmp(&file[at], "fmt ", 4) == 0 &&
            !FramesAreWhole(file, at + kChunkHeader, static_cast<std::size_t>(size))) {
            return false;
        }
        at += kChunkHeader + size + (size & 1);  // chunks are padded to even sizes
    }
    return true;
}

}  // namespace

std::uint32_t Clip::FrameBytes() const {
    return SDL_AUDIO_BITSIZE(format.format) / 8 * format.channels;
}

std::uint32_t Clip::MillisecondsAt(std::size_t byteOffset) const {
    const std::uint64_t frames = byteOffset / FrameBytes();
    return static_cast<std::uint32_t>(frames * 1000 / static_cast<std::uint64_t>(format.freq));
}

platform::MciError LoadClip(const std::string& path, Clip& clip) {
    std::vector<std::uint8_t> readBuffer;
    return LoadClip(path, clip, readBuffer);
}

platform::MciError LoadClip(const std::string& path, Clip& clip, std::vector<std::uint8_t>& file) {
    const Sdl* sdl = LoadSdl();
    if (sdl == nullptr) {
        return kInvalidFile;
    }
    if (const auto error = ReadRegularFile(path, file); error != kOk) {
        return error;
    }
    if (!ClampChunkSizes(file)) {
        return kInvalidFile;
    }
    SDL_RWops* stream = sdl->RWFromConstMem(file.data(), static_cast<int>(file.size()));
    if (stream == nullptr) {
        return kInvalidFile;
    }
    SDL_AudioSpec format{};
    Uint8* buffer = nullptr;
    Uint32 length = 0;
    if (sdl->LoadWAV_RW(stream, 1, &format, &buffer, &length) == nullptr) {
        return kInvalidFile;
    }
    clip.buffer = {buffer, sdl->FreeWAV};
    clip.format = format;
    const std::uint32_t frameBytes = clip.FrameBytes();
    if (format.freq <= 0 || frameBytes == 0) {
        return kInvalidFile;
    }
    clip.samples = {buffer, length - length % frameBytes};
    return kOk;
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
        clip_.format, [this](std::uint8_t* out, std::size_t bytes) { return Pull(out, bytes); },
        [this] { Ended(); });
}

void WaveDevice::Play() {
    {
        std::lock_guard lock(mutex_);
        if (running_) {
            return;
        }
        if (position_ >= clip_.samples.size()) {
            position_ = 0;
        }
        const auto remaining =
            std::chrono::milliseconds(clip_.MillisecondsAt(clip_.samples.size() - position_));
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
    return clip_.MillisecondsAt(clip_.samples.size());
}

std::uint32_t WaveDevice::PositionMs() const {
    std::lock_guard lock(mutex_);
    return clip_.MillisecondsAt(position_);
}

std::size_t WaveDevice::Pull(std::uint8_t* out, std::size_t bytes) {
    std::lock_guard lock(mutex_);
    const std::size_t copied = running_ ? std::min(bytes, clip_.samples.size() - position_) : 0;
    std::copy_n(clip_.samples.begin() + static_cast<std::ptrdiff_t>(position_), copied, out);
    std::memset(out + copied, clip_.format.format == AUDIO_U8 ? 0x80 : 0, bytes - copied);
    position_ += copied;
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
