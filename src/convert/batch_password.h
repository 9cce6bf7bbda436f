// The password of one drop batch: asked once when its first encrypted source comes, asked again
// once after a source it did not open, kept in memory for that batch only.
#pragma once

#include <optional>

#include "convert/secret.h"
#include "platform/text.h"

namespace pomu {

// The window's question: a masked password field, "Skip encrypted archives" and OK.
class PasswordQuestion {
  public:
    virtual ~PasswordQuestion() = default;
    // The password typed (it may be empty), or none when the user skips the batch's encrypted
    // archives. `text` says what the password is for.
    virtual std::optional<Secret> askPassword(NativeView text) = 0;
};

inline constexpr NativeView kSkipEncryptedText = POMU_T("Skip encrypted archives");

// What the question says: the first time, what the password is for; again, which archive the
// last one did not open.
NativeString passwordQuestionText(NativeView failedOn);

class BatchPassword {
  public:
    explicit BatchPassword(PasswordQuestion& question) : question_(question) {}

    // The password to try on an encrypted source, asked for when there is none yet or the last
    // one failed (twice a batch at most); null once the user skipped.
    const Secret* forSource();
    // The password did not open the source: the next encrypted source asks again.
    void failedOn(NativeView source);

  private:
    static constexpr int kMaxQuestions = 2;
    PasswordQuestion& question_;
    std::optional<Secret> password_;
    NativeString failedOn_;
    int asked_ = 0;
    bool skipped_ = false;
};

}  // namespace pomu
