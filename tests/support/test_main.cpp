// GoogleTest entry point; on Linux a Qt core application exists for the event pump.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <QCoreApplication>
#endif

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
