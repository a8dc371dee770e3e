#include "platform/vcl/dialogs.h"

#include "platform/vcl/application.h"
#include "platform/vcl/desktop.h"

#include <algorithm>
#include <cctype>

namespace vcl {

MbIcon MessageBoxRequest::icon() const {
    switch (flags & 0xF0) {
    case MB_ICONHAND:
        return MbIcon::Error;
    case MB_ICONQUESTION:
        return MbIcon::Question;
    case MB_ICONEXCLAMATION:
        return MbIcon::Warning;
    case MB_ICONASTERISK:
        return MbIcon::Information;
    default:
        return MbIcon::None;
    }
}

MbButtons MessageBoxRequest::buttons() const {
    switch (flags & 0x0F) {
    case MB_OKCANCEL:
        return MbButtons::OkCancel;
    case MB_ABORTRETRYIGNORE:
        return MbButtons::AbortRetryIgnore;
    case MB_YESNOCANCEL:
        return MbButtons::YesNoCancel;
    case MB_YESNO:
        return MbButtons::YesNo;
    case MB_RETRYCANCEL:
        return MbButtons::RetryCancel;
    default:
        return MbButtons::Ok;
    }
}

std::vector<int> MessageBoxRequest::answers() const {
    switch (buttons()) {
    case MbButtons::Ok:
        return {IDOK};
    case MbButtons::OkCancel:
        return {IDOK, IDCANCEL};
    case MbButtons::AbortRetryIgnore:
        return {IDABORT, IDRETRY, IDIGNORE};
    case MbButtons::YesNoCancel:
        return {IDYES, IDNO, IDCANCEL};
    case MbButtons::YesNo:
        return {IDYES, IDNO};
    case MbButtons::RetryCancel:
        return {IDRETRY, IDCANCEL};
    }
    return {IDOK};
}

const char* iconName(MbIcon icon) {
    switch (icon) {
    case MbIcon::None:
        return "none";
    case MbIcon::Error:
        return "error";
    case MbIcon::Question:
        return "question";
    case MbIcon::Warning:
        return "warning";
    case MbIcon::Information:
        return "information";
    }
    return "none";
}

namespace {
struct AnswerName {
    int id;
    const char* name;
};
constexpr AnswerName kAnswers[] = {{IDOK, "OK"},       {IDCANCEL, "Cancel"}, {IDABORT, "Abort"},
                                   {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}, {IDYES, "Yes"},
                                   {IDNO, "No"}};

String lower(String s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
} // namespace

const char* answerName(int answer) {
    for (const auto& a : kAnswers)
        if (a.id == answer) return a.name;
    return "?";
}

std::optional<int> answerFromName(const String& name) {
    for (const auto& a : kAnswers)
        if (lower(a.name) == lower(name)) return a.id;
    return std::nullopt;
}

int MessageBox(HWND owner, const String& text, const String& caption, UINT flags) {
    TApplication* app = TApplication::current();
    if (!app) return 0;
    MessageBoxRequest r{owner, text, caption, flags};
    int answer = app->desktop().messageBoxes().Ask(*app, r);
    const std::vector<int> allowed = r.answers();
    if (std::find(allowed.begin(), allowed.end(), answer) == allowed.end()) {
        // A box closed without a button: Cancel where there is one, else the
        // only button.
        answer = std::find(allowed.begin(), allowed.end(), IDCANCEL) != allowed.end()
                     ? IDCANCEL
                     : allowed.front();
    }
    app->desktop().notify([&](Observer& o) { o.messageBox(*app, r, answer); });
    return answer;
}

bool TSaveDialog::Execute() {
    TApplication* app = TApplication::current();
    if (!app) return false;
    SaveDialogRequest r{Title, Filter, DefaultExt, FileName, InitialDir};
    std::optional<String> answer = app->desktop().saveDialogs().Ask(*app, r);
    if (answer && answer->empty()) answer.reset();
    app->desktop().notify([&](Observer& o) { o.saveDialog(*app, r, answer); });
    if (!answer) return false;
    FileName = *answer;
    return true;
}

} // namespace vcl
