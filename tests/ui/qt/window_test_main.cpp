// Entry point of the in-process window tests: a widget application on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "scratch_environment.h"
#include "session_bus.h"

int main(int argc, char** argv) {
    const pomu::test::ScratchEnvironment environment;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The taskbar entry's signals go to a bus of the tests' own.
    const pomu::test::PrivateSessionBus bus;
    return RUN_ALL_TESTS();
}
