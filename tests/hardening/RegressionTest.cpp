// Faults that hostile input found in the Linux platform, each pinned down by the input that found
// it in a readable form.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include "platform/ShortPath.h"
#include "platform/linux/MciService.h"
#include "platform/linux/SdlOutput.h"
#include "tests/support/Wav.h"

namespace {

// The largest block SDL has been asked for since the last reset.
std::atomic<std::size_t> largestRequest{0};

void Note(std::size_t bytes) {
    std::size_t seen = largestRequest.load();
    while (bytes > seen && !largestRequest.compare_exchange_weak(seen, bytes)) {
    }
}
void* Malloc(std::size_t bytes) {
    Note(bytes);
    return std::malloc(bytes);
}
void* Calloc(std::size_t count, std::size_t bytes) {
    Note(count * bytes);
    return std::calloc(count, bytes);
}
void* Realloc(void* block, std::size_t bytes) {
    Note(bytes);
    return std::realloc(block, bytes);
}

std::string Ask(mci::Service& service, const std::string& command) {
    char reply[64] = {};
    service.Send(command.c_str(), reply, sizeof reply);
    return reply;
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (8 * i));
    }
}

class RegressionTest : public ::testing::Test {
  protected:
    // One second of 16-bit mono at 22050 Hz, in sox's plain 44-byte layout.
    std::string Clip() {
        const auto path = dir.path() / "source.wav";
        testwav::WritePcm16(path, 22050, 1, testwav::Signal(22050, 1));
        const auto bytes = testwav::ReadAll(path);
        return {bytes.begin(), bytes.end()};
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        const auto path = dir.path() / name;
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    testwav::TempDir dir;
    mci::Service service{mci::MakeSdlOutput};
};

// Found by the wave_open fuzzer: a data chunk that declared 858 MiB made SDL allocate 858 MiB.
TEST_F(RegressionTest, ChunkSizesBeyondTheFileCostNoMemoryAndTheSamplesThereStillPlay) {
    std::string claimsData = Clip();
    Put32(claimsData, 4, 0xFFFFFFFF);   // RIFF size
    Put32(claimsData, 40, 0xFFFFFFFF);  // data size
    std::string claimsFormat = Clip();
    Put32(claimsFormat, 16, 0xFFFFFFFF);  // the "fmt " chunk swallows the rest of the file

    largestRequest = 0;
    ASSERT_EQ(service.Send(("open waveaudio!" + Write("data.wav", claimsData) + " alias a").c_str(),
                           nullptr, 0),
              0u);
    EXPECT_EQ(Ask(service, "status a length"), "1000") << "the samples present must all play";
    EXPECT_NE(
        service.Send(("open waveaudio!" + Write("fmt.wav", claimsFormat) + " alias b").c_str(),
                     nullptr, 0),
        0u);
    EXPECT_LT(largestRequest.load(), std::size_t{1} << 20);
    service.Send("close all", nullptr, 0);
}

// Found by the hostile-folder test: SDL's single-device drivers refused a clip clicked while the
// last one's device was still closing, so the click after a clip was silent.
TEST_F(RegressionTest, AClipOpenedWhileTheLastOneIsStillClosingPlays) {
    const std::string clip = Write("clip.wav", Clip());
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(service.Send(("open waveaudio!" + clip + " alias c").c_str(), nullptr, 0), 0u)
            << "open " << i;
        EXPECT_EQ(service.Send("play c", nullptr, 0), 0u);
        EXPECT_EQ(Ask(service, "status c mode"), "playing");
        EXPECT_EQ(service.Send("close c", nullptr, 0), 0u);
    }
}

// Found by the short_path fuzzer: dropping the blanks of "c\xc2. \xa0b x" put the stray bytes C2
// and A0 side by side, a no-break space, so the alias held white space and did not resolve.
TEST(ShortPathRegressionTest, StrayBytesThatMeetInAnAliasDoNotBecomeACharacter) {
    testwav::TempDir dir;
    for (const std::string name : {"c\xc2. \xa0"
                                   "b x.wav",
                                   "\xe2 \x82\xac y.wav", "a\xc2 \xa0.w\xc2 \xa0v"}) {
        const auto path = (dir.path() / name).string();
        std::ofstream(path).close();
        char buffer[512] = {};
        ASSERT_GT(platform::GetShortPathName(path.c_str(), buffer, sizeof buffer), 0u);
        const std::string shortPath = buffer;
        EXPECT_EQ(shortPath.find("\xc2\xa0"), std::string::npos);
        EXPECT_EQ(shortPath.find("\xe2\x82\xac"), std::string::npos);
        EXPECT_EQ(platform::ResolveShortPath(shortPath), path) << shortPath;
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Before SDL allocates anything, so that every block is freed by the functions that made it.
    SDL_SetMemoryFunctions(Malloc, Calloc, Realloc, std::free);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
