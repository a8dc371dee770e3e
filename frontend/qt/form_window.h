// One form as a top-level Qt window.
#pragma once

#include "frontend/qt/state.h"

#include <QWidget>

#include <functional>
#include <map>
#include <string>

class QGridLayout;
class QMenu;

namespace kvqt {

class FormWindow : public QWidget {
  public:
    // Input goes to send, which runs its function on the application's thread.
    using Send = std::function<void(std::function<void(vcl::TApplication&)>)>;
    FormWindow(const FormState& state, Send send);

    void applyForm(const FormState& state);
    void applyControl(const ControlState& state);
    void applyFocus(const std::string& name);
    void openMenu(const ControlState& menu);
    void closeMenu();

    const std::string& className() const { return class_; }
    QWidget* widget(const std::string& name) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Entry {
        vcl::Kind kind;
        QWidget* widget = nullptr;
        ControlState state;
    };
    QWidget* make(const ControlState& c, QWidget* parent);
    void layoutChildren(QWidget* container, const std::string& parentName, bool absolute);
    void setControl(Entry& e, const ControlState& c);
    // A user action on the named component, run on the application's thread.
    void act(const std::string& name, std::function<void(vcl::TApplication&, vcl::TComponent&)> fn);
    void forwardKey(const std::string& name, QKeyEvent* key);

    std::string class_;
    Send send_;
    FormState form_;
    std::vector<std::string> order_;
    std::map<std::string, Entry> entries_;
    std::map<QObject*, std::string> names_;
    QMenu* menu_ = nullptr;
    bool fixed_ = false;
    bool applying_ = false;
};

} // namespace kvqt
