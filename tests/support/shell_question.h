// Answers the shell's "delete it for good instead?" question while it lives (Windows).
#pragma once

#ifdef _WIN32
#include <atomic>
#include <thread>

namespace pomu::test {

// Watches this process's windows from a thread of its own, since the question runs a modal
// loop inside the shell's file operation, and answers every such dialog with the button id
// (IDYES or IDNO).
class ShellQuestionAnswer {
  public:
    explicit ShellQuestionAnswer(int button);
    ~ShellQuestionAnswer();
    ShellQuestionAnswer(const ShellQuestionAnswer&) = delete;
    ShellQuestionAnswer& operator=(const ShellQuestionAnswer&) = delete;

    int questions() const { return questions_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<int> questions_{0};
    std::thread thread_;
};

}  // namespace pomu::test
#endif
