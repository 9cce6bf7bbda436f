// The password dialog's procedure; the password leaves it as UTF-8 in a Secret, its other copies
// wiped.
#include "ui/win32/password_dialog.h"

#include "res/resource.h"

namespace pomu::ui {
namespace {

// RAR's own limit is 127 characters; 7-Zip takes longer ones.
constexpr int kMaxPasswordChars = 256;

struct Question {
    const NativeString& text;
    std::optional<Secret> answer;
};

// The field's text as UTF-8, and the field emptied. Each UTF-16 unit takes at most three bytes.
Secret takePassword(HWND dialog) {
    wchar_t typed[kMaxPasswordChars + 1] = {};
    char bytes[kMaxPasswordChars * 3] = {};
    const int chars = GetDlgItemTextW(dialog, IDC_PASSWORD, typed, kMaxPasswordChars + 1);
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, typed, chars, bytes, int(sizeof bytes), nullptr, nullptr);
    Secret password(std::string_view(bytes, std::size_t(size > 0 ? size : 0)));
    wipe(typed, sizeof typed);
    wipe(bytes, sizeof bytes);
    SetDlgItemTextW(dialog, IDC_PASSWORD, L"");
    return password;
}

INT_PTR CALLBACK passwordProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const auto* question = reinterpret_cast<const Question*>(lParam);
        SetDlgItemTextW(dialog, IDC_PASSWORD_TEXT, question->text.c_str());
        SendDlgItemMessageW(dialog, IDC_PASSWORD, EM_LIMITTEXT, kMaxPasswordChars, 0);
        return TRUE;  // the field, the first control that takes the focus, has it
    }
    if (message != WM_COMMAND) return FALSE;
    auto* question = reinterpret_cast<Question*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (LOWORD(wParam)) {
        case IDOK:
            question->answer = takePassword(dialog);
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

std::optional<Secret> PasswordDialog::askPassword(NativeView text) {
    if (owner_ == nullptr) return std::nullopt;
    const NativeString shown(text);
    Question question{shown, std::nullopt};
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner_, GWLP_HINSTANCE));
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_PASSWORD), owner_, passwordProcedure,
                    reinterpret_cast<LPARAM>(&question));
    return std::move(question.answer);
}

}  // namespace pomu::ui
