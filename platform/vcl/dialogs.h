// Message boxes and the file-save dialog. Both are modal: the calling
// thread waits (on the clock) until the desktop's service answers.
#pragma once

#include "platform/vcl/component.h"

#include <optional>

namespace vcl {

// Buttons.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_ABORTRETRYIGNORE = 0x02;
constexpr UINT MB_YESNOCANCEL = 0x03;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_RETRYCANCEL = 0x05;
// Icons.
constexpr UINT MB_ICONHAND = 0x10;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x40;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

enum class MbIcon { None, Error, Question, Warning, Information };
enum class MbButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };

// One message box as the desktop's service sees it.
struct MessageBoxRequest {
    HWND owner = nullptr;
    String text;
    String caption;
    UINT flags = MB_OK;
    MbIcon icon() const;
    MbButtons buttons() const;
    // The answers its buttons give, left to right.
    std::vector<int> answers() const;
};
const char* iconName(MbIcon icon);  // "none", "error", "question", "warning", "information"
const char* answerName(int answer); // "OK", "Cancel", "Yes", "No", "Abort", "Retry", "Ignore"
std::optional<int> answerFromName(const String& name); // case-insensitive

// Shows a modal message box and returns the button chosen (IDOK...). An
// owner of null gives a box without owner window. Must run on the
// application's thread.
int MessageBox(HWND owner, const String& text, const String& caption, UINT flags);

struct SaveDialogRequest {
    String title;
    String filter;
    String defaultExt;
    String fileName;
    String initialDir;
};

// The file-save dialog. Execute shows it modally; true with FileName set to
// the chosen Windows path, false when cancelled.
class TSaveDialog : public TComponent {
  public:
    explicit TSaveDialog(TComponent* AOwner) : TComponent(AOwner) {}
    Kind kind() const override { return Kind::SaveDialog; }
    String FileName;
    String Filter;
    String DefaultExt;
    String Title;
    String InitialDir;
    bool Execute();
};

} // namespace vcl
