#include "frontend/qt/form_window.h"

#include "platform/vcl/user.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

namespace kvqt {

using vcl::Kind;

namespace {

QString q(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<int>(s.size()));
}

bool isField(Kind k) {
    return k == Kind::Edit || k == Kind::ComboBox || k == Kind::DriveComboBox;
}
bool isButton(Kind k) {
    return k == Kind::Button || k == Kind::BitBtn;
}
bool isWidgetKind(Kind k) {
    return k != Kind::PopupMenu && k != Kind::MenuItem && k != Kind::SaveDialog &&
           k != Kind::Application && k != Kind::Form;
}

// The notification icon's picture: a small padlock.
QPixmap iconPixmap(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    p.setPen(QPen(QColor(60, 60, 60), 3 * s));
    p.drawArc(QRectF(9 * s, 3 * s, 14 * s, 16 * s), 0, 180 * 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 150, 20));
    p.drawRoundedRect(QRectF(6 * s, 12 * s, 20 * s, 17 * s), 3 * s, 3 * s);
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(QRectF(14 * s, 17 * s, 4 * s, 4 * s));
    return pm;
}

} // namespace

FormWindow::FormWindow(const FormState& state, Send send)
    : QWidget(nullptr), class_(state.className), send_(std::move(send)), form_(state) {
    setObjectName(q(state.className));
    // Absolute placement when the form gives every visible control a size.
    bool absolute = state.width > 0 && state.height > 0;
    for (const ControlState& c : state.controls) {
        if (!isWidgetKind(c.kind)) continue;
        order_.push_back(c.name);
        if (c.width <= 0 || c.height <= 0) absolute = false;
    }
    for (const ControlState& c : state.controls) {
        Entry e{c.kind, nullptr, c};
        entries_[c.name] = e;
    }
    // Parents first: group boxes are made before what they hold.
    std::function<void(const std::string&, QWidget*)> build = [&](const std::string& parent,
                                                                  QWidget* container) {
        for (const ControlState& c : state.controls) {
            if (!isWidgetKind(c.kind) || c.parent != parent) continue;
            QWidget* w = make(c, container);
            entries_[c.name].widget = w;
            names_[w] = c.name;
            if (c.kind == Kind::GroupBox) build(c.name, w);
        }
    };
    build("", this);
    layoutChildren(this, "", absolute);
    if (absolute) setFixedSize(state.width, state.height);
    fixed_ = state.borderStyle == vcl::bsDialog || state.borderStyle == vcl::bsSingle;
    for (auto& [name, e] : entries_)
        if (e.widget) setControl(e, e.state);
    applyForm(state);
}

QWidget* FormWindow::make(const ControlState& c, QWidget* parent) {
    QWidget* w = nullptr;
    const std::string name = c.name;
    switch (c.kind) {
    case Kind::Label:
        w = new QLabel(parent);
        break;
    case Kind::Edit: {
        auto* e = new QLineEdit(parent);
        e->installEventFilter(this);
        w = e;
        break;
    }
    case Kind::Button:
    case Kind::BitBtn: {
        auto* b = new QPushButton(parent);
        b->setAutoDefault(false);
        if (c.kind == Kind::BitBtn) b->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
        QObject::connect(b, &QPushButton::clicked, this, [this, name] {
            act(name, [](vcl::TApplication&, vcl::TComponent& comp) { vcl::user::click(comp); });
        });
        w = b;
        break;
    }
    case Kind::CheckBox: {
        auto* b = new QCheckBox(parent);
        QObject::connect(b, &QCheckBox::clicked, this, [this, name, b] {
            // The form decides; show its state until it answers.
            b->setChecked(entries_[name].state.checked);
            act(name, [](vcl::TApplication&, vcl::TComponent& comp) { vcl::user::click(comp); });
        });
        w = b;
        break;
    }
    case Kind::RadioButton: {
        auto* b = new QRadioButton(parent);
        b->setAutoExclusive(false);
        QObject::connect(b, &QRadioButton::clicked, this, [this, name, b] {
            b->setChecked(entries_[name].state.checked);
            act(name, [](vcl::TApplication&, vcl::TComponent& comp) { vcl::user::click(comp); });
        });
        w = b;
        break;
    }
    case Kind::GroupBox:
        w = new QGroupBox(parent);
        break;
    case Kind::ComboBox:
    case Kind::DriveComboBox: {
        auto* b = new QComboBox(parent);
        b->setMinimumContentsLength(16);
        QObject::connect(b, &QComboBox::activated, this, [this, name, b](int index) {
            const std::string item = b->itemText(index).toLatin1().toStdString();
            act(name, [item](vcl::TApplication&, vcl::TComponent& comp) {
                vcl::user::select(comp, item);
            });
        });
        b->installEventFilter(this);
        w = b;
        break;
    }
    case Kind::ProgressBar:
        w = new QProgressBar(parent);
        break;
    case Kind::Memo: {
        auto* m = new QPlainTextEdit(parent);
        m->setReadOnly(true);
        w = m;
        break;
    }
    case Kind::Image: {
        auto* l = new QLabel(parent);
        l->setPixmap(iconPixmap(32));
        w = l;
        break;
    }
    default:
        w = new QWidget(parent);
        break;
    }
    w->setObjectName(q(name));
    return w;
}

