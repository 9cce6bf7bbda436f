// GoogleTest entry point; standard input that never ends; on Linux a Qt core application.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#endif

namespace {

// Standard input becomes a pipe whose writing end stays open and silent: a tool that reads it
// waits for ever, so only the runner's own null device keeps a hidden tool from hanging.
// (ctest alone gives /dev/null, which would hide a runner that forgot it.)
void blockStandardInput() {
#ifdef _WIN32
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) return;
    SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
    SetStdHandle(STD_INPUT_HANDLE, readEnd);
#else
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    ::dup2(fds[0], 0);
    ::close(fds[0]);
#endif
    // The writing end is kept for the life of the process.
}

}  // namespace

int main(int argc, char** argv) {
    blockStandardInput();
    testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    QCoreApplication app(argc, argv);
#endif
    return RUN_ALL_TESTS();
}
