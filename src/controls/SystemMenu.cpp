#include "controls/SystemMenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QMenu>
#include <QWidget>

#include <limits>

namespace tolvane {

namespace {

// A command picked from a window menu, sent to the form (a WM_SYSCOMMAND). It arrives ignored;
// a procedure that consumes it accepts it, and an ignored one gets the form's default handling.
class SysCommandEvent : public QEvent {
public:
    explicit SysCommandEvent(int command) : QEvent(Type()), command(command) { ignore(); }
    static QEvent::Type Type()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    int command;
};

QString ItemKey(const char* prefix, int index)
{
    return QString::fromLatin1(prefix) + QString::number(index) + QLatin1Char(')');
}

} // namespace

// ---- SystemMenuItem ----

SystemMenuItem::SystemMenuItem(SystemMenu* owner, int index) : QObject(owner), owner_(owner), index_(index) {}

void SystemMenuItem::Changed(const char* prefix)
{
    emit owner_->PropertyChanged(ItemKey(prefix, index_));
    owner_->UpdateSystemMenuItems(index_);
}

void SystemMenuItem::SetChecked(bool value)
{
    checked_ = value;
    Changed("SystemMenuItemChecked(");
}

void SystemMenuItem::SetEnabled(bool value)
{
    enabled_ = value;
    Changed("SystemMenuItemEnabled(");
}

void SystemMenuItem::SetStyle(int value)
{
    if (value != smDefault && value != smSeparator)
        return;
    style_ = value;
    Changed("SystemMenuItemStyle(");
}

void SystemMenuItem::SetTag(const QString& value)
{
    tag_ = value;
    Changed("SystemMenuItemTag(");
}

void SystemMenuItem::SetText(const QString& value)
{
    text_ = value;
    Changed("SystemMenuItemText(");
}

// ---- SystemMenu ----

SystemMenu::SystemMenu(QWidget* form) : QObject(form)
{
    Build();
}

SystemMenu::~SystemMenu()
{
    subclassing_.Destroy();
}

QWidget* SystemMenu::Form() const
{
    return qobject_cast<QWidget*>(parent());
}

QMenu* SystemMenu::Menu() const
{
    return menu_.get();
}

void SystemMenu::SetCount(int value)
{
    if (value < 0 || value > std::numeric_limits<qint16>::max())
        return;
    count_ = value;
    emit PropertyChanged(QStringLiteral("Count"));
    Build();
}

void SystemMenu::SetEnabled(bool value)
{
    enabled_ = value;
    emit PropertyChanged(QStringLiteral("Enabled"));
    Build();
}

tolvane::SystemMenuItem* SystemMenu::SystemMenuItem(int index) const
{
    if (index < 0 || index >= count_ || static_cast<std::size_t>(index) >= items_.size())
        return nullptr;
    return items_[static_cast<std::size_t>(index)];
}

// The form's window menu: made once with the window's standard commands.
void SystemMenu::TakeSystemMenu()
{
    if (menu_ || !Form())
        return;
    menu_ = std::make_unique<QMenu>();
    const auto add = [this](const QString& text, int command) {
        QAction* action = menu_->addAction(text);
        action->setData(command);
    };
    add(tr("&Restore"), ScRestore);
    add(tr("Mi&nimize"), ScMinimize);
    add(tr("Ma&ximize"), ScMaximize);
    menu_->addSeparator();
    add(tr("&Close"), ScClose);
    connect(menu_.get(), &QMenu::triggered, this, &SystemMenu::Pick);
    connect(menu_.get(), &QMenu::aboutToShow, this, &SystemMenu::ShowingMenu);
}

void SystemMenu::Build()
{
    TakeSystemMenu();
    while (items_.size() < static_cast<std::size_t>(count_))
        items_.push_back(new tolvane::SystemMenuItem(this, static_cast<int>(items_.size())));
    UpdateSystemMenuItems(-1);
}

QAction* SystemMenu::CommandAction(int command) const
{
    if (!menu_)
        return nullptr;
    for (QAction* action : menu_->actions())
        if (action->data().isValid() && action->data().toInt() == command)
            return action;
    return nullptr;
}

void SystemMenu::UpdateSystemMenuItems(int index)
{
    if (designMode_ || !menu_ || preventUpdate_)
        return;
    if (index != -1) {
        UpdateOne(index);
        return;
    }
    // Items appended before go first, so that they are not doubled.
    for (int command = count_ - 1; command >= 0; --command)
        delete CommandAction(command);
    for (int i = 0; i < count_; ++i) {
        auto* action = new QAction(menu_.get());
        action->setData(i);
        menu_->addAction(action);
        UpdateOne(i);
    }
    subclassing_.SetOwnerHwnd(Form());
    subclassing_.SetWindowProc(QStringLiteral("SystemMenuWindowProc"));
    subclassing_.Clear();
    subclassing_.Add(QStringLiteral("SystemMenu"), QVariant::fromValue<QObject*>(this));
    subclassing_.Create(&SystemMenu::WindowProc);
}

// An item is grey unless both the control and the item are enabled.
void SystemMenu::UpdateOne(int index)
{
    QAction* action = CommandAction(index);
    const tolvane::SystemMenuItem* item = SystemMenuItem(index);
    if (!action || !item)
        return;
    const bool separator = item->style_ == smSeparator;
    action->setSeparator(separator);
    action->setText(separator ? QString() : item->text_);
    action->setCheckable(item->checked_);
    action->setChecked(item->checked_);
    action->setEnabled(enabled_ && item->enabled_);
}

void SystemMenu::Pick(QAction* action)
{
    if (!action->data().isValid() || !Form())
        return;
    // A menu item's check mark changes only through its item.
    if (action->isCheckable())
        action->setChecked(true);
    SysCommandEvent command(action->data().toInt());
    QCoreApplication::sendEvent(Form(), &command);
    if (!command.isAccepted())
        DefaultCommand(command.command);
}

void SystemMenu::ShowingMenu()
{
    QWidget* window = Form() ? Form()->window() : nullptr;
    if (!window)
        return;
    const bool maximized = window->isMaximized();
    const bool minimized = window->isMinimized();
    if (QAction* restore = CommandAction(ScRestore))
        restore->setEnabled(maximized || minimized);
    if (QAction* minimize = CommandAction(ScMinimize))
        minimize->setEnabled(!minimized);
    if (QAction* maximize = CommandAction(ScMaximize))
        maximize->setEnabled(!maximized);
}

void SystemMenu::DefaultCommand(int command)
{
    QWidget* window = Form() ? Form()->window() : nullptr;
    if (!window)
        return;
    switch (command) {
    case ScRestore:
        window->showNormal();
        break;
    case ScMinimize:
        window->showMinimized();
        break;
    case ScMaximize:
        window->showMaximized();
        break;
    case ScClose:
        window->close();
        break;
    default:
        break;
    }
}

// Commands 0 .. Count - 1 are the control's items and are consumed; every other command goes on
// to the form.
bool SystemMenu::WindowProc(QWidget* window, QEvent* event)
{
    if (event->type() != SysCommandEvent::Type())
        return false;
    auto* control = qobject_cast<SystemMenu*>(qvariant_cast<QObject*>(window->property("SystemMenu")));
    const int command = static_cast<SysCommandEvent*>(event)->command;
    if (!control || command < 0 || command >= control->count_)
        return false;
    event->accept();
    emit control->ItemClick(control->SystemMenuItem(command));
    return true;
}

void SystemMenu::ReadProperties(const PropertyBag& bag)
{
    count_ = static_cast<int>(bag.ReadInt(QStringLiteral("Count"), 0));
    enabled_ = bag.ReadBool(QStringLiteral("Enabled"), true);
    while (items_.size() < static_cast<std::size_t>(count_))
        items_.push_back(new tolvane::SystemMenuItem(this, static_cast<int>(items_.size())));
    for (int i = 0; i < count_; ++i) {
        tolvane::SystemMenuItem& item = *items_[static_cast<std::size_t>(i)];
        item.checked_ = bag.ReadBool(ItemKey("SystemMenuItemChecked(", i), false);
        item.enabled_ = bag.ReadBool(ItemKey("SystemMenuItemEnabled(", i), true);
        item.style_ = static_cast<int>(bag.ReadInt(ItemKey("SystemMenuItemStyle(", i), smDefault));
        item.tag_ = bag.ReadString(ItemKey("SystemMenuItemTag(", i));
        item.text_ = bag.ReadString(ItemKey("SystemMenuItemText(", i));
    }
    Build();
}

void SystemMenu::WriteProperties(PropertyBag& bag) const
{
    bag.Write(QStringLiteral("Count"), count_);
    bag.Write(QStringLiteral("Enabled"), enabled_);
    for (int i = 0; i < count_ && static_cast<std::size_t>(i) < items_.size(); ++i) {
        const tolvane::SystemMenuItem& item = *items_[static_cast<std::size_t>(i)];
        bag.Write(ItemKey("SystemMenuItemChecked(", i), item.checked_);
        bag.Write(ItemKey("SystemMenuItemEnabled(", i), item.enabled_);
        bag.Write(ItemKey("SystemMenuItemStyle(", i), item.style_);
        bag.Write(ItemKey("SystemMenuItemTag(", i), item.tag_);
        bag.Write(ItemKey("SystemMenuItemText(", i), item.text_);
    }
}

} // namespace tolvane
