// One application object for the whole test program; each case starts and
// ends its own window through InitInstance / ExitInstance.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/CRecorderApp.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    lk::gui::CRecorderApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
