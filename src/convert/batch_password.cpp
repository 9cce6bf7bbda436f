// Asking for a batch's password when it is needed, and once more after it failed.
#include "convert/batch_password.h"

#include "convert/job.h"

namespace pomu {

NativeString passwordQuestionText(NativeView failedOn) {
    if (failedOn.empty()) return POMU_T("Password for the encrypted archives of this batch:");
    return POMU_T("Wrong password for ") + NativeString(fileNameOf(failedOn)) + POMU_T(".") +
           NativeString(kLineBreak) + POMU_T("Password for the rest of this batch:");
}

const Secret* BatchPassword::forSource() {
    if (skipped_) return nullptr;
    const bool stale = !failedOn_.empty();
    if (password_ && (!stale || asked_ >= kMaxQuestions)) return &*password_;
    ++asked_;
    std::optional<Secret> answer = question_.askPassword(passwordQuestionText(failedOn_));
    failedOn_.clear();
    password_ = std::move(answer);
    skipped_ = !password_;
    return password_ ? &*password_ : nullptr;
}

void BatchPassword::failedOn(NativeView source) {
    failedOn_ = NativeString(source);
}

}  // namespace pomu
