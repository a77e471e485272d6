// Short names on Linux: an alias for each path component holding white space, and back.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/ShortPath.h"
#include "tests/support/Support.h"

namespace {

// A row: what it is about, a path below the test's folder and its short form there.
struct Alias {
    const char* name;
    const char* path;
    const char* alias;
};

// clang-format off
const Alias kAliases[] = {
    {"a blank in both",           "my clips/won't drop in.wav",     "/MYCLIP~1/WON'TD~1.WAV"},
    {"no white space",            "Loud/Bang.Wav",                  "/Loud/Bang.Wav"},
    {"letters kept",              "fr/çà et là.wav",                "/fr/çàETLà~1.WAV"},
    {"a tab",                     "odd/tab\there.wav",              "/odd/TABHER~1.WAV"},
    {"no-break and wide spaces",  "odd/nbsp\u00A0\u3000wide.wav",   "/odd/NBSPWI~1.WAV"},
    {"dots but the last",         "odd/a.b c.d.wave",               "/odd/ABCD~1.WAV"},
    {"characters a short name has not", "odd/x+y,z;w=[v] u.wav",    "/odd/X_Y_Z_~1.WAV"},
    {"a leading dot",             "odd/.my clips",                  "/odd/MYCLIP~1"},
    {"a trailing dot",            "odd/trailing dot.",              "/odd/TRAILI~1"},
    {"a hair space",              "odd/hair\u200Aline",             "/odd/HAIRLI~1"},
    {"a tilde",                   "odd/x~ ",                        "/odd/X~~1"},
    {"blanks alone",              "blank/   ",                      "/blank/~1"},
    {"a blank and an extension",  "blank/ .wav",                    "/blank/~2.WAV"},
    // Never half a character; stray bytes kept, and never brought together into a blank.
    {"two bytes at the cut",      "utf8/abcde\xc3\xa9 f.wav",       "/utf8/ABCDE\xc3\xa9~1.WAV"},
    {"four bytes at the cut",     "utf8/abcde\U0001F600 f.wav",     "/utf8/ABCDE\U0001F600~1.WAV"},
    {"a stray byte",              "utf8/bad\xff name.wav",          "/utf8/BAD\xffNA~1.WAV"},
    {"a character cut short",     "utf8/cut\xe2\x82 short.wav",     "/utf8/CUT\xe2\x82S~1.WAV"},
    {"cut short at the end",      "utf8/xy z\xf0\x9f",              "/utf8/XYZ\xf0\x9f~1"},
    {"a lead byte before a blank", "utf8/\xc2 \xa0",                "/utf8/\xc2_~1"},
    {"wide letters",              "utf8/\u0915\uFF21 \uFF22\u0917", "/utf8/\u0915\uFF21\uFF22\u0917~1"},
    {"a surrogate's bytes",       "utf8/\xed\xa0\x80" "abcde f",    "/utf8/\xed\xa0\x80" "ABC~1"},
    {"numbered in byte order",    "sends it low.wav",               "/SENDSI~2.WAV"},
    {"numbered first",            "sends it high.wav",              "/SENDSI~1.WAV"},
    {"a real name",               "SENDSI~3.WAV",                   "/SENDSI~3.WAV"},
    {"past the real name",        "sends it more.wav",              "/SENDSI~4.WAV"},
};
// clang-format on

struct ShortPathTest : ::testing::Test {
    void SetUp() override {
        for (const Alias& row : kAliases) {
            std::filesystem::create_directories((dir.path / row.path).parent_path());
            std::ofstream(dir.path / row.path).close();
        }
    }
    const support::TempDir dir;
    const std::string root = dir.path.string();
};

// Only components holding white space get an alias, numbered in byte order; separators stay.
TEST_F(ShortPathTest, AliasesOnlyComponentsHoldingWhiteSpace) {
    for (const Alias& row : kAliases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(support::ShortPath(root + "/" + row.path), root + row.alias);
    }
    const int fifo = mkfifo((root + "/odd/pipe line").c_str(), 0600);  // named, never opened
    ASSERT_EQ(fifo, 0);
    EXPECT_EQ(support::ShortPath(root + "/odd/pipe line"), root + "/odd/PIPELI~1");
    EXPECT_EQ(support::ShortPath(root + "\\my clips//won't drop in.wav"),
              root + "\\MYCLIP~1//WON'TD~1.WAV");
}

TEST_F(ShortPathTest, ResolvesAnAliasToItsFile) {
    EXPECT_EQ(platform::ResolveShortPath(root + "/sendsi~2.wav"), root + "/sends it low.wav");
    EXPECT_EQ(platform::ResolveShortPath(root + "/odd/x~~1"), root + "/odd/x~ ");
    const std::string bang = root + "/Loud/Bang.Wav";  // a buffer too small: the size it needs
    EXPECT_EQ(platform::GetShortPathName(bang.c_str(), nullptr, 0), bang.size() + 1);
    EXPECT_EQ(platform::ResolveShortPath(root + "/odd/x_y_z_~1.wav"),
              root + "/odd/x+y,z;w=[v] u.wav");
    EXPECT_EQ(platform::ResolveShortPath(root + "\\MYCLIP~1\\"), root + "/my clips/");
}

TEST_F(ShortPathTest, GivesNothingForWhatIsNotThere) {
    for (const std::string& path :
         {std::string(), root + "/no such.wav", root + "/no dir/f.wav", root + "/Loud/Bang.Wav/",
          root + "/Loud/Bang.Wav/x", root + "\\NOSUCH~1.WAV", root + "/MYCLIP~1/X~1"})
        EXPECT_EQ(support::ShortPath(path) + platform::ResolveShortPath(path).value_or(""),
                  "<none>")
            << path;
}

}  // namespace
