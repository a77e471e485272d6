// The waveaudio device while its clip's read blocks (a network share, a disk waking up): status and
// close are answered at once. No clock: the read blocks until the test releases it, and the test
// releases it only after the calls have returned, so a call that waits for the read hangs.
#include <gtest/gtest.h>

#include <latch>

#include "platform/linux/WaveDevice.h"
#include "tests/support/Support.h"

namespace {

using namespace std::chrono_literals;
using Pulled = mci::AudioOutput::Pulled;

constexpr int kRate = 22050;

// What the test shares with a clip that the device's reader may outlive it with.
struct Gate {
    std::latch blocked{1};  // a read has begun blocking
    std::latch release{1};  // it may return
    std::latch freed{1};    // the clip has been let go
};

// 16-bit mono frames, each holding its own number; a read that starts at or past `fast` blocks
// until released.
class BlockingClip final : public mci::Clip {
  public:
    BlockingClip(std::shared_ptr<Gate> gate, std::int64_t frames, std::int64_t fast)
        : gate_(std::move(gate)), frames_(frames), fast_(fast) {}
    ~BlockingClip() override { gate_->freed.count_down(); }
    const mci::Format& format() const override { return format_; }
    std::int64_t Frames() const override { return frames_; }
    std::int64_t Read(std::uint8_t* out, std::int64_t frames) override {
        if (next_ >= fast_) {
            gate_->blocked.count_down();
            gate_->release.wait();
        }
        const std::int64_t read = std::min(frames, frames_ - next_);
        auto* samples = reinterpret_cast<std::int16_t*>(out);
        for (std::int64_t i = 0; i < read; ++i) {
            samples[i] = static_cast<std::int16_t>(next_ + i);
        }
        next_ += read;
        return read;
    }
    void Rewind() override { next_ = 0; }

  private:
    const std::shared_ptr<Gate> gate_;
    const mci::Format format_{kRate, 1, mci::SampleType::S16, {}};
    const std::int64_t frames_;
    const std::int64_t fast_;
    std::int64_t next_ = 0;
};

TEST(WaveDeviceTest, AnswersStatusAndClosesAtOnceWhileItsClipsReadIsBlocked) {
    const auto gate = std::make_shared<Gate>();
    std::set<support::HandOutput*> open;
    auto played = std::make_unique<support::HandOutput>(open, false);
    support::HandOutput& output = *played;
    std::chrono::steady_clock::time_point now{};
    // Read ahead a second at open, then a quarter of that at a time until 1.5 s, where it blocks.
    auto device = std::make_unique<mci::WaveDevice>(
        std::make_unique<BlockingClip>(gate, 4 * kRate, 3 * kRate / 2), std::move(played),
        [&] { return now; }, nullptr);
    ASSERT_TRUE(device->Open());
    device->Play();
    std::vector<std::int16_t> samples;
    const auto pull = [&](double seconds) {
        samples.assign(std::size_t(kRate * seconds), -1);
        return output.pull(reinterpret_cast<std::uint8_t*>(samples.data()), samples.size() * 2);
    };
    EXPECT_EQ(pull(1.0), (Pulled{2 * kRate, false}));
    EXPECT_EQ(samples[kRate - 1], kRate - 1);
    gate->blocked.wait();
    EXPECT_TRUE(device->Playing());
    EXPECT_EQ(device->PositionMs(), 1000u);
    // What was read before the stall, then nothing: an underrun, not the end.
    const Pulled beforeTheStall = pull(1.0);
    EXPECT_GT(beforeTheStall.bytes, 0u);
    EXPECT_FALSE(beforeTheStall.end);
    EXPECT_EQ(samples[0], kRate);
    EXPECT_EQ(pull(0.1), (Pulled{0, false}));
    EXPECT_TRUE(device->Playing());
    // The stall guard ends it while the read is still blocked, and close does not wait for it.
    now += 4s + mci::WaveDevice::kStallGrace;
    EXPECT_FALSE(device->Playing());
    device.reset();
    EXPECT_FALSE(gate->freed.try_wait());
    gate->release.count_down();
    gate->freed.wait();
}

}  // namespace
