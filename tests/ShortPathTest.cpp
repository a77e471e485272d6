// Short (8.3) names: which components get one, what it looks like, the buffer contract, and that
// every short form leads back to its file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/ShortPath.h"
#include "tests/support/Support.h"

namespace {

// The short form through the usual two calls: ask for the size, then fetch.
std::string Short(const std::string& path) {
    const std::uint32_t needed = platform::GetShortPathName(path.c_str(), nullptr, 0);
    if (needed == 0) {
        return "<none>";
    }
    std::string out(needed + 1, '#');
    EXPECT_EQ(platform::GetShortPathName(path.c_str(), out.data(), needed), needed - 1);
    EXPECT_EQ(out.substr(needed - 1), std::string("\0#", 2));
    return out.substr(0, needed - 1);
}

class ShortPathTest : public ::testing::Test {
  protected:
    // Every entry a test made comes back from its short form, which holds no blank.
    void TearDown() override {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            const std::string shortPath = Short(entry.path().string());
            EXPECT_EQ(shortPath.find(' '), std::string::npos) << shortPath;
            EXPECT_EQ(platform::ResolveShortPath(shortPath), entry.path().string()) << shortPath;
        }
    }
    std::string Touch(const std::string& relative) {
        const auto path = dir.path / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << "x";
        return path.string();
    }
    support::TempDir dir;
    const std::string root = dir.path.string();
};

TEST_F(ShortPathTest, AliasesOnlyComponentsHoldingWhiteSpace) {
    // clang-format off
    const std::pair<const char*, const char*> cases[] = {
        {"my clips/won't drop in.wav", "/MYCLIP~1/WON'TD~1.WAV"}, {"Loud/Bang.Wav", "/Loud/Bang.Wav"},
        {"fr/çà et là.wav", "/fr/çàETLà~1.WAV"}, {"odd/tab\there.wav", "/odd/TABHER~1.WAV"},
        {"odd/nbsp\u00A0\u3000wide.wav", "/odd/NBSPWI~1.WAV"}, {"odd/a.b c.d.wave", "/odd/ABCD~1.WAV"},
        {"odd/x+y,z;w=[v] u.wav", "/odd/X_Y_Z_~1.WAV"}, {"odd/.my clips", "/odd/MYCLIP~1"},
        {"odd/trailing dot.", "/odd/TRAILI~1"}, {"blank/   ", "/blank/~1"}, {"blank/ .wav", "/blank/~2.WAV"},
        // Never half a character; stray bytes kept, and never brought together into a blank.
        {"utf8/abcde\xc3\xa9 f.wav", "/utf8/ABCDE\xc3\xa9~1.WAV"}, {"utf8/bad\xff name.wav", "/utf8/BAD\xffNA~1.WAV"},
        {"utf8/cut\xe2\x82 short.wav", "/utf8/CUT\xe2\x82S~1.WAV"}, {"utf8/xy z\xf0\x9f", "/utf8/XYZ\xf0\x9f~1"},
        {"utf8/\xc2 \xa0", "/utf8/\xc2_~1"}};
    // clang-format on
    for (const auto& [name, expected] : cases) {
        EXPECT_EQ(Short(Touch(name)), root + expected) << name;
    }
    ASSERT_EQ(mkfifo((root + "/odd/pipe line").c_str(), 0600), 0);  // named, never opened
    EXPECT_EQ(Short(root + "/odd/pipe line"), root + "/odd/PIPELI~1");
    EXPECT_EQ(platform::ResolveShortPath(root + "/odd/PIPELI~1/X~1"), std::nullopt);
}

TEST_F(ShortPathTest, NumbersNamesSharingAStemInByteOrderPastRealNames) {
    const std::string low = Touch("sends it low.wav");
    const std::string high = Touch("sends it high.wav");
    const std::string more = Touch("sends it more.wav");
    Touch("SENDSI~3.WAV");  // a real name that the third alias would otherwise hide behind
    EXPECT_EQ(Short(high), root + "/SENDSI~1.WAV");
    EXPECT_EQ(Short(low), root + "/SENDSI~2.WAV");
    EXPECT_EQ(Short(more), root + "/SENDSI~4.WAV");
    EXPECT_EQ(platform::ResolveShortPath(root + "/sendsi~2.wav"), low);
    EXPECT_EQ(platform::ResolveShortPath(root + "/SENDSI~5.WAV"), std::nullopt);
}

TEST_F(ShortPathTest, KeepsTheCallersSeparatorsAndResolvesToSlashes) {
    const std::string file = Touch("my clips/far out side.wav");
    const std::string mixed = root + "\\my clips//far out side.wav";
    EXPECT_EQ(Short(mixed), root + "\\MYCLIP~1//FAROUT~1.WAV");
    EXPECT_EQ(platform::ResolveShortPath(root + "\\MYCLIP~1//FAROUT~1.WAV"), file);
    EXPECT_EQ(platform::ResolveShortPath(mixed), file);
    EXPECT_EQ(platform::ResolveShortPath(root + "\\MYCLIP~1\\"), root + "/my clips/");
    EXPECT_EQ(Short(root + "/my clips/"), root + "/MYCLIP~1/");
}

TEST_F(ShortPathTest, MissingPathsGiveNothingAndTooSmallBuffersAreLeftAlone) {
    const std::string file = Touch("far out side.wav");
    char buffer[8] = "intact";
    for (const std::string& path : {std::string(), root + "/no such.wav", root + "/no dir/f.wav",
                                    file + "/x", file + "/", root + "\\NOSUCH~1.WAV"}) {
        EXPECT_EQ(platform::GetShortPathName(path.c_str(), buffer, sizeof buffer), 0u) << path;
        EXPECT_EQ(platform::ResolveShortPath(path), std::nullopt) << path;
    }
    EXPECT_EQ(platform::GetShortPathName(nullptr, buffer, sizeof buffer), 0u);
    const auto needed = static_cast<std::uint32_t>(root.size() + 14);  // "/FAROUT~1.WAV" + NUL
    for (std::uint32_t size : {0u, 1u, needed - 1}) {
        EXPECT_EQ(platform::GetShortPathName(file.c_str(), buffer, size), needed);
    }
    EXPECT_STREQ(buffer, "intact");
}

}  // namespace
