// The MCI string-command service on any bytes. The first two bytes pick the reply size (0 to
// 256); the rest is a series of command texts separated by NUL bytes, sent in turn to one service,
// as a client would. The audio output is a double that the harness pulls after every command, and
// the clock moves on 250 ms per command, so that clips end and stall. Commands may name the files
// in the scratch directory, which is the working directory: see MakeFixtures.
//
// Properties: nothing crashes or leaks; a reply is NUL-terminated within its size and nothing is
// written past that size, nor anything at all when the size is 0 (the buffer is always given, as
// the clip player gives one).
#include <unistd.h>

#include <sys/stat.h>
#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <string_view>
#include <vector>

#include "platform/linux/MciService.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/Wav.h"

namespace {

constexpr std::uint32_t kMaxReply = 256;
constexpr std::size_t kGuard = 32;
constexpr std::size_t kMaxCommands = 32;
constexpr int kPullBytes = 2048;
constexpr unsigned char kUnwritten = 0xA5;

// The open outputs, so that the harness can play the audio thread's part between commands.
class Outputs {
  public:
    class Output final : public mci::AudioOutput {
      public:
        explicit Output(Outputs& owner) : owner_(owner) {}
        ~Output() override { owner_.open_.erase(this); }
        bool Open(const SDL_AudioSpec& format, Pull pull) override {
            FUZZ_CHECK(format.freq > 0 && format.channels > 0);
            pull_ = std::move(pull);
            owner_.open_.insert(this);
            return true;
        }
        void SetPaused(bool) override {}
        void Close() override { owner_.open_.erase(this); }
        void PullOnce() {
            std::vector<std::uint8_t> buffer(kPullBytes);
            pull_(buffer.data(), kPullBytes);
        }

      private:
        Outputs& owner_;
        Pull pull_;
    };

    std::unique_ptr<mci::AudioOutput> Make() { return std::make_unique<Output>(*this); }
    void PullAll() {
        const std::vector<Output*> open(open_.begin(), open_.end());
        for (Output* output : open) {
            output->PullOnce();
        }
    }

  private:
    std::set<Output*> open_;
};

// Files a command can name, relative to the working directory: clips (one holding blanks, so
// that its short name "BC~1.WAV" resolves), and things that are not clips.
void MakeFixtures() {
    testwav::WritePcm16("a.wav", 22050, 1, testwav::Signal(2000, 1));
    testwav::WritePcm16("b c.wav", 8000, 2, testwav::Signal(300, 2));
    std::ofstream("empty.wav").close();
    std::filesystem::create_directory("dir.wav");
    mkfifo("fifo.wav", 0600);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::filesystem::current_path(fuzz::ScratchDir());
    MakeFixtures();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint32_t replySize = ((data[0] << 8) | data[1]) % (kMaxReply + 1);
    Outputs outputs;
    auto now = std::chrono::steady_clock::time_point{};
    mci::Service service([&] { return outputs.Make(); }, [&] { return now; });

    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    for (std::size_t count = 0; count < kMaxCommands && !rest.empty(); ++count) {
        const std::size_t end = std::min(rest.find('\0'), rest.size());
        const std::string command(rest.substr(0, end));
        rest.remove_prefix(std::min(end + 1, rest.size()));

        std::vector<unsigned char> reply(replySize + kGuard, kUnwritten);
        service.Send(command.c_str(), reinterpret_cast<char*>(reply.data()), replySize);
        if (replySize > 0) {
            FUZZ_CHECK(std::memchr(reply.data(), '\0', replySize) != nullptr);
        }
        for (std::size_t i = replySize; i < reply.size(); ++i) {
            FUZZ_CHECK(reply[i] == kUnwritten);
        }

        outputs.PullAll();
        now += std::chrono::milliseconds(250);
    }
    return 0;
}
