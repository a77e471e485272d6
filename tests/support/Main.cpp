// The test programs' main. The caller's environment goes but for PATH (display, sound server, audio
// driver, fonts, locale, home); --without-liberation-sans hides that font.
#include <gtest/gtest.h>

#include <QApplication>
#include <fstream>

#include "tests/support/SoundServer.h"
#include "tests/support/Support.h"

int main(int argc, char** argv) {
    const std::string path = getenv("PATH") != nullptr ? getenv("PATH") : "/usr/bin:/bin";
    clearenv();
    static const support::TempDir home;
    std::ofstream(home.path / "client.conf") << "autospawn = no\n";
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"PATH", path},
                                      {"HOME", home.path},
                                      {"XDG_RUNTIME_DIR", home.path},
                                      {"PULSE_CLIENTCONFIG", home.path / "client.conf"},
                                      {"LC_ALL", "C.UTF-8"},
                                      {"QT_QPA_PLATFORM", "offscreen"}})
        setenv(name, value.c_str(), 1);
    if (argc > 1 && std::string_view(argv[argc - 1]) == "--without-liberation-sans")
        setenv("FONTCONFIG_FILE",
               OSTRIVANE_SOURCE_DIR "/tests/support/without-liberation-sans.conf", 1);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new support::SoundServer);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
