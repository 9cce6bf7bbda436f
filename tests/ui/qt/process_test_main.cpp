// Entry point of the whole-program tests, which drive pomu as a separate process.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "scratch_environment.h"

int main(int argc, char** argv) {
    const pomu::test::ScratchEnvironment environment;
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
