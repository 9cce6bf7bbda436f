// Finding the outputs a noted job wrote and moving them to the Recycle Bin / Trash.
#include "convert/interrupted_run.h"

#include "convert/plan.h"
#include "fs/recycle.h"
#include "fs/workspace.h"

namespace pomu {
namespace {

std::optional<NativeString> outputPath(const OutputNote& note, int number) {
    if (number == 0) return note.split ? std::nullopt : std::optional(note.target);
    return note.split ? volumePath(note.target, number) : std::nullopt;
}

// Only the files the job saw the archiver create, still the same files: a file made at the
// name after pomu ended, or one that stood there before, stays.
bool undoOutput(const OutputNote& note) {
    bool undone = true;
    for (const auto& [number, seen] : note.written) {
        const std::optional<NativeString> output = outputPath(note, number);
        if (!output) continue;
        const std::optional<platform::FileIdentity> now = platform::fileIdentity(*output);
        if (!now || !isWrittenOutput(*now, seen)) continue;
        if (!recycleFile(*output)) undone = false;
    }
    return undone;
}

}  // namespace

void cleanUpInterruptedRuns() {
    clearLeftWorkspaces(undoOutput);
}

}  // namespace pomu
