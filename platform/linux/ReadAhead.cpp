#include "platform/linux/ReadAhead.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace mci {
namespace {

// The reader reads a quarter of the buffer at a time, once there is room for it: it wakes a few
// times per buffer, not at every pull.
constexpr std::int64_t kPieces = 4;

}  // namespace

// What the reader and the device share; the last of them to let go frees it, so that the device
// need not wait for a read to return.
struct ReadAhead::Shared {
    std::unique_ptr<Clip> clip;  // the reader's alone once it runs
    std::size_t frameBytes = 0;
    std::int64_t capacity = 0;  // frames
    std::vector<std::uint8_t> ring;

    std::mutex mutex;              // never held across a read
    std::condition_variable wake;  // the reader waits for room, a rewind or being let go
    std::int64_t head = 0;         // the next frame to take, in the ring
    std::int64_t filled = 0;       // frames in the ring
    bool ended = false;            // the clip has nothing after what the ring holds
    std::int64_t resident = -1;    // the whole clip's frames, when it was read whole at open
    std::uint64_t rewinds = 0;
    bool abandoned = false;

    std::int64_t Piece() const { return std::max<std::int64_t>(capacity / kPieces, 1); }

    // Copies `frames` frames between the ring, from frame `at` on, and `bytes`.
    void Copy(std::int64_t at, std::int64_t frames, std::uint8_t* bytes, bool intoRing) {
        while (frames > 0) {
            at %= capacity;
            const std::int64_t run = std::min(frames, capacity - at);
            std::uint8_t* slot = ring.data() + static_cast<std::size_t>(at) * frameBytes;
            const std::size_t size = static_cast<std::size_t>(run) * frameBytes;
            if (intoRing) {
                std::memcpy(slot, bytes, size);
            } else {
                std::memcpy(bytes, slot, size);
            }
            bytes += size;
            at += run;
            frames -= run;
        }
    }
};

ReadAhead::ReadAhead(std::unique_ptr<Clip> clip) : shared_(std::make_shared<Shared>()) {
    Shared& s = *shared_;
    const Format& format = clip->format();
    s.frameBytes = format.FrameBytes();
    const std::int64_t ahead = std::int64_t{format.rate} * kAhead.count() / 1000;
    const std::int64_t most = kMaxBytes / static_cast<std::int64_t>(s.frameBytes);
    // One frame more than the clip: a clip that fits is known to have ended after one read.
    s.capacity = std::clamp<std::int64_t>(std::min(ahead - 1, clip->Frames()) + 1, 1, most);
    s.ring.resize(static_cast<std::size_t>(s.capacity) * s.frameBytes);
    s.filled = std::max<std::int64_t>(clip->Read(s.ring.data(), s.capacity), 0);
    s.ended = s.filled < s.capacity;
    s.clip = std::move(clip);
    if (s.ended) {
        s.resident = s.filled;
        return;
    }
    std::thread(Run, shared_).detach();
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->abandoned = true;
    }
    shared_->wake.notify_one();
}

ReadAhead::Taken ReadAhead::Take(std::uint8_t* out, std::int64_t frames) {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    const std::int64_t taken = std::min(frames, s.filled);
    s.Copy(s.head, taken, out, false);
    s.head = (s.head + taken) % s.capacity;
    s.filled -= taken;
    if (s.capacity - s.filled >= s.Piece()) {
        s.wake.notify_one();
    }
    return {taken, s.ended && s.filled == 0};
}

void ReadAhead::Rewind() {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    s.head = 0;
    if (s.resident >= 0) {
        s.filled = s.resident;
        return;
    }
    s.filled = 0;
    s.ended = false;
    ++s.rewinds;
    s.wake.notify_one();
}

void ReadAhead::Run(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    const std::int64_t piece = s.Piece();
    std::vector<std::uint8_t> read(static_cast<std::size_t>(piece) * s.frameBytes);
    std::unique_lock lock(s.mutex);
    std::uint64_t seen = s.rewinds;
    for (;;) {
        s.wake.wait(lock, [&] {
            return s.abandoned || s.rewinds != seen || (!s.ended && s.capacity - s.filled >= piece);
        });
        if (s.abandoned) {
            return;
        }
        const bool rewind = s.rewinds != seen;
        seen = s.rewinds;
        lock.unlock();
        if (rewind) {
            s.clip->Rewind();
        }
        const std::int64_t got = std::max<std::int64_t>(s.clip->Read(read.data(), piece), 0);
        lock.lock();
        if (s.rewinds == seen) {  // else rewound meanwhile: what was read is dropped
            s.Copy(s.head + s.filled, got, read.data(), true);
            s.filled += got;
            s.ended = got < piece;
        }
    }
}

}  // namespace mci
