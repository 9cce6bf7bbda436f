// Reading a shell drop and handing its paths to the drop batches.
#include "ui/win32/drop_batch.h"

#include <utility>

#include "ui/win32/batch_report.h"
#include "ui/win32/handed_files.h"

namespace pomu::ui {

std::vector<NativeString> readDroppedPaths(HDROP drop) {
    std::vector<NativeString> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    paths.reserve(count);
    for (UINT index = 0; index < count; ++index) {
        const UINT length = DragQueryFileW(drop, index, nullptr, 0);
        NativeString path(std::size_t(length) + 1, L'\0');
        const UINT copied = DragQueryFileW(drop, index, path.data(), length + 1);
        path.resize(copied);
        paths.push_back(std::move(path));
    }
    return paths;
}

void handleDrop(WindowState& state, HDROP drop) {
    DropHandle owned(drop);
    if (!state.ready()) return;
    std::vector<NativeString> paths = readDroppedPaths(owned.get());
    owned.reset();
    state.folderDrops.intake().take(std::move(paths));
}

void runDrop(WindowState& state, Drop drop) {
    if (!state.ready()) return;
    // The tooltip speaks of the last batch only; a drop that waits in the queue changes nothing.
    if (!theRunState().busy) clearBatchReport(state);
    switch (state.batches.drop(std::move(drop))) {
        case BatchEnd::finished:
            showBatchReport(state);
            state.folderDrops.intake().resume();
            break;
        case BatchEnd::queued:
            break;
        case BatchEnd::forceExit:
            if (state.window != nullptr) SendMessageW(state.window, WM_CLOSE, 0, 0);
            break;
    }
}

void takeHandedFiles(WindowState& state, std::vector<NativeString> files) {
    state.handedFiles.push_back(std::move(files));
    PostMessageW(state.window, kHandedFilesMessage, 0, 0);
}

void handleHandedFiles(WindowState& state) {
    for (std::vector<NativeString>& files : std::exchange(state.handedFiles, {})) {
        if (state.ready()) state.folderDrops.intake().take(std::move(files));
    }
}

bool handleCopyData(WindowState& state, const COPYDATASTRUCT* message) {
    if (message == nullptr || !state.ready()) return false;
    std::optional<std::vector<NativeString>> files = readHandedFiles(*message);
    if (!files) return false;
    takeHandedFiles(state, std::move(*files));
    return true;
}

}  // namespace pomu::ui
