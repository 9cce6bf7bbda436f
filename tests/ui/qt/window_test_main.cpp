// Entry point of the in-process window tests: a widget application on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include "scratch_environment.h"

int main(int argc, char** argv) {
    const pomu::test::ScratchEnvironment environment;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
