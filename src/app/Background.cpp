#include "app/Background.h"

#include "app/AppInfo.h"

#include <QApplication>
#include <QEventLoop>
#include <QWidget>

#include <exception>
#include <thread>

namespace tolvane::app {

namespace {

MessageHook& Hook()
{
    static MessageHook hook;
    return hook;
}

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

class InputBlocker : public QObject {
public:
    explicit InputBlocker(QWidget* allowed) : allowed_(allowed) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool close = event->type() == QEvent::Close && event->spontaneous();
        if (!close && !IsUserInput(event->type()))
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (allowed_ && widget && !close && (widget == allowed_ || allowed_->isAncestorOf(widget)))
            return false;
        if (close)
            event->ignore();
        return true;
    }

private:
    QWidget* allowed_;
};

} // namespace

void RunInBackground(const std::function<void()>& job, QWidget* allowInputTo)
{
    InputBlocker blocker(allowInputTo);
    QEventLoop loop;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
}

WaitCursor::WaitCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QApplication::restoreOverrideCursor();
}

void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    if (Hook()) {
        Hook()(text, icon);
        return;
    }
    QMessageBox box(icon, ApplicationTitle(), text, QMessageBox::Ok, parent);
    // The pointer may be the hourglass of the work that led here; the box needs the arrow.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
}

void SetMessageHook(MessageHook hook)
{
    Hook() = std::move(hook);
}

} // namespace tolvane::app
