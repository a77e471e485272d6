// The clip player against the recording fake: what it sends, with which buffers, in what order,
// and what a clip clicked during another one does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "player/Module1.h"
#include "tests/support/FakePlatform.h"

namespace {

using Texts = std::vector<std::string>;
const std::string kStatus = "status sound1 mode";

struct Module1Test : ::testing::Test {
    fake::Platform& p = fake::State() = {};
};

TEST_F(Module1Test, OpensTheClipByItsShortPathPlaysItPollsUntilItStopsAndClosesIt) {
    p.shortPath = [](char* out, std::uint32_t) {
        return std::strlen(std::strcpy(out, "/MYCLIP~1/A.WAV"));
    };
    Module1::PlayWaveFile("/my clips/a.wav");
    EXPECT_EQ(p.shortPathCalls,
              (std::vector<std::pair<std::string, std::uint32_t>>{{"/my clips/a.wav", 260}}));
    EXPECT_EQ(p.commands, (Texts{"open waveaudio!/MYCLIP~1/A.WAV alias sound1", "play sound1",
                                 kStatus, kStatus, kStatus, kStatus, "close sound1"}));
    EXPECT_EQ(p.replySizes, (std::vector<std::uint32_t>{0, 0, 128, 128, 128, 128, 0}));
    EXPECT_EQ(p.results, std::vector<std::uint32_t>(7, 0));
    EXPECT_EQ(p.windows, std::vector<std::uintptr_t>(7, 0));
    EXPECT_EQ(p.doEventsCalls, 3);  // one pump pass after each "playing"

    // Where no short name exists the path comes back as it is: whole, quoted, if it has blanks.
    for (std::string path : {"/my clips/a.wav", "a\tb", "a\nb", "a\rb", "a\vb", "a\fb"}) {
        p = {};
        Module1::PlayWaveFile(path);
        EXPECT_EQ(p.commands.front(), "open \"" + path + "\" type waveaudio alias sound1");
    }
    // Where the path does not exist, the open names no file and the call returns at once.
    p = {};
    p.shortPath = [](char*, std::uint32_t) { return 0u; };
    Module1::PlayWaveFile("/missing.wav");
    EXPECT_EQ(p.commands,
              (Texts{"open waveaudio! alias sound1", "play sound1", kStatus, "close sound1"}));
    EXPECT_EQ(p.doEventsCalls, 0);
}

TEST_F(Module1Test, AShortPathLongerThanTheBufferIsAskedForAgainWithTheSizeItNeeds) {
    const std::string longForm(300, 'A');
    p.shortPath = [&](char* out, std::uint32_t size) {
        return size <= 300 ? 301u : std::strlen(std::strcpy(out, longForm.c_str()));
    };
    EXPECT_EQ(Module1::GetShortPath("/x"), longForm);
    EXPECT_EQ(p.shortPathCalls.back().second, 301u);
    // One that keeps growing between the two calls is given up rather than read unwritten.
    p.shortPath = [](char*, std::uint32_t size) { return size + 10; };
    EXPECT_EQ(Module1::GetShortPath("/x"), "");
}

TEST_F(Module1Test, OnlyAnExactNulTerminatedPlayingCounts) {
    for (std::string reply :
         {"playing", "Playing", "playing ", "playin", "", "stopped", "unterminated"}) {
        p.statusReply = [&](char* out, std::uint32_t size) {
            std::memset(out, 'x', size);
            const bool cut = reply == "unterminated";  // no NUL anywhere in the buffer
            std::memcpy(out, cut ? "playing" : reply.c_str(), cut ? 7 : reply.size() + 1);
        };
        EXPECT_EQ(Module1::IsAliasPlaying("sound1"), reply == "playing") << reply;
    }
}

TEST_F(Module1Test, AClipClickedDuringAnotherIsNotHeardAndBothReturnWhenTheFirstEnds) {
    p.pollsPerClip = 4;
    p.onDoEvents = [&, clicked = false]() mutable {
        if (!std::exchange(clicked, true)) {
            Module1::PlayWaveFile("/second.wav");
        }
    };
    Module1::PlayWaveFile("/first.wav");
    // The nested open finds the alias taken and its play lets the first clip play on; back in the
    // first call the alias is gone, so its wait ends and its close fails.
    EXPECT_EQ(p.commands,
              (Texts{"open waveaudio!/first.wav alias sound1", "play sound1", kStatus,
                     "open waveaudio!/second.wav alias sound1", "play sound1", kStatus, kStatus,
                     kStatus, kStatus, "close sound1", kStatus, "close sound1"}));
    EXPECT_EQ(p.results, (std::vector<std::uint32_t>{0, 0, 0, 289, 0, 0, 0, 0, 0, 0, 263, 263}));
    Module1::PlayWaveFile("/third.wav");  // the alias is free again: the next click plays
    EXPECT_EQ(p.playsStarted, 2);

    // A flood of clicks, each delivered by a pump pass, goes sixteen calls deep and no further.
    p = {};
    p.pollsPerClip = 100;
    p.onDoEvents = [&, clicks = 0]() mutable {
        while (++clicks <= 10000) {
            Module1::PlayWaveFile("/again.wav");
        }
    };
    Module1::PlayWaveFile("/first.wav");
    EXPECT_EQ(std::count(p.results.begin(), p.results.end(), 289u), 15);
    EXPECT_EQ(p.playsStarted, 1);
    EXPECT_EQ(p.commands.back(), "close sound1");
}

}  // namespace
