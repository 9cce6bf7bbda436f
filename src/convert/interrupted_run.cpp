// Finding the outputs a noted job wrote and moving them to the Recycle Bin / Trash.
#include "convert/interrupted_run.h"

#include <vector>

#include "convert/plan.h"
#include "fs/recycle.h"
#include "fs/workspace.h"

namespace pomu {
namespace {

constexpr int kMaxVolumes = 9999;
// FAT keeps modification times to 2 seconds; the job made sure nothing stood at the output
// when it noted it, so a file this new there is the archiver's.
constexpr std::int64_t kTimeSlack = 2 * platform::kModifiedTicksPerSecond;

bool writtenAfter(NativeView path, std::int64_t noted) {
    const std::optional<platform::FileIdentity> identity = platform::fileIdentity(path);
    return identity && identity->modified >= noted - kTimeSlack;
}

// The target, or its volumes from .001 up to the first one missing or older than the note.
std::vector<NativeString> outputsOf(const OutputNote& note) {
    if (!note.split) return {note.target};
    std::vector<NativeString> volumes;
    for (int number = 1; number <= kMaxVolumes; ++number) {
        const std::optional<NativeString> volume = volumePath(note.target, number);
        if (!volume || !platform::pathExists(*volume) || !writtenAfter(*volume, note.noted)) break;
        volumes.push_back(*volume);
    }
    return volumes;
}

bool undoOutput(const OutputNote& note) {
    bool undone = true;
    for (const NativeString& output : outputsOf(note)) {
        if (!platform::pathExists(output) || !writtenAfter(output, note.noted)) continue;
        if (!recycleFile(output)) undone = false;
    }
    return undone;
}

}  // namespace

void cleanUpInterruptedRuns() {
    clearLeftWorkspaces(undoOutput);
}

}  // namespace pomu
