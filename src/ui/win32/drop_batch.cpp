// Reading a shell drop and handing its paths to the drop batches.
#include "ui/win32/drop_batch.h"

#include "ui/win32/batch_report.h"

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
    // The tooltip speaks of the last batch only; a drop that waits in the queue changes nothing.
    if (!theRunState().busy) clearBatchReport(state);
    switch (state.batches.drop(std::move(paths))) {
        case BatchEnd::finished:
            showBatchReport(state);
            break;
        case BatchEnd::queued:
            break;
        case BatchEnd::forceExit:
            if (state.window != nullptr) SendMessageW(state.window, WM_CLOSE, 0, 0);
            break;
    }
}

}  // namespace pomu::ui
