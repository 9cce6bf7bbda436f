// Every archiver child starts here: bound to pomu's life and holding the workspace locks.
#pragma once

#include <sys/types.h>

namespace pomu::platform::posix {

// The child's standard streams; -1 keeps this program's own.
struct ChildStreams {
    int input = -1;
    int output = -1;
    int error = -1;
};

// Starts the program with default signal handling and no descriptor of this program except
// the streams and the locks kept for children, in the given environment. It is killed when this
// process ends, however it ends (SIGKILL included). The id, or -1 when it could not be started
// (nothing then runs).
pid_t spawnBoundChild(const char* program, char* const arguments[], const ChildStreams& streams,
                      char* const environment[]);

// A lock descriptor every child started from now on holds too, so that an orphan still blocks
// a later instance from the folder it works in; until stopKeepingInChildren.
void keepInChildren(int fd);
void stopKeepingInChildren(int fd);

}  // namespace pomu::platform::posix
