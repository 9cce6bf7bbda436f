// A stand-in for the shell's taskbar object that records what the window asks of its button.
#pragma once

#include <windows.h>

#include <shobjidl.h>

#include <memory>
#include <optional>
#include <vector>

namespace pomu::test::win32 {

// Registered on this thread as the taskbar class while it lives, so the window's own
// CoCreateInstance gets it; the shell's taskbar cannot be read back from outside.
class TaskbarProbe {
  public:
    struct Call {
        std::optional<TBPFLAG> state;  // a SetProgressState call, else a SetProgressValue
        ULONGLONG completed = 0;
        ULONGLONG total = 0;
    };

    TaskbarProbe();
    ~TaskbarProbe();
    TaskbarProbe(const TaskbarProbe&) = delete;
    TaskbarProbe& operator=(const TaskbarProbe&) = delete;

    bool registered() const { return cookie_ != 0; }
    // The state last set, if any.
    std::optional<TBPFLAG> lastState() const;
    // The fractions set while the state was normal, in order.
    std::vector<double> normalFractions() const;

  private:
    bool comReady_ = false;
    // Shared with the objects handed out: the window may release its own after the probe.
    std::shared_ptr<std::vector<Call>> calls_;
    IClassFactory* factory_ = nullptr;
    DWORD cookie_ = 0;
};

}  // namespace pomu::test::win32
