// Entry point of the whole-program tests, which drive pomu as a separate process.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "scratch_environment.h"
#include "session_bus.h"

int main(int argc, char** argv) {
    const pomu::test::ScratchEnvironment environment;
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    // Every pomu started here finds this bus, never the desktop's or one launched on demand;
    // the taskbar entry's signals are read on it.
    const pomu::test::PrivateSessionBus bus;
    return RUN_ALL_TESTS();
}
