// Finding a dialog of this process and pressing one of its buttons, from a watcher thread.
#include "support/shell_question.h"

#ifdef _WIN32
#include <windows.h>

#include <chrono>

namespace pomu::test {
namespace {

struct Search {
    DWORD process;
    HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (owner == search->process && IsWindowVisible(window) && std::wstring(name) == L"#32770") {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

ShellQuestionAnswer::ShellQuestionAnswer(int button)
    : thread_([this, button] {
          while (!stop_) {
              Search search{GetCurrentProcessId(), nullptr};
              EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
              if (search.found) {
                  ++questions_;
                  PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
              }
              std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
      }) {}

ShellQuestionAnswer::~ShellQuestionAnswer() {
    stop_ = true;
    thread_.join();
}

}  // namespace pomu::test
#endif
