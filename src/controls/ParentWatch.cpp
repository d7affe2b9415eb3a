#include "controls/ParentWatch.h"

#include <QEvent>

namespace tolvane {

ParentWatch::ParentWatch(QWidget* control, std::function<void()> fit)
    : QObject(control), control_(control), fit_(std::move(fit))
{
    control_->installEventFilter(this);
    Watch();
}

void ParentWatch::Watch()
{
    if (parent_ == control_->parentWidget())
        return;
    if (parent_)
        parent_->removeEventFilter(this);
    parent_ = control_->parentWidget();
    if (parent_)
        parent_->installEventFilter(this);
}

bool ParentWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == control_ && event->type() == QEvent::ParentChange) {
        Watch();
        fit_();
    } else if (watched == parent_ && event->type() == QEvent::Resize) {
        fit_();
    }
    return false;
}

} // namespace tolvane
