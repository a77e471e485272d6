#pragma once
// A WAVE file (RIFF, RIFX or RF64) as a clip: libsndfile decodes it a piece at a time.
#include <sndfile.h>

#include <memory>
#include <string>

#include "platform/Mci.h"
#include "platform/linux/Clip.h"

namespace mci {

class WaveFile final : public Clip {
  public:
    // Opens a file without blocking and reads its header; refuses anything that is not a regular
    // file in the WAVE family. Returns 0, kFileNotFound or kInvalidFile.
    static platform::MciError Open(const std::string& path, std::unique_ptr<Clip>& clip);

    const Format& format() const override { return format_; }
    std::int64_t Frames() const override { return frames_; }
    std::int64_t Read(std::uint8_t* out, std::int64_t frames) override;
    void Rewind() override;

  private:
    std::unique_ptr<SNDFILE, decltype(&sf_close)> file_{nullptr, &sf_close};
    Format format_;
    std::int64_t frames_ = 0;
};

}  // namespace mci
