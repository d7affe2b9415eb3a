// Long disc work (Check, Read, Extract) runs on a worker thread while the window keeps painting
// and shows the hourglass; meanwhile the program takes no user input, except in the one window
// that must stay usable (the extraction window's Cancel).
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace tolvane::app {

// Runs `job` on a worker thread and returns when it has finished; the calling (GUI) thread
// handles events meanwhile. Mouse, key and close input is dropped except for `allowInputTo`
// and its children. An exception thrown by `job` is rethrown here.
void RunInBackground(const std::function<void()>& job, QWidget* allowInputTo = nullptr);

// Hourglass for the lifetime of the object.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A message box with an OK button, the application title as caption and `icon`.
void ShowMessage(QWidget* parent, const QString& text, QMessageBox::Icon icon);

// Tests see the messages instead of modal boxes: while a hook is set, ShowMessage calls it only.
using MessageHook = std::function<void(const QString& text, QMessageBox::Icon icon)>;
void SetMessageHook(MessageHook hook);

} // namespace tolvane::app
