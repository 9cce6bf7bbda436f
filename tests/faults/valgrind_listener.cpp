// Under Valgrind, a test that caused memory errors or leaks fails in the results file too.
#include <gtest/gtest.h>

#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#include <valgrind/valgrind.h>

namespace {

class MemcheckListener : public testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo&) override { errorsBefore_ = VALGRIND_COUNT_ERRORS; }
    void OnTestEnd(const testing::TestInfo&) override {
        VALGRIND_DO_LEAK_CHECK;
        unsigned long leaked = 0;
        [[maybe_unused]] unsigned long dubious = 0, reachable = 0, suppressed = 0;
        VALGRIND_COUNT_LEAKS(leaked, dubious, reachable, suppressed);
        const unsigned errors = VALGRIND_COUNT_ERRORS - errorsBefore_;
        // Reported through the test's own result, as the body has ended.
        if (errors != 0 || leaked != 0) {
            ADD_FAILURE() << "memcheck: " << errors << " errors, " << leaked
                          << " bytes definitely lost";
        }
    }
    unsigned errorsBefore_ = 0;
};

// Registered before main runs the tests; only when Valgrind runs the program.
const bool registered = [] {
    if (RUNNING_ON_VALGRIND) {
        testing::UnitTest::GetInstance()->listeners().Append(new MemcheckListener);
    }
    return true;
}();

}  // namespace
#endif
