#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/ProgramDir.h"

namespace {

namespace fs = std::filesystem;

// The clips are found beside the executable, wherever the program was started from.
TEST(ProgramDir, IsTheExecutablesDirectoryNotTheWorkingDirectory) {
    const fs::path before = fs::current_path();
    ASSERT_EQ(::chdir("/tmp"), 0);
    const std::string appPath = platform::AppPath();
    fs::current_path(before);

    EXPECT_EQ(appPath, fs::canonical(OSTRIVANE_TEST_EXE_DIR).string());
    EXPECT_FALSE(fs::equivalent(appPath, "/tmp"));
    EXPECT_FALSE(appPath.ends_with('/'));
}

}  // namespace
