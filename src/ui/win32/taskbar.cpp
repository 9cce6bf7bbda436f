// ITaskbarList3 on the window's button, made after Explorer says the button exists.
#include "ui/win32/taskbar.h"

#include <cmath>

namespace pomu::ui {
namespace {

constexpr ULONGLONG kSteps = 1000;

}  // namespace

UINT taskbarButtonCreatedMessage() {
    return RegisterWindowMessageW(L"TaskbarButtonCreated");
}

TaskbarButton::~TaskbarButton() {
    if (taskbar_) taskbar_->Release();
}

void TaskbarButton::created(HWND window) {
    window_ = window;
    if (taskbar_) {
        taskbar_->Release();
        taskbar_ = nullptr;
    }
    ITaskbarList3* made = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&made)))) {
        return;
    }
    if (FAILED(made->HrInit())) {
        made->Release();
        return;
    }
    taskbar_ = made;
    apply();
}

void TaskbarButton::showProgress(std::optional<double> fraction) {
    fraction_ = fraction;
    // A new batch's progress replaces the last one's red.
    if (fraction) failed_ = false;
    apply();
}

void TaskbarButton::showFailure() {
    failed_ = true;
    apply();
}

void TaskbarButton::windowActivated() {
    if (!failed_) return;
    failed_ = false;
    apply();
}

void TaskbarButton::apply() {
    if (!taskbar_ || !window_ || !IsWindow(window_)) return;
    if (failed_) {
        taskbar_->SetProgressState(window_, TBPF_ERROR);
        taskbar_->SetProgressValue(window_, kSteps, kSteps);
    } else if (fraction_) {
        taskbar_->SetProgressState(window_, TBPF_NORMAL);
        taskbar_->SetProgressValue(window_, ULONGLONG(std::llround(*fraction_ * kSteps)), kSteps);
    } else {
        taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
    }
}

}  // namespace pomu::ui
