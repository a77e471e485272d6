#include "platform/ShortPath.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The short form through the usual two calls: ask for the size, then fetch.
std::string Short(const std::string& path) {
    const std::uint32_t needed = platform::GetShortPathName(path.c_str(), nullptr, 0);
    if (needed == 0)
        return "<missing>";
    std::string out(needed, '#');
    const std::uint32_t length = platform::GetShortPathName(path.c_str(), out.data(), needed);
    EXPECT_EQ(length + 1, needed);
    EXPECT_EQ(out[length], '\0');
    out.resize(length);
    return out;
}

class ShortPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "shortpath-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        shortRoot_ = Short(root_);
    }

    // Every entry a test made must come back from its short form, and that form must not hold
    // a blank.
    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(root_)) {
            const std::string path = entry.path().string();
            const std::string shortPath = Short(path);
            EXPECT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
            EXPECT_EQ(platform::ResolveShortPath(shortPath), path) << shortPath;
        }
        fs::remove_all(root_);
    }

    std::string Touch(const std::string& relative) {
        const fs::path path = root_ + "/" + relative;
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path.string();
    }

    std::string root_;
    std::string shortRoot_;
};

TEST_F(ShortPathTest, AliasesOnlyComponentsHoldingWhiteSpace) {
    const std::pair<const char*, const char*> cases[] = {
        {"my clips/won't drop in.wav", "/MYCLIP~1/WON'TD~1.WAV"},
        {"far out side.wav", "/FAROUT~1.WAV"},
        {"a b.wav", "/AB~1.WAV"},
        {"Loud/Bang.Wav", "/Loud/Bang.Wav"},
        {"fr/çà et là.wav", "/fr/çàETLà~1.WAV"},
        {"odd/tab\there.wav", "/odd/TABHER~1.WAV"},
        {"odd/a.b c.d.wave", "/odd/ABCD~1.WAV"},
        {"odd/x+y,z;w=[v] u.wav", "/odd/X_Y_Z_~1.WAV"},
        {"odd/.my clips", "/odd/MYCLIP~1"},
        {"odd/trailing dot.", "/odd/TRAILI~1"},
        {"blank/   ", "/blank/~1"},
        {"blank/ .wav", "/blank/~2.WAV"},
    };
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(Short(Touch(name)), shortRoot_ + expected) << name;
    }
    ASSERT_EQ(mkfifo((root_ + "/odd/pipe line").c_str(), 0600), 0);
    EXPECT_EQ(Short(root_ + "/odd/pipe line"), shortRoot_ + "/odd/PIPELI~1");
    EXPECT_EQ(platform::ResolveShortPath(root_ + "/odd/PIPELI~1/X~1"), std::nullopt);
}

TEST_F(ShortPathTest, NumbersNamesSharingAStemInByteOrder) {
    const std::string low = Touch("sends it low.wav");
    const std::string high = Touch("sends it high.wav");
    const std::string more = Touch("sends it more.wav");
    Touch("SENDSI~3.WAV");  // a real name that the third alias would otherwise hide behind
    EXPECT_EQ(Short(high), shortRoot_ + "/SENDSI~1.WAV");
    EXPECT_EQ(Short(low), shortRoot_ + "/SENDSI~2.WAV");
    EXPECT_EQ(Short(more), shortRoot_ + "/SENDSI~4.WAV");
    EXPECT_EQ(platform::ResolveShortPath(shortRoot_ + "/sendsi~2.wav"), low);
    EXPECT_EQ(platform::ResolveShortPath(shortRoot_ + "/SENDSI~5.WAV"), std::nullopt);
}

TEST_F(ShortPathTest, NeverSplitsACharacterAndSurvivesInvalidUtf8) {
    EXPECT_EQ(Short(Touch("abcde\xc3\xa9 f.wav")), shortRoot_ + "/ABCDE\xc3\xa9~1.WAV");
    EXPECT_EQ(Short(Touch("bad\xff name.wav")), shortRoot_ + "/BAD\xffNA~1.WAV");
    EXPECT_EQ(Short(Touch("cut\xe2\x82 short.wav")), shortRoot_ + "/CUT\xe2\x82S~1.WAV");
    EXPECT_EQ(Short(Touch("xy z\xf0\x9f")), shortRoot_ + "/XYZ\xf0\x9f~1");
}

TEST_F(ShortPathTest, MissingPathsGiveNothing) {
    const std::string file = Touch("f.wav");
    char buffer[8] = "intact";
    EXPECT_EQ(platform::GetShortPathName(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(platform::GetShortPathName("", buffer, sizeof buffer), 0u);
    for (const std::string& path : {root_ + "/no such.wav", root_ + "/no dir/f.wav", file + "/x",
                                    file + "/", root_ + "\\NOSUCH~1.WAV"}) {
        EXPECT_EQ(platform::GetShortPathName(path.c_str(), buffer, sizeof buffer), 0u) << path;
        EXPECT_EQ(platform::ResolveShortPath(path), std::nullopt) << path;
    }
    EXPECT_STREQ(buffer, "intact");
    EXPECT_EQ(platform::ResolveShortPath(""), std::nullopt);
}

TEST_F(ShortPathTest, TooSmallBufferIsLeftUntouched) {
    const std::string path = Touch("far out side.wav");
    const std::string expected = shortRoot_ + "/FAROUT~1.WAV";
    const auto needed = static_cast<std::uint32_t>(expected.size() + 1);
    std::string buffer(needed + 4, '#');
    for (std::uint32_t size : {0u, 1u, needed - 1}) {
        EXPECT_EQ(platform::GetShortPathName(path.c_str(), buffer.data(), size), needed);
        EXPECT_EQ(buffer, std::string(needed + 4, '#'));
    }
    EXPECT_EQ(platform::GetShortPathName(path.c_str(), buffer.data(), needed), needed - 1);
    EXPECT_STREQ(buffer.c_str(), expected.c_str());
}

TEST_F(ShortPathTest, KeepsSeparatorsAndResolvesToSlashes) {
    const std::string file = Touch("my clips/far out side.wav");
    const std::string mixed = root_ + "\\my clips//far out side.wav";
    const std::string shortPath = Short(mixed);
    EXPECT_EQ(shortPath, shortRoot_ + "\\MYCLIP~1//FAROUT~1.WAV");
    EXPECT_EQ(platform::ResolveShortPath(shortPath), file);
    EXPECT_EQ(platform::ResolveShortPath(mixed), file);
    EXPECT_EQ(platform::ResolveShortPath(root_ + "\\MYCLIP~1\\"), root_ + "/my clips/");
}

}  // namespace
