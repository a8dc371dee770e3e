#include "frontend/qt/frontend.h"

#include "frontend/qt/form_window.h"
#include "platform/vcl/application.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/menus.h"
#include "platform/win32/machine.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>

namespace kvqt {

using namespace vcl;

namespace {
QString q(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<int>(s.size()));
}
} // namespace

// An unanswered dialog; cancelled when the frontend goes first.
struct Frontend::Pending {
    std::function<void()> cancel;
};

Frontend::Frontend(vcl::Desktop& desktop, win32::Machine* machine)
    : desktop_(desktop), machine_(machine), context_(std::make_unique<QObject>()) {
    desktop_.addObserver(this);
    desktop_.setMessageBoxService(this);
    desktop_.setSaveDialogService(this);
}

Frontend::~Frontend() {
    desktop_.removeObserver(this);
    desktop_.setMessageBoxService(nullptr);
    desktop_.setSaveDialogService(nullptr);
    std::vector<std::shared_ptr<Pending>> pending;
    {
        std::lock_guard<std::mutex> g(lock_);
        pending.swap(pending_);
    }
    for (auto& p : pending)
        p->cancel();
    context_.reset();
    windows_.clear();
}

void Frontend::gui(std::function<void()> fn) {
    QMetaObject::invokeMethod(context_.get(), std::move(fn), Qt::QueuedConnection);
}

void Frontend::input(uintptr_t app, std::function<void(vcl::TApplication&)> fn) {
    std::lock_guard<std::mutex> g(lock_);
    auto it = apps_.find(app);
    if (it == apps_.end()) return;
    TApplication* a = it->second;
    a->Post([a, fn = std::move(fn)] { fn(*a); });
}

FormWindow* Frontend::window(const std::string& formClass) const {
    for (auto it = order_.rbegin(); it != order_.rend(); ++it) {
        auto w = windows_.find({*it, formClass});
        if (w != windows_.end()) return w->second.get();
    }
    return nullptr;
}

QWidget* Frontend::widget(const std::string& path) const {
    const size_t dot = path.find('.');
    FormWindow* w = window(path.substr(0, dot));
    if (!w || dot == std::string::npos) return w;
    return w->widget(path.substr(dot + 1));
}

QWidget* Frontend::openDialog() const {
    return dialog_.data();
}

bool Frontend::answer(int id) {
    auto* box = qobject_cast<QMessageBox*>(dialog_.data());
    if (!box || !box->isVisible()) return false;
    for (QAbstractButton* b : box->buttons()) {
        if (b->property("kvAnswer").toInt() == id) {
            b->click();
            return true;
        }
    }
    return false;
}

void Frontend::applicationStarted(TApplication& app) {
    const uintptr_t key = keyOf(&app);
    {
        std::lock_guard<std::mutex> g(lock_);
        apps_[key] = &app;
    }
    gui([this, key] { order_.push_back(key); });
}

void Frontend::applicationEnded(TApplication& app) {
    const uintptr_t key = keyOf(&app);
    bool last;
    {
        std::lock_guard<std::mutex> g(lock_);
        apps_.erase(key);
        last = apps_.empty();
    }
    gui([this, key, last] {
        for (auto it = windows_.begin(); it != windows_.end();)
            it = it->first.first == key ? windows_.erase(it) : std::next(it);
        order_.erase(std::remove(order_.begin(), order_.end(), key), order_.end());
        if (last && onAllEnded) onAllEnded();
    });
}

void Frontend::formCreated(TForm& f) {
    const uintptr_t key = keyOf(f.OwnerApplication());
    FormState s = captureForm(f);
    gui([this, key, s] {
        auto w = std::make_unique<FormWindow>(
            s, [this, key](std::function<void(TApplication&)> fn) { input(key, std::move(fn)); });
        windows_[{key, s.className}] = std::move(w);
    });
}

void Frontend::formChanged(TForm& f) {
    const uintptr_t key = keyOf(f.OwnerApplication());
    FormState s = captureForm(f);
    s.controls.clear();
    gui([this, key, s] {
        auto it = windows_.find({key, s.className});
        if (it != windows_.end()) it->second->applyForm(s);
    });
}

void Frontend::formShown(TForm& f) {
    formChanged(f);
}
void Frontend::formHidden(TForm& f) {
    formChanged(f);
}

void Frontend::propertyChanged(TControl& c, Prop which) {
    TForm* f = c.OwnerForm();
    if (!f) return;
    if (&c == f) {
        if (which != Prop::Visible) formChanged(*f); // Visible comes as shown/hidden
        return;
    }
    const uintptr_t key = keyOf(f->OwnerApplication());
    const std::string cls = f->ClassName();
    ControlState s = captureControl(c);
    gui([this, key, cls, s] {
        auto it = windows_.find({key, cls});
        if (it != windows_.end()) it->second->applyControl(s);
    });
}

void Frontend::focusChanged(TForm& f, TWinControl* c) {
    const uintptr_t key = keyOf(f.OwnerApplication());
    const std::string cls = f.ClassName();
    const std::string name = c ? c->Name : std::string();
    gui([this, key, cls, name] {
        auto it = windows_.find({key, cls});
        if (it != windows_.end()) it->second->applyFocus(name);
    });
}

