// The clip player against the recording platform fake: what it sends, in what order, and how it
// behaves when a second clip arrives through the event pump.
#include <gtest/gtest.h>

#include <cstring>

#include "player/Module1.h"
#include "tests/fakes/FakePlatform.h"

namespace {

using Commands = std::vector<std::string>;

class Module1Test : public ::testing::Test {
  protected:
    void SetUp() override { fake::Reset(); }
};

TEST_F(Module1Test, OneClipSendsTheFourCommandsAndPollsUntilStopped) {
    fake::State().pollsPerClip = 3;
    Module1::PlayWaveFile("/clips/a.wav");

    Commands expected{"open waveaudio!/clips/a.wav alias sound1", "play sound1"};
    expected.insert(expected.end(), 4, "status sound1 mode");  // three "playing", one "stopped"
    expected.push_back("close sound1");
    EXPECT_EQ(fake::Commands(), expected);
    EXPECT_EQ(fake::State().doEventsCalls, 3);  // one pump pass between two polls
    for (const auto& call : fake::State().calls) {
        EXPECT_EQ(call.callback, 0u) << call.command;
        EXPECT_EQ(call.replySize, call.command.starts_with("status") ? 128u : 0u) << call.command;
    }
    EXPECT_TRUE(fake::State().boundAlias.empty());
}

TEST_F(Module1Test, ShortPathGoesIntoTheOpenCommandAndFailureLeavesNoFile) {
    auto& p = fake::State();
    p.shortPath = [](const char*, char* buffer, std::uint32_t) {
        std::strcpy(buffer, "/CLIPS~1/FAROUT~1.WAV");
        return std::uint32_t{21};
    };
    Module1::PlayWaveFile("/clips dir/far out side.wav");
    EXPECT_EQ(fake::Commands().front(), "open waveaudio!/CLIPS~1/FAROUT~1.WAV alias sound1");
    EXPECT_EQ(p.shortPathRequests, Commands{"/clips dir/far out side.wav"});

    // No short form: the open names no file, nothing plays and the call returns at once.
    fake::Reset();
    fake::State().shortPath = [](const char*, char*, std::uint32_t) { return std::uint32_t{0}; };
    Module1::PlayWaveFile("/missing.wav");
    EXPECT_EQ(fake::Commands(), (Commands{"open waveaudio! alias sound1", "play sound1",
                                          "status sound1 mode", "close sound1"}));
    EXPECT_EQ(fake::State().doEventsCalls, 0);
}

TEST_F(Module1Test, ShortPathLongerThanTheBufferIsAskedForAgainWithTheSizeItNeeds) {
    const std::string longShort(300, 'A');
    auto& p = fake::State();
    p.shortPath = [&](const char*, char* buffer, std::uint32_t size) {
        if (size <= longShort.size()) {
            return static_cast<std::uint32_t>(longShort.size() + 1);
        }
        std::memcpy(buffer, longShort.c_str(), longShort.size() + 1);
        return static_cast<std::uint32_t>(longShort.size());
    };
    EXPECT_EQ(Module1::GetShortPath("/x"), longShort);
    EXPECT_EQ(p.shortPathRequests.size(), 2u);

    // A path that keeps growing between the two calls gives up rather than read garbage.
    p.shortPath = [](const char*, char*, std::uint32_t size) { return size + 10; };
    EXPECT_EQ(Module1::GetShortPath("/x"), "");
}

TEST_F(Module1Test, OnlyAnExactNulTerminatedPlayingCounts) {
    auto& p = fake::State();
    const auto replyWith = [&](std::string text, bool terminate) {
        p.statusOverride = [text, terminate](char* reply, std::uint32_t size) {
            std::memset(reply, 'x', size);
            std::memcpy(reply, text.data(), std::min<std::size_t>(text.size(), size));
            if (terminate) {
                reply[text.size()] = '\0';
            }
        };
        return Module1::IsAliasPlaying("sound1");
    };
    EXPECT_TRUE(replyWith("playing", true));
    EXPECT_FALSE(replyWith("Playing", true));
    EXPECT_FALSE(replyWith("playing ", true));
    EXPECT_FALSE(replyWith("stopped", true));
    EXPECT_FALSE(replyWith("", true));
    EXPECT_FALSE(replyWith("playing", false));  // no NUL anywhere in the 128 characters
    EXPECT_EQ(fake::Commands().back(), "status sound1 mode");
}

TEST_F(Module1Test, ClipClickedDuringAnotherIsNotHeardAndBothReturnWhenTheFirstEnds) {
    auto& p = fake::State();
    p.pollsPerClip = 4;
    bool nestedReturned = false;
    p.onDoEvents = [&] {
        p.onDoEvents = nullptr;  // one nested click
        Module1::PlayWaveFile("/second.wav");
        nestedReturned = true;
    };
    Module1::PlayWaveFile("/first.wav");

    EXPECT_TRUE(nestedReturned);
    EXPECT_EQ(p.playsStarted, 1);  // the nested play went to the first clip, which played on
    const auto& calls = p.calls;
    ASSERT_GE(calls.size(), 8u);
    EXPECT_EQ(calls[0].command, "open waveaudio!/first.wav alias sound1");
    EXPECT_EQ(calls[0].result, 0u);
    EXPECT_EQ(calls[3].command, "open waveaudio!/second.wav alias sound1");
    EXPECT_EQ(calls[3].result, 289u);  // the alias is taken
    EXPECT_EQ(calls[4].command, "play sound1");
    EXPECT_EQ(calls[4].result, 0u);
    // The nested call closed the alias; the outer call's next poll finds it unbound and stops,
    // and its own close fails quietly.
    EXPECT_EQ(calls[calls.size() - 2].command, "status sound1 mode");
    EXPECT_EQ(calls[calls.size() - 2].result, 263u);
    EXPECT_EQ(calls.back().command, "close sound1");
    EXPECT_EQ(calls.back().result, 263u);
    EXPECT_TRUE(p.boundAlias.empty());

    // The alias is free again: the next click plays normally.
    p.calls.clear();
    Module1::PlayWaveFile("/third.wav");
    EXPECT_EQ(p.calls.front().result, 0u);
    EXPECT_EQ(p.playsStarted, 2);
}

TEST_F(Module1Test, AFloodOfNestedClicksIsBoundedAndTheClipStillPlaysOnceToItsEnd) {
    auto& p = fake::State();
    p.pollsPerClip = 100;
    int depth = 0;
    int deepest = 0;
    int clicks = 0;
    // A pump pass delivers every queued click, each one in turn running its handler.
    p.onDoEvents = [&] {
        while (clicks < 10000) {
            ++clicks;
            ++depth;
            deepest = std::max(deepest, depth);
            Module1::PlayWaveFile("/again.wav");
            --depth;
        }
    };
    Module1::PlayWaveFile("/first.wav");

    EXPECT_EQ(clicks, 10000);  // every click was delivered and returned
    EXPECT_LT(deepest, 10000);
    const auto commands = fake::Commands();
    const auto opens = std::count_if(commands.begin(), commands.end(),
                                     [](const auto& c) { return c.starts_with("open"); });
    EXPECT_LE(opens, 16);  // calls past the bound send nothing at all
    EXPECT_GE(opens, 2);
    EXPECT_EQ(p.playsStarted, 1);
    EXPECT_TRUE(p.boundAlias.empty());
}

}  // namespace
