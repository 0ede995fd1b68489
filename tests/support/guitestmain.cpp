// Test main for widget tests: like the headless one, with a widget application
// on the offscreen platform unless the caller chose a display.

#include "support/sandbox.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string sandbox = quaylet::test::SandboxDir();
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(sandbox, ec);
    return result;
}