void Frontend::popupMenu(TPopupMenu& menu, bool open) {
    TForm* f = menu.OwnerForm();
    if (!f) return;
    const uintptr_t key = keyOf(f->OwnerApplication());
    const std::string cls = f->ClassName();
    ControlState s = captureControl(menu);
    gui([this, key, cls, s, open] {
        auto it = windows_.find({key, cls});
        if (it == windows_.end()) return;
        if (open)
            it->second->openMenu(s);
        else
            it->second->closeMenu();
    });
}

int Frontend::Ask(TApplication& app, const MessageBoxRequest& r) {
    auto reply = std::make_shared<Reply<int>>(app.clock());
    auto pending = std::make_shared<Pending>();
    pending->cancel = [reply] { reply->give(IDCANCEL); };
    {
        std::lock_guard<std::mutex> g(lock_);
        pending_.push_back(pending);
    }
    gui([this, r, reply, pending] {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        switch (r.icon()) {
        case MbIcon::Error:
            icon = QMessageBox::Critical;
            break;
        case MbIcon::Question:
            icon = QMessageBox::Question;
            break;
        case MbIcon::Warning:
            icon = QMessageBox::Warning;
            break;
        case MbIcon::Information:
            icon = QMessageBox::Information;
            break;
        case MbIcon::None:
            break;
        }
        auto* box = new QMessageBox(icon, q(r.caption), q(r.text));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setWindowModality(Qt::ApplicationModal);
        std::map<QAbstractButton*, int> ids;
        for (int id : r.answers()) {
            QMessageBox::StandardButton b = QMessageBox::Ok;
            switch (id) {
            case IDCANCEL:
                b = QMessageBox::Cancel;
                break;
            case IDYES:
                b = QMessageBox::Yes;
                break;
            case IDNO:
                b = QMessageBox::No;
                break;
            case IDABORT:
                b = QMessageBox::Abort;
                break;
            case IDRETRY:
                b = QMessageBox::Retry;
                break;
            case IDIGNORE:
                b = QMessageBox::Ignore;
                break;
            default:
                b = QMessageBox::Ok;
                break;
            }
            QAbstractButton* button = box->addButton(b);
            button->setProperty("kvAnswer", id);
            ids[button] = id;
        }
        QObject::connect(box, &QMessageBox::finished, box, [this, box, ids, reply, pending](int) {
            auto it = ids.find(box->clickedButton());
            // Closed without a button: the framework turns that into Cancel or
            // the only button.
            reply->give(it == ids.end() ? 0 : it->second);
            std::lock_guard<std::mutex> g(lock_);
            pending_.erase(std::remove(pending_.begin(), pending_.end(), pending), pending_.end());
        });
        dialog_ = box;
        box->open();
    });
    return reply->wait();
}

std::string Frontend::windowsPath(const std::string& hostPath) const {
    if (!machine_) return hostPath;
    const QString root = QDir(q(machine_->root().string())).absolutePath();
    const QString path = QDir::cleanPath(QString::fromLocal8Bit(hostPath.c_str()));
    if (!path.startsWith(root + "/")) return std::string();
    QString rest = path.mid(root.size() + 1); // "C/dir/file.txt"
    if (rest.size() < 2 || rest[1] != '/') return std::string();
    QString win = rest.left(1).toUpper() + ":\\" + rest.mid(2).replace('/', '\\');
    return win.toLatin1().toStdString();
}

std::optional<String> Frontend::Ask(TApplication& app, const SaveDialogRequest& r) {
    auto reply = std::make_shared<Reply<std::optional<String>>>(app.clock());
    auto pending = std::make_shared<Pending>();
    pending->cancel = [reply] { reply->give(std::nullopt); };
    {
        std::lock_guard<std::mutex> g(lock_);
        pending_.push_back(pending);
    }
    gui([this, r, reply, pending] {
        auto* dlg = new QFileDialog(nullptr, r.title.empty() ? QString("Save As") : q(r.title));
        dlg->setAttribute(Qt::WA_DeleteOnClose);
        dlg->setOption(QFileDialog::DontUseNativeDialog);
        dlg->setAcceptMode(QFileDialog::AcceptSave);
        dlg->setWindowModality(Qt::ApplicationModal);
        if (machine_) dlg->setDirectory(q((machine_->root() / "C").string()));
        if (!r.fileName.empty()) dlg->selectFile(q(r.fileName));
        QObject::connect(dlg, &QFileDialog::finished, dlg, [this, dlg, reply, pending](int result) {
            std::optional<String> answer;
            if (result == QDialog::Accepted && !dlg->selectedFiles().isEmpty()) {
                std::string win =
                    windowsPath(dlg->selectedFiles().front().toLocal8Bit().toStdString());
                if (!win.empty()) answer = win;
            }
            reply->give(answer);
            std::lock_guard<std::mutex> g(lock_);
            pending_.erase(std::remove(pending_.begin(), pending_.end(), pending), pending_.end());
        });
        dialog_ = dlg;
        dlg->open();
    });
    return reply->wait();
}

} // namespace kvqt
