#include "platform/vcl/transcript.h"

#include "platform/vcl/forms.h"

namespace vcl {

String messageLine(const MessageBoxRequest& r, int answer) {
    return "message " + r.caption + " [" + iconName(r.icon()) + "] \"" + r.text + "\" -> " +
           answerName(answer);
}

void TranscriptObserver::formShown(TForm& f) {
    sink_("shown " + f.ClassName());
}
void TranscriptObserver::formHidden(TForm& f) {
    sink_("hidden " + f.ClassName());
}

void TranscriptObserver::messageBox(TApplication&, const MessageBoxRequest& r, int answer) {
    sink_(messageLine(r, answer));
}

void TranscriptObserver::saveDialog(TApplication&, const SaveDialogRequest&,
                                    const std::optional<String>& answer) {
    sink_(answer ? "save-dialog -> \"" + *answer + "\"" : String("save-dialog -> cancelled"));
}

void TranscriptObserver::popupMenu(TPopupMenu&, bool open) {
    sink_(open ? "menu open" : "menu closed");
}

} // namespace vcl
