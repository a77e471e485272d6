// The main of the test programs: an environment of their own first, then the application object
// that windows and the event pump need (its windows offscreen).
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "tests/support/Support.h"

int main(int argc, char** argv) {
    support::Hermetic();
    // --without-liberation-sans: the machine of a user who lacks the font the forms ask for.
    if (argc > 1 && std::string_view(argv[argc - 1]) == "--without-liberation-sans") {
        const auto conf = std::filesystem::path(getenv("HOME")) / "fonts.conf";
        std::ofstream(conf)
            << "<fontconfig><include>/etc/fonts/fonts.conf</include><selectfont><rejectfont>"
               "<pattern><patelt name=\"family\"><string>Liberation Sans</string></patelt>"
               "</pattern></rejectfont></selectfont></fontconfig>\n";
        setenv("FONTCONFIG_FILE", conf.c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
