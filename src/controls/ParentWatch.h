// Keeps a docked control fitted to its window: calls `fit` when the window is resized and when
// the control moves to another parent. The status bar and the information frame use it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace tolvane {

class ParentWatch : public QObject {
public:
    ParentWatch(QWidget* control, std::function<void()> fit);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Watch();

    QWidget* control_;
    QPointer<QWidget> parent_;
    std::function<void()> fit_;
};

} // namespace tolvane
