#include "app/FormExtracting.h"

#include "app/Background.h"
#include "controls/ProgressBar.h"
#include "disc/OpticalDisk.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace tolvane::app {

FormExtracting::FormExtracting(QWidget* parent)
    : Form(QStringLiteral("FormExtracting"),
           {QStringLiteral("LabelTrack"), QStringLiteral("ProgressBarExtracting"), QStringLiteral("CommandCancel")},
           parent)
{
    connect(Control<QPushButton>(QStringLiteral("CommandCancel")), &QPushButton::clicked, this,
            [this] { cancel_ = true; });
}

QString FormExtracting::TrackWord(int track)
{
    return QStringLiteral("Track %1").arg(track);
}

int FormExtracting::ProgressValue(std::int32_t extractedbytes, float bytesPerStep)
{
    // The byte count (a 32-bit integer) over the single-precision step is computed in double
    // precision; the default rounding mode rounds halves to even.
    return static_cast<int>(std::nearbyint(static_cast<double>(extractedbytes) / static_cast<double>(bytesPerStep)));
}

void FormExtracting::showEvent(QShowEvent* event)
{
    Form::showEvent(event);
    cancel_ = false;
    // The copy starts once the window is on screen.
    QTimer::singleShot(0, this, &FormExtracting::Run);
}

void FormExtracting::reject()
{
    if (running_)
        cancel_ = true;
    else
        Form::reject();
}

void FormExtracting::Run()
{
    if (running_ || !disk_)
        return;
    running_ = true;
    WaitCursor wait;
    auto* label = Control<QLabel>(QStringLiteral("LabelTrack"));
    auto* progress = Control<ProgressBar>(QStringLiteral("ProgressBarExtracting"));
    label->setText(TrackWord(track_) + QStringLiteral(": 0 bytes"));
    progress->SetMin(0);
    progress->SetMax(2000);
    progress->SetValue(0);
    const auto track = disk_->Track(track_);
    bytesPerStep_ = static_cast<float>((track ? track->RawSize().ToDouble() : 0.0) / progress->Max());
    repaint();

    const std::string file = (folderName_ + TrackWord(track_) + QStringLiteral(".wav")).toStdString();
    // Progress reaches the window by queued calls; the cancel flag goes back at once.
    disk_->SetChangeHandler([this](std::int32_t extractedbytes, bool& cancelextract) {
        QMetaObject::invokeMethod(this, [this, extractedbytes] { OnChange(extractedbytes); }, Qt::QueuedConnection);
        cancelextract = cancel_.load();
    });
    bool extracted = false;
    RunInBackground([&] { extracted = disk_->Extract(track_, file); }, this);
    disk_->SetChangeHandler({});

    if (extracted && cancel_)
        ShowMessage(this, QStringLiteral("Track extraction cancelled"), QMessageBox::Warning);
    else if (!extracted)
        ShowMessage(this, QStringLiteral("Error extracting track"), QMessageBox::Warning);
    progress->SetValue(0);
    running_ = false;
    accept();
}

void FormExtracting::OnChange(std::int32_t extractedbytes)
{
    Control<QLabel>(QStringLiteral("LabelTrack"))
        ->setText(TrackWord(track_) + QStringLiteral(": %1 bytes").arg(extractedbytes));
    // A value past the maximum (a very short track's header bytes) is dropped by the bar.
    Control<ProgressBar>(QStringLiteral("ProgressBarExtracting"))->SetValue(ProgressValue(extractedbytes, bytesPerStep_));
}

} // namespace tolvane::app
