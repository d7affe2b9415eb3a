#include "controls/Subclassing.h"

#include <QApplication>
#include <QKeyEvent>

namespace tolvane {

class Subclassing::Filter : public QObject {
public:
    explicit Filter(WindowProcedure procedure) : procedure_(std::move(procedure)) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* window = qobject_cast<QWidget*>(watched);
        return window && procedure_ && procedure_(window, event);
    }

private:
    WindowProcedure procedure_;
};

Subclassing::~Subclassing()
{
    Destroy();
}

void Subclassing::Add(const QString& atom, const QVariant& handle)
{
    names_.append(atom);
    values_.push_back(handle);
}

void Subclassing::Clear()
{
    names_.clear();
    values_.clear();
}

bool Subclassing::Create(WindowProcedure callback)
{
    if (filter_) {
        active_ = true;
        return false;
    }
    if (!owner_ || !callback)
        return false;
    filter_ = new Filter(std::move(callback));
    filter_->setParent(owner_); // goes with the window should it be destroyed first
    subclassed_ = owner_;
    owner_->installEventFilter(filter_);
    if (!windowProc_.isEmpty())
        owner_->setProperty(windowProc_.toUtf8().constData(), QVariant::fromValue<QObject*>(filter_.data()));
    for (qsizetype i = 0; i < names_.size(); ++i)
        if (!names_[i].isEmpty())
            owner_->setProperty(names_[i].toUtf8().constData(), values_[static_cast<std::size_t>(i)]);
    active_ = true;
    return true;
}

void Subclassing::Destroy()
{
    active_ = false;
    if (!filter_)
        return;
    if (subclassed_) {
        subclassed_->removeEventFilter(filter_);
        if (!windowProc_.isEmpty())
            subclassed_->setProperty(windowProc_.toUtf8().constData(), QVariant());
        for (const QString& name : names_)
            if (!name.isEmpty())
                subclassed_->setProperty(name.toUtf8().constData(), QVariant());
    }
    delete filter_.data();
    filter_ = nullptr;
    subclassed_ = nullptr;
}

namespace {

bool IsKeyMessage(const QEvent* event)
{
    return event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
}

QWidget* ControlWindow(QObject* control)
{
    return control ? qvariant_cast<QWidget*>(control->property("ControlHwnd")) : nullptr;
}

} // namespace

// Sees every key event of the application before the dialog, its default button and its
// shortcuts do; acts only while its control's inner view has the focus and the hook is the
// active one.
class TranslateMessage::Hook : public QObject {
public:
    Hook(TranslateMessage& owner, Accelerator accelerator) : owner_(owner), accelerator_(std::move(accelerator))
    {
        qApp->installEventFilter(this);
    }
    ~Hook() override
    {
        if (active_ == this)
            active_ = nullptr;
    }

    static Hook* active_;

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool shortcut = event->type() == QEvent::ShortcutOverride;
        if (active_ != this || sending_ || !(shortcut || IsKeyMessage(event)))
            return false;
        QWidget* view = ControlWindow(owner_.control_);
        if (!view || watched != view || QApplication::focusWidget() != view)
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        if (shortcut) {
            // A shortcut (the default button's Enter among them) must not take a key the view gets.
            if (!owner_.hookTranslateSpecialKeys_ && owner_.hookHandleSpecialKeys_ && TranslateMessage::IsNavigationKey(key->key())) {
                event->accept();
                return true;
            }
            return false;
        }
        sending_ = true;
        const int result = accelerator_(owner_, key);
        sending_ = false;
        return result == S_OK_;
    }

    // Hands `key` to the view; false when there is none.
    bool SendToView(QKeyEvent* key)
    {
        QWidget* view = ControlWindow(owner_.control_);
        if (!view)
            return false;
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(), key->count());
        const bool wasSending = sending_;
        sending_ = true;
        QCoreApplication::sendEvent(view, &copy);
        sending_ = wasSending;
        return true;
    }

private:
    TranslateMessage& owner_;
    Accelerator accelerator_;
    bool sending_ = false;
};

TranslateMessage::Hook* TranslateMessage::Hook::active_ = nullptr;

TranslateMessage::~TranslateMessage()
{
    Destroy();
}

bool TranslateMessage::Create(Accelerator callback)
{
    if (hook_) {
        active_ = true;
        return false;
    }
    if (!control_ || !qApp)
        return false;
    hookHandleSpecialKeys_ = handleSpecialKeys_;
    hookTranslateSpecialKeys_ = translateSpecialKeys_;
    hook_ = new Hook(*this, callback ? std::move(callback) : Accelerator(&TranslateMessage::TranslateAccelerator));
    active_ = true;
    return true;
}

void TranslateMessage::Translate()
{
    if (hook_ && control_)
        Hook::active_ = hook_;
}

void TranslateMessage::Destroy()
{
    active_ = false;
    delete hook_;
    hook_ = nullptr;
}

bool TranslateMessage::IsNavigationKey(int key)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_End:
    case Qt::Key_Home:
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        return true;
    default:
        return false;
    }
}

int TranslateMessage::TranslateAccelerator(TranslateMessage& hook, QKeyEvent* key)
{
    // Tab and every other key stay with the window (its focus chain, its shortcuts).
    if (hook.hookTranslateSpecialKeys_ || !IsKeyMessage(key))
        return S_FALSE_;
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || !TranslateMessage::IsNavigationKey(key->key()))
        return S_FALSE_;
    if (!hook.hook_ || !hook.hook_->SendToView(key))
        return S_FALSE_;
    return hook.hookHandleSpecialKeys_ ? S_OK_ : S_FALSE_;
}

} // namespace tolvane