// A layout in the manner of a small dialog: a label before a field shares
// its row; runs of buttons sit in a row on the right; everything else has a
// row of its own.
void FormWindow::layoutChildren(QWidget* container, const std::string& parentName, bool absolute) {
    std::vector<const Entry*> kids;
    for (const std::string& n : order_) {
        const Entry& e = entries_[n];
        if (e.widget && e.state.parent == parentName) kids.push_back(&e);
    }
    if (absolute) {
        for (const Entry* e : kids) {
            e->widget->setGeometry(e->state.left, e->state.top, e->state.width, e->state.height);
            if (e->kind == Kind::GroupBox) layoutChildren(e->widget, e->state.name, true);
        }
        return;
    }
    auto* grid = new QGridLayout(container);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);
    grid->setContentsMargins(12, container == this ? 12 : 18, 12, 10);
    grid->setColumnStretch(1, 1);
    int row = 0;
    for (size_t i = 0; i < kids.size(); ++i) {
        const Entry* e = kids[i];
        if (e->kind == Kind::Label && i + 1 < kids.size() && isField(kids[i + 1]->kind)) {
            grid->addWidget(e->widget, row, 0, Qt::AlignRight | Qt::AlignVCenter);
            grid->addWidget(kids[i + 1]->widget, row, 1);
            ++i;
            ++row;
        } else if (isButton(e->kind)) {
            auto* rowBox = new QHBoxLayout();
            rowBox->addStretch(1);
            while (i < kids.size() && isButton(kids[i]->kind)) {
                kids[i]->widget->setMinimumWidth(80);
                rowBox->addWidget(kids[i]->widget);
                ++i;
            }
            --i;
            grid->addLayout(rowBox, row++, 0, 1, 2);
        } else if (e->kind == Kind::Label) {
            grid->addWidget(e->widget, row++, 0, 1, 2);
            grid->setVerticalSpacing(2);
        } else {
            if (e->kind == Kind::GroupBox) layoutChildren(e->widget, e->state.name, false);
            grid->addWidget(e->widget, row++, 0, 1, 2);
        }
    }
    grid->setRowStretch(row, 1);
}

