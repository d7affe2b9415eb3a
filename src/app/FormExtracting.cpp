#include "app/FormExtracting.h"

#include "app/Background.h"
#include "controls/ProgressBar.h"
#include "disc/OpticalDisk.h"
#include "rip/output/TrackFile.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace tolvane::app {

FormExtracting::FormExtracting(QWidget* parent)
    : Form(QStringLiteral("FormExtracting"),
           {QStringLiteral("LabelTrack"), QStringLiteral("ProgressBarExtracting"),
            QStringLiteral("CommandCancel")},
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
    return static_cast<int>(
        std::nearbyint(static_cast<double>(extractedbytes) / static_cast<double>(bytesPerStep)));
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

    const QString extension =
        QString::fromLatin1(rip::ExtensionOf(choices_.flac ? rip::AudioFormat::Flac : rip::AudioFormat::Wav));
    const std::string file = (folderName_ + TrackWord(track_) + extension).toStdString();
    // Progress reaches the window by queued calls; the cancel flag goes back at once. The flag is
    // read before the progress is posted, so a Cancel pressed after this progress showed stops
    // the next sector, not this one (as when the window handles the event itself). While one
    // update waits to be shown, later counts only replace its value: a drive faster than the
    // screen does not queue an update per sector. The bar drops values outside its range, so
    // the position kept is the last one inside it, as if every count had been shown.
    latestBytes_ = 0;
    latestValue_ = -1;
    updatePending_ = false;
    rereads_ = 0;
    minimum_ = progress->Min();
    maximum_ = progress->Max();
    result_ = {};
    const std::uint64_t samples =
        track ? std::uint64_t{static_cast<std::uint32_t>(track->LogicalBlocks())} * 588 : 0;
    sums::TrackChecksums sums(samples, firstAudio_, lastAudio_, audioSamples_);
    const bool extracted =
        choices_.secure || choices_.flac ? CopyToTrackFile(file, sums) : CopyWav(file, sums);
    if (extracted && !cancel_) {
        result_.copied = true;
        result_.sums = sums.Result();
    }

    if (extracted && cancel_)
        ShowMessage(this, QStringLiteral("Track extraction cancelled"), QMessageBox::Warning);
    else if (!extracted)
        ShowMessage(this, QStringLiteral("Error extracting track"), QMessageBox::Warning);
    progress->SetValue(0);
    running_ = false;
    accept();
}

void FormExtracting::Report(std::int32_t extractedbytes, bool& cancelextract)
{
    cancelextract = cancel_.load();
    latestBytes_ = extractedbytes;
    const int value = ProgressValue(extractedbytes, bytesPerStep_);
    if (value >= minimum_ && value <= maximum_)
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
}

bool FormExtracting::CopyWav(const std::string& file, sums::TrackChecksums& sums)
{
    disk_->SetChangeHandler(
        [this](std::int32_t extractedbytes, bool& cancelextract) { Report(extractedbytes, cancelextract); });
    disk_->SetAudioHandler([&sums](ConstBytes sector) { sums.Add(sector); });
    bool extracted = false;
    RunInBackground([&] { extracted = disk_->Extract(track_, file); }, this);
    disk_->SetChangeHandler({});
    disk_->SetAudioHandler({});
    return extracted;
}

bool FormExtracting::CopyToTrackFile(const std::string& file, sums::TrackChecksums& sums)
{
    const auto track = disk_->Track(track_);
    if (!track || track->Mode() != "Audio" || (choices_.secure && reader_ == nullptr))
        return false;
    const std::int32_t sectors = std::max(track->LogicalBlocks(), 0);
    rip::FlacTags tags;
    tags.trackNumber = track_;
    rip::TrackFile out;
    if (!out.Open(file, choices_.flac ? rip::AudioFormat::Flac : rip::AudioFormat::Wav, tags,
                  static_cast<std::uint32_t>(sectors) * 2352))
        return false;
    // As Extract counts: the WAV header's bytes, then each sector's.
    std::int32_t written = 44;
    bool writeFailed = false;
    bool read = false;
    const auto sink = [&](ConstBytes block) {
        if (!out.Write(block)) {
            writeFailed = true;
            return false;
        }
        sums.Add(block);
        written += static_cast<std::int32_t>(block.size());
        rereads_ = result_.read.rereadSectors; // the reader counts them as it goes, on this thread
        bool cancel = false;
        Report(written, cancel);
        return !cancel;
    };
    if (choices_.secure) {
        result_.read = {};
        RunInBackground([&] { read = reader_->Read(track->LBA(), sectors, sink, result_.read); }, this);
    } else {
        disk_->SetChangeHandler(
            [this](std::int32_t, bool& cancelextract) { cancelextract = cancel_.load(); });
        RunInBackground([&] { read = disk_->ExtractTo(track_, sink); }, this);
        disk_->SetChangeHandler({});
    }
    // What was copied stays a playable file, as Extract leaves its WAV file.
    const bool finished = out.Finish();
    if (writeFailed || !finished)
        return false;
    // A cancel is a copy that stopped, not one that failed.
    return read || cancel_;
}

void FormExtracting::OnChange(std::int32_t extractedbytes, int value)
{
    QString text = TrackWord(track_) + QStringLiteral(": %1 bytes").arg(extractedbytes);
    if (const std::uint32_t again = rereads_.load(); again > 0)
        text += QStringLiteral(", %1 sectors read again").arg(again);
    Control<QLabel>(QStringLiteral("LabelTrack"))->setText(text);
    if (value >= 0)
        Control<ProgressBar>(QStringLiteral("ProgressBarExtracting"))->SetValue(value);
}

} // namespace tolvane::app
