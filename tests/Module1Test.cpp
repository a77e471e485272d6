// The clip player against the recording fake: what it sends, with which buffers, in what order,
// and what a clip clicked during another one does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "player/Module1.h"
#include "tests/support/FakePlatform.h"

namespace {

using Texts = std::vector<std::string>;

class Module1Test : public ::testing::Test {
  protected:
    void SetUp() override { fake::State() = {}; }
    fake::Platform& p = fake::State();
};

TEST_F(Module1Test, OpensTheClipByItsShortPathPlaysItPollsUntilItStopsAndClosesIt) {
    p.shortPath = [](char* buffer, std::uint32_t) {
        return std::strlen(std::strcpy(buffer, "/MYCLIP~1/A.WAV"));
    };
    Module1::PlayWaveFile("/my clips/a.wav");
    using Call = std::pair<std::string, std::uint32_t>;
    EXPECT_EQ(p.shortPathCalls, (std::vector<Call>{{"/my clips/a.wav", 260}}));
    EXPECT_EQ(p.commands, (Texts{"open waveaudio!/MYCLIP~1/A.WAV alias sound1", "play sound1",
                                 "status sound1 mode", "status sound1 mode", "status sound1 mode",
                                 "status sound1 mode", "close sound1"}));
    EXPECT_EQ(p.replySizes, (std::vector<std::uint32_t>{0, 0, 128, 128, 128, 128, 0}));
    EXPECT_EQ(p.results, std::vector<std::uint32_t>(7, 0));
    EXPECT_EQ(p.windows, std::vector<std::uintptr_t>(7, 0));
    EXPECT_EQ(p.doEventsCalls, 3);  // one pump pass after each "playing"

    // A volume without short names gives the long path back: it goes whole, quoted.
    p = {};
    Module1::PlayWaveFile("/my clips/a.wav");
    EXPECT_EQ(p.commands.front(), "open \"/my clips/a.wav\" type waveaudio alias sound1");
    EXPECT_EQ(p.playsStarted, 1);
    for (const char* blank : {"a\tb", "a\nb", "a\rb", "a\vb", "a\fb"}) {
        p = {};
        Module1::PlayWaveFile(blank);
        EXPECT_EQ(p.commands.front(),
                  "open \"" + std::string(blank) + "\" type waveaudio alias sound1");
    }

    // Without a short path the open names no file and the call returns at once.
    p = {};
    p.shortPath = [](char*, std::uint32_t) { return 0u; };
    Module1::PlayWaveFile("/missing.wav");
    EXPECT_EQ(p.commands, (Texts{"open waveaudio! alias sound1", "play sound1",
                                 "status sound1 mode", "close sound1"}));
    EXPECT_EQ(p.doEventsCalls, 0);
}

TEST_F(Module1Test, AShortPathLongerThanTheBufferIsAskedForAgainWithTheSizeItNeeds) {
    const std::string longForm(300, 'A');
    p.shortPath = [&](char* buffer, std::uint32_t size) {
        return size <= 300 ? 301u : std::strlen(std::strcpy(buffer, longForm.c_str()));
    };
    EXPECT_EQ(Module1::GetShortPath("/x"), longForm);
    EXPECT_EQ(p.shortPathCalls.back().second, 301u);
    // One that keeps growing between the two calls is given up rather than read unwritten.
    p.shortPath = [](char*, std::uint32_t size) { return size + 10; };
    EXPECT_EQ(Module1::GetShortPath("/x"), "");
}

TEST_F(Module1Test, OnlyAnExactNulTerminatedPlayingCounts) {
    const auto playing = [&](std::string reply, bool terminated) {
        p.statusReply = [=](char* out, std::uint32_t size) {
            std::memset(out, 'x', size);
            std::memcpy(out, reply.c_str(), reply.size() + terminated);
        };
        return Module1::IsAliasPlaying("sound1");
    };
    EXPECT_TRUE(playing("playing", true));
    for (const char* other : {"Playing", "playing ", "playin", "", "stopped"}) {
        EXPECT_FALSE(playing(other, true)) << other;
    }
    EXPECT_FALSE(playing("playing", false));  // no NUL anywhere in the 128 characters
}

TEST_F(Module1Test, AClipClickedDuringAnotherIsNotHeardAndBothReturnWhenTheFirstEnds) {
    p.pollsPerClip = 4;
    p.onDoEvents = [&, clicked = false]() mutable {
        if (!std::exchange(clicked, true)) {
            Module1::PlayWaveFile("/second.wav");
        }
    };
    Module1::PlayWaveFile("/first.wav");
    const std::string status = "status sound1 mode";
    EXPECT_EQ(p.commands, (Texts{"open waveaudio!/first.wav alias sound1", "play sound1", status,
                                 "open waveaudio!/second.wav alias sound1", "play sound1", status,
                                 status, status, status, "close sound1", status, "close sound1"}));
    // The nested open finds the alias taken and its play lets the first clip play on; back in
    // the first call, the alias is gone, so its wait ends and its close fails.
    EXPECT_EQ(p.results, (std::vector<std::uint32_t>{0, 0, 0, 289, 0, 0, 0, 0, 0, 0, 263, 263}));
    EXPECT_EQ(p.playsStarted, 1);

    Module1::PlayWaveFile("/third.wav");  // the alias is free again: the next click plays
    EXPECT_EQ(p.playsStarted, 2);
}

TEST_F(Module1Test, AFloodOfNestedClicksIsBoundedAndTheClipStillPlaysOnceToItsEnd) {
    p.pollsPerClip = 100;
    int clicks = 0;
    p.onDoEvents = [&] {  // a pump pass delivers every queued click, each running its handler
        while (++clicks <= 10000) {
            Module1::PlayWaveFile("/again.wav");
        }
    };
    Module1::PlayWaveFile("/first.wav");
    // Sixteen calls deep at most: those past the bound send nothing at all.
    EXPECT_EQ(std::count_if(p.commands.begin(), p.commands.end(),
                            [](const auto& c) { return c.starts_with("open"); }),
              16);
    EXPECT_EQ(p.playsStarted, 1);
    EXPECT_EQ(p.commands.back(), "close sound1");
}

}  // namespace