void FormWindow::setControl(Entry& e, const ControlState& c) {
    e.state = c;
    QWidget* w = e.widget;
    if (!w) return;
    applying_ = true;
    const QSignalBlocker block(w);
    switch (c.kind) {
    case Kind::Label:
        static_cast<QLabel*>(w)->setText(q(c.caption));
        break;
    case Kind::Edit: {
        auto* l = static_cast<QLineEdit*>(w);
        // The widget only shows the form's text; keys go to the form.
        l->setText(c.passwordChar ? QString(static_cast<int>(c.text.size()), QChar(c.passwordChar))
                                  : q(c.text));
        l->setCursorPosition(c.selStart);
        l->setReadOnly(c.readOnly);
        break;
    }
    case Kind::Button:
    case Kind::BitBtn:
        static_cast<QPushButton*>(w)->setText(q(c.caption));
        break;
    case Kind::CheckBox:
        static_cast<QCheckBox*>(w)->setText(q(c.caption));
        static_cast<QCheckBox*>(w)->setChecked(c.checked);
        break;
    case Kind::RadioButton:
        static_cast<QRadioButton*>(w)->setText(q(c.caption));
        static_cast<QRadioButton*>(w)->setChecked(c.checked);
        break;
    case Kind::GroupBox:
        static_cast<QGroupBox*>(w)->setTitle(q(c.caption));
        break;
    case Kind::ComboBox:
    case Kind::DriveComboBox: {
        auto* b = static_cast<QComboBox*>(w);
        QStringList items;
        for (const std::string& s : c.items)
            items << q(s);
        QStringList now;
        for (int i = 0; i < b->count(); ++i)
            now << b->itemText(i);
        if (now != items) {
            b->clear();
            b->addItems(items);
        }
        b->setCurrentIndex(c.itemIndex);
        break;
    }
    case Kind::ProgressBar: {
        auto* p = static_cast<QProgressBar*>(w);
        p->setRange(c.min, c.max);
        p->setValue(c.position);
        break;
    }
    case Kind::Memo: {
        auto* m = static_cast<QPlainTextEdit*>(w);
        QStringList lines;
        for (const std::string& s : c.items)
            lines << q(s);
        m->setPlainText(lines.join('\n'));
        m->setStyleSheet(QString("color: #%1;").arg(c.color, 6, 16, QChar('0')));
        break;
    }
    default:
        break;
    }
    w->setEnabled(c.enabled);
    w->setVisible(c.visible);
    applying_ = false;
}

void FormWindow::applyForm(const FormState& s) {
    form_ = s;
    applying_ = true;
    setWindowTitle(q(s.caption));
    Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint;
    if (s.borderIcons & vcl::biSystemMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (s.borderIcons & vcl::biMinimize) flags |= Qt::WindowMinimizeButtonHint;
    if ((s.borderIcons & vcl::biMaximize) && !fixed_) flags |= Qt::WindowMaximizeButtonHint;
    if (s.stayOnTop) flags |= Qt::WindowStaysOnTopHint;
    if (windowFlags() != flags) setWindowFlags(flags); // hides the window
    setEnabled(s.enabled);
    if (s.visible) {
        if (fixed_ && !testAttribute(Qt::WA_WState_Polished)) setFixedSize(sizeHint());
        if (s.left > 0 || s.top > 0) move(s.left, s.top);
        if (s.minimized)
            showMinimized();
        else if (isMinimized())
            showNormal();
        else
            show();
        applyFocus(s.focus);
    } else {
        hide();
    }
    applying_ = false;
}

void FormWindow::applyControl(const ControlState& c) {
    auto it = entries_.find(c.name);
    if (it == entries_.end()) return;
    setControl(it->second, c);
}

void FormWindow::applyFocus(const std::string& name) {
    form_.focus = name;
    QWidget* w = widget(name);
    if (!w || !isVisible()) return;
    applying_ = true;
    w->setFocus(Qt::OtherFocusReason);
    applying_ = false;
}

void FormWindow::openMenu(const ControlState& m) {
    closeMenu();
    menu_ = new QMenu(this);
    for (size_t i = 0; i < m.items.size(); ++i) {
        const std::string item = m.itemNames[i];
        QAction* a = menu_->addAction(q(m.items[i]));
        QObject::connect(a, &QAction::triggered, this, [this, item] {
            send_([item](vcl::TApplication& app) { vcl::user::chooseMenu(app, item); });
        });
    }
    const std::string menuName = m.name;
    QObject::connect(menu_, &QMenu::aboutToHide, this, [this, menuName] {
        // Closed without a choice: the form's menu closes too (after a
        // choice the item's handler has closed it already).
        act(menuName, [](vcl::TApplication&, vcl::TComponent& c) {
            if (auto* p = dynamic_cast<vcl::TPopupMenu*>(&c)) p->CloseUp();
        });
    });
    menu_->popup(QPoint(m.left, m.top));
}

void FormWindow::closeMenu() {
    if (!menu_) return;
    QMenu* m = menu_;
    menu_ = nullptr;
    m->blockSignals(true);
    m->hide();
    m->deleteLater();
}

QWidget* FormWindow::widget(const std::string& name) const {
    auto it = entries_.find(name);
    return it == entries_.end() ? nullptr : it->second.widget;
}

void FormWindow::act(const std::string& name,
                     std::function<void(vcl::TApplication&, vcl::TComponent&)> fn) {
    const std::string path = class_ + (name.empty() ? "" : "." + name);
    send_([path, fn](vcl::TApplication& app) {
        if (vcl::TComponent* c = vcl::user::find(app, path)) fn(app, *c);
    });
}

void FormWindow::closeEvent(QCloseEvent* event) {
    // The form decides whether it closes.
    event->ignore();
    act("", [](vcl::TApplication&, vcl::TComponent& f) { vcl::user::close(f); });
}

void FormWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || applying_) return;
    const bool minimized = isMinimized();
    if (minimized == form_.minimized) return;
    act("", [minimized](vcl::TApplication&, vcl::TComponent& f) {
        if (minimized)
            vcl::user::minimize(f);
        else
            vcl::user::restore(f);
    });
}

