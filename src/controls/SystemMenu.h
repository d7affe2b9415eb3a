// Adds a form's own commands to its window menu and reports when the user picks one.
//
// Where the window manager offers no window menu that a program can extend, the control keeps
// its own: a QMenu (Menu()) with the window's standard commands (Restore, Minimize, Maximize,
// Close) followed by the control's items, which the form shows where it likes (the information
// frame's menu button and context menu). Every action carries its command identifier in
// QAction::data(): the items use 0 .. Count - 1, the standard commands their system values.
// Picking an action sends the form a system command; the window procedure installed on the form
// (Subclassing) raises ItemClick for the identifiers 0 .. Count - 1 and lets every other command
// reach the form's default handling.
#pragma once

#include "controls/PropertyBag.h"
#include "controls/Subclassing.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QWidget;

namespace tolvane {

class SystemMenu;

// SystemMenuItem.Style
inline constexpr int smDefault = 0;
inline constexpr int smSeparator = 1;

// One item of a system menu, owned by it. A setter stores the value, reports it as changed under
// the item's key ("SystemMenuItemText(0)") and updates that item in the menu.
class SystemMenuItem : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(int Index READ Index)
    Q_PROPERTY(int Style READ Style WRITE SetStyle)
    Q_PROPERTY(QString Tag READ Tag WRITE SetTag)
    Q_PROPERTY(QString Text READ Text WRITE SetText)

public:
    bool Checked() const { return checked_; }
    void SetChecked(bool value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    int Index() const { return index_; }
    int Style() const { return style_; }
    void SetStyle(int value); // smDefault or smSeparator
    QString Tag() const { return tag_; }
    void SetTag(const QString& value);
    QString Text() const { return text_; }
    void SetText(const QString& value);

private:
    friend class SystemMenu;
    SystemMenuItem(SystemMenu* owner, int index);
    void Changed(const char* prefix);

    SystemMenu* owner_;
    int index_;
    bool checked_ = false;
    bool enabled_ = true;
    int style_ = smDefault;
    QString tag_;
    QString text_;
};

class SystemMenu : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count WRITE SetCount)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(bool PreventUpdate READ PreventUpdate WRITE SetPreventUpdate)

public:
    // System command identifiers of the standard commands.
    static constexpr int ScMinimize = 0xF020;
    static constexpr int ScMaximize = 0xF030;
    static constexpr int ScClose = 0xF060;
    static constexpr int ScRestore = 0xF120;

    // `form` is the window whose menu gets the items.
    explicit SystemMenu(QWidget* form);
    ~SystemMenu() override;

    int Count() const { return count_; }
    void SetCount(int value); // 0 .. 32767
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    bool PreventUpdate() const { return preventUpdate_; }
    void SetPreventUpdate(bool value) { preventUpdate_ = value; }

    // The item at `index`, nullptr outside 0 .. Count - 1.
    Q_INVOKABLE tolvane::SystemMenuItem* SystemMenuItem(int index) const;
    // Puts one item (or, for -1, all items) into the menu; nothing while PreventUpdate is set.
    Q_INVOKABLE void UpdateSystemMenuItems(int index);

    // The designer's view of the control: the menu gets no items while it is set.
    bool DesignMode() const { return designMode_; }
    void SetDesignMode(bool value) { designMode_ = value; }

    // The form's window menu (built with the control).
    QMenu* Menu() const;
    // The menu's action with the command identifier `command`, nullptr when there is none.
    QAction* CommandAction(int command) const;

    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

signals:
    void ItemClick(tolvane::SystemMenuItem* Item);
    void PropertyChanged(const QString& key);

private:
    friend class tolvane::SystemMenuItem;

    QWidget* Form() const;
    void Build();
    void TakeSystemMenu();
    void UpdateOne(int index);
    void Pick(QAction* action);
    void ShowingMenu();
    // What the form does with a system command that no procedure consumed.
    void DefaultCommand(int command);
    static bool WindowProc(QWidget* window, QEvent* event);

    int count_ = 0;
    bool enabled_ = true;
    bool preventUpdate_ = false;
    bool designMode_ = false;
    std::vector<tolvane::SystemMenuItem*> items_;
    std::unique_ptr<QMenu> menu_;
    Subclassing subclassing_;
};

} // namespace tolvane
