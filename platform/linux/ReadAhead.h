#pragma once
// A clip decoded ahead of its output, on a thread of its own, into a small buffer that the output
// takes from: a read that blocks (a network share, a disk waking up) delays the sound, but no
// thread that plays it or asks about it waits for the read. A clip that fits in the buffer is read
// whole at open and needs no thread.
#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/linux/Clip.h"

namespace mci {

class ReadAhead {
  public:
    // The buffer holds this much of the clip, more than a sound server asks for at once; it never
    // takes more than kMaxBytes, whatever the format.
    static constexpr std::chrono::milliseconds kAhead{1000};
    static constexpr std::int64_t kMaxBytes = 4 << 20;

    // Reads the clip's first buffer-full now; the reader reads the rest.
    explicit ReadAhead(std::unique_ptr<Clip> clip);
    // Returns at once: a reader stuck in a read lets the clip go when the read returns.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    struct Taken {
        std::int64_t frames = 0;
        bool end = false;  // the clip has given out, and every frame of it has been taken
    };
    // Up to `frames` frames into out, as many as have been read.
    Taken Take(std::uint8_t* out, std::int64_t frames);
    // From the first frame again: what was read ahead is dropped.
    void Rewind();

  private:
    struct Shared;
    static void Run(const std::shared_ptr<Shared>& shared);

    std::shared_ptr<Shared> shared_;
};

}  // namespace mci