void FormWindow::forwardKey(const std::string& name, QKeyEvent* key) {
    vcl::WORD vk = 0;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        vk = vcl::VK_RETURN;
        break;
    case Qt::Key_Backspace:
        vk = vcl::VK_BACK;
        break;
    case Qt::Key_Delete:
        vk = vcl::VK_DELETE;
        break;
    case Qt::Key_Tab:
        vk = vcl::VK_TAB;
        break;
    case Qt::Key_Escape:
        vk = vcl::VK_ESCAPE;
        break;
    case Qt::Key_Left:
        vk = vcl::VK_LEFT;
        break;
    case Qt::Key_Right:
        vk = vcl::VK_RIGHT;
        break;
    case Qt::Key_Home:
        vk = vcl::VK_HOME;
        break;
    case Qt::Key_End:
        vk = vcl::VK_END;
        break;
    default:
        break;
    }
    if (vk) {
        act(name, [vk](vcl::TApplication&, vcl::TComponent& c) { vcl::user::key(c, vk); });
        return;
    }
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return;
    const QByteArray text = key->text().toLatin1();
    std::string chars;
    for (char ch : text)
        if (static_cast<unsigned char>(ch) >= 0x20) chars += ch;
    if (chars.empty()) return;
    act(name, [chars](vcl::TApplication&, vcl::TComponent& c) { vcl::user::type(c, chars); });
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
    auto it = names_.find(watched);
    if (it == names_.end()) return QWidget::eventFilter(watched, event);
    const std::string name = it->second;
    const Entry& e = entries_[name];
    if (event->type() == QEvent::FocusIn && !applying_) {
        auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::MouseFocusReason || reason == Qt::TabFocusReason ||
            reason == Qt::BacktabFocusReason) {
            act(name, [](vcl::TApplication&, vcl::TComponent& c) {
                if (auto* w = dynamic_cast<vcl::TWinControl*>(&c)) w->SetFocus();
            });
        }
        return false;
    }
    if (e.kind != Kind::Edit) return false;
    if (event->type() == QEvent::KeyPress) {
        forwardKey(name, static_cast<QKeyEvent*>(event));
        return true;
    }
    if (event->type() == QEvent::KeyRelease || event->type() == QEvent::ShortcutOverride) {
        // Keys belong to the form; nothing of the widget's own editing.
        if (event->type() == QEvent::ShortcutOverride) event->accept();
        return true;
    }
    // No pasting, dropping or context-menu editing behind the form's back.
    if (event->type() == QEvent::ContextMenu || event->type() == QEvent::Drop ||
        event->type() == QEvent::InputMethod)
        return true;
    return false;
}

} // namespace kvqt
