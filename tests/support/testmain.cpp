// Test main for headless tests: a sandboxed environment and a Qt core application.

#include "support/sandbox.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <filesystem>

int main(int argc, char* argv[])
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::string sandbox = quaylet::test::SandboxDir();
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(sandbox, ec);
    return result;
}
