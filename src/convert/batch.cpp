// Running drop batches in turn, with the summary line and force-exit stop.
#include "convert/batch.h"

namespace pomu {

NativeString summaryText(int converted, bool zip) {
    NativeString text = toNative(converted);
    text += POMU_T(" ");
    text += zip ? POMU_T("zip complete!") : POMU_T("7z complete!");
    return text;
}

BatchEnd DropBatches::drop(std::vector<NativeString> paths) {
    if (runState_.busy) {
        if (!runState_.forceExit) queue_.push_back(std::move(paths));
        return BatchEnd::queued;
    }
    queue_.push_back(std::move(paths));
    runState_.busy = true;
    while (!queue_.empty()) {
        const std::vector<NativeString> batch = std::move(queue_.front());
        queue_.pop_front();
        if (!runBatch(batch)) {
            queue_.clear();  // force exit drops whatever waits
            return BatchEnd::forceExit;
        }
    }
    runState_.busy = false;
    return BatchEnd::finished;
}

bool DropBatches::runBatch(const std::vector<NativeString>& paths) {
    const int count = static_cast<int>(paths.size());
    int converted = 0;
    for (int index = 0; index < count; ++index) {
        if (convertFile(window_, paths[std::size_t(index)], index, count, options_, runState_)
                .converted()) {
            ++converted;
        }
        if (runState_.forceExit) return false;
    }
    lastConverted_ = converted;
    // The wording follows the ZIP option as it is now, at the end of the batch.
    window_.writeStatus(summaryText(converted, options_.zip));
    return true;
}

}  // namespace pomu
