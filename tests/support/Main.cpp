// The main of the test programs: an environment of their own first, then the application object
// that windows and the event pump need (its windows offscreen).
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/Support.h"

int main(int argc, char** argv) {
    support::Hermetic();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
