// Noting the outputs of a compression as the archiver creates them, and knowing them after.
#include "convert/output_watch.h"

#include <algorithm>

#include "convert/plan.h"
#include "convert/room.h"

namespace pomu {
namespace {

// The archiver only adds to its file after creating it.
bool grewFrom(const platform::FileIdentity& now, const platform::FileIdentity& seen) {
    return now.volume == seen.volume && now.index == seen.index && now.size >= seen.size &&
           now.modified >= seen.modified;
}

}  // namespace

OutputWatch::OutputWatch(StatusWindow& window, Workspace& workspace, NativeView target, bool split,
                         const std::vector<int>& strayVolumes)
    : window_(window),
      workspace_(workspace),
      target_(target),
      split_(split),
      strays_(strayVolumes) {}

void OutputWatch::writeStatus(NativeView text) {
    window_.writeStatus(text);
}

void OutputWatch::showProgress(std::optional<double> fraction) {
    window_.showProgress(fraction);
}

void OutputWatch::handleEvents(platform::RunningTool& tool) {
    noteCreated();
    window_.handleEvents(tool);
}

void OutputWatch::noteCreated() {
    // The archiver writes its volumes one after another: each is looked for once the one
    // before it is there, and the one before is finished once the next stands there.
    for (;;) {
        if (!split_ && !seen_.empty()) break;
        const int number = split_ ? int(seen_.size()) + 1 : 0;
        if (std::find(strays_.begin(), strays_.end(), number) != strays_.end()) break;
        const std::optional<NativeString> path =
            split_ ? volumePath(target_, number) : std::optional(NativeString(target_));
        std::optional<platform::HeldFile> held = path ? platform::holdFile(*path) : std::nullopt;
        const std::optional<platform::FileIdentity> identity =
            held ? platform::fileIdentity(*path) : std::nullopt;
        if (!identity || !held->standsAt(*path)) break;
        if (!seen_.empty()) finish(seen_.back());
        seen_.push_back({number, *path, *identity, std::move(held)});
    }
    writeNotes();
}

void OutputWatch::finish() {
    noteCreated();
    if (!seen_.empty()) finish(seen_.back());
    writeNotes();
}

void OutputWatch::rewritten(const std::vector<NativeString>& outputs) {
    for (Seen& seen : seen_) {
        if (std::find(outputs.begin(), outputs.end(), seen.path) == outputs.end()) continue;
        const std::optional<platform::FileIdentity> now = platform::fileIdentity(seen.path);
        if (now && now->volume == seen.identity.volume && now->index == seen.identity.index) {
            seen.identity = *now;
            seen.noted = false;
        } else {
            seen.lost = true;
        }
    }
    finish();
}

void OutputWatch::finish(Seen& seen) {
    if (!seen.held) return;
    const std::optional<platform::FileIdentity> now =
        seen.held->standsAt(seen.path) ? platform::fileIdentity(seen.path) : std::nullopt;
    if (now && grewFrom(*now, seen.identity)) {
        seen.identity = *now;
        seen.noted = false;
    } else {
        seen.lost = true;
    }
    seen.held.reset();
}

void OutputWatch::writeNotes() {
    // A note that could not be written is tried again on the next pass.
    for (Seen& seen : seen_) {
        if (!seen.lost && !seen.noted)
            seen.noted = workspace_.noteWritten(seen.number, seen.identity);
    }
}

bool OutputWatch::isOwn(const Seen& seen) const {
    if (seen.lost) return false;
    const std::optional<platform::FileIdentity> now = platform::fileIdentity(seen.path);
    if (!now) return false;
    if (seen.held) return seen.held->standsAt(seen.path) && grewFrom(*now, seen.identity);
    // Let go: known by its generation where the disk gives one, else only as it was left.
    return isWrittenOutput(*now, seen.identity);
}

std::vector<NativeString> OutputWatch::ownOutputs() const {
    std::vector<NativeString> own;
    for (const Seen& seen : seen_) {
        if (isOwn(seen)) own.push_back(seen.path);
    }
    return own;
}

void OutputWatch::date(std::int64_t modified) {
    for (Seen& seen : seen_) {
        // A date that cannot be set leaves the proven archive as it is.
        if (!isOwn(seen) || !platform::setModifiedTime(seen.path, modified)) continue;
        // Known from here by its new date, once it reads back as the same file with it.
        const std::optional<platform::FileIdentity> now = platform::fileIdentity(seen.path);
        const platform::FileIdentity& was = seen.identity;
        if (now && now->volume == was.volume && now->index == was.index && now->size == was.size &&
            now->generation == was.generation) {
            seen.identity = *now;
        } else {
            seen.lost = true;
        }
    }
}

bool OutputWatch::flush() const {
    if (seen_.empty()) return false;
    for (const Seen& seen : seen_) {
        if (seen.lost || seen.held || !platform::flushFile(seen.path, seen.identity)) return false;
    }
    return platform::flushFolder(folderOf(target_));
}

}  // namespace pomu
