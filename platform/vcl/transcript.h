// An observer that writes the lines of a transcript: forms shown and
// hidden, message boxes with their answers, save dialogs.
#pragma once

#include "platform/vcl/desktop.h"

#include <functional>

namespace vcl {

// Lines:
//   shown FORM            hidden FORM          (FORM: the ClassName)
//   message CAPTION [icon] "text" -> ANSWER
//   save-dialog -> "PATH" | save-dialog -> cancelled
//   menu open | menu closed
class TranscriptObserver : public Observer {
  public:
    explicit TranscriptObserver(std::function<void(const String&)> sink) : sink_(std::move(sink)) {}
    void formShown(TForm& f) override;
    void formHidden(TForm& f) override;
    void messageBox(TApplication&, const MessageBoxRequest& r, int answer) override;
    void saveDialog(TApplication&, const SaveDialogRequest&,
                    const std::optional<String>& answer) override;
    void popupMenu(TPopupMenu&, bool open) override;

  private:
    std::function<void(const String&)> sink_;
};

String messageLine(const MessageBoxRequest& r, int answer);

} // namespace vcl
