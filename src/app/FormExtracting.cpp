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
    // Progress reaches the window by queued calls; the cancel flag goes back at once. The flag is
    // read before the progress is posted, so a Cancel pressed after this progress showed stops
    // the next sector, not this one (as when the window handles the event itself). While one
    // update waits to be shown, later counts only replace its value: a drive faster than the
    // screen does not queue an update per sector. The bar drops values outside its range, so
    // the position kept is the last one inside it, as if every count had been shown.
    latestBytes_ = 0;
    latestValue_ = -1;
    updatePending_ = false;
    const int minimum = progress->Min();
    const int maximum = progress->Max();
    disk_->SetChangeHandler([this, minimum, maximum](std::int32_t extractedbytes, bool& cancelextract) {
        cancelextract = cancel_.load();
        latestBytes_ = extractedbytes;
        const int value = ProgressValue(extractedbytes, bytesPerStep_);
        if (value >= minimum && value <= maximum)
            latestValue_ = value;
        if (!updatePending_.exchange(true)) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    updatePending_ = false;
                    OnChange(latestBytes_.load(), latestValue_.load());
                },
                Qt::QueuedConnection);
        }
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

void FormExtracting::OnChange(std::int32_t extractedbytes, int value)
{
    Control<QLabel>(QStringLiteral("LabelTrack"))
        ->setText(TrackWord(track_) + QStringLiteral(": %1 bytes").arg(extractedbytes));
    if (value >= 0)
        Control<ProgressBar>(QStringLiteral("ProgressBarExtracting"))->SetValue(value);
}

} // namespace tolvane::app
