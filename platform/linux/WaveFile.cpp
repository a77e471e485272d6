#include "platform/linux/WaveFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/linux/MciErrors.h"

namespace mci {
namespace {

// The most channels an output here takes: a sound server's limit (SDL's output mixes them
// into 5.1).
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

platform::MciError WaveFile::Open(const std::string& path, std::unique_ptr<Clip>& clip) {
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
    auto opened = std::make_unique<WaveFile>();
    opened->file_.reset(file);
    if (!IsWave(info.format) || info.samplerate <= 0 || info.channels <= 0 ||
        info.channels > kMaxChannels || info.frames < 0) {
        return kInvalidFile;
    }
    opened->format_ = {info.samplerate, info.channels, DecodedType(info.format),
                       ReadPositions(file, info.channels)};
    if (opened->format_.positions == StandardPositions(info.channels)) {
        opened->format_.positions.clear();  // so that it equals the format of a clip without a mask
    }
    opened->frames_ = info.frames;
    clip = std::move(opened);
    return kOk;
}

std::int64_t WaveFile::Read(std::uint8_t* out, std::int64_t frames) {
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

void WaveFile::Rewind() {
    sf_seek(file_.get(), 0, SEEK_SET);
}

}  // namespace mci
