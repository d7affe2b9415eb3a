// What the window tests share: virtual drives behind a session of their own, scripted dialogs,
// recorded message boxes, and helpers that act on the windows as a user does.
#pragma once

#include "app/Background.h"
#include "app/CommonDialogs.h"
#include "app/Session.h"
#include "emulator/Attach.h"

#include <QTimer>

#include <thread>

namespace tolvane {
class ListView;
class OpticalDisk;
}

namespace tolvane::apptest {

// Modelled drive time really passes on it, so a test can act while a copy runs.
class PacedClock final : public Clock {
public:
    Duration Now() const override { return std::chrono::steady_clock::now().time_since_epoch(); }
    void Sleep(Duration d) override { std::this_thread::sleep_for(d); }
    void Advance(Duration d) override { std::this_thread::sleep_for(d); }
};

// A session whose drives are only the virtual ones attached here (D:, E:, ... in order).
struct Rig {
    app::Session session;
    explicit Rig(const std::vector<emulator::DriveRequest>& requests,
                 std::shared_ptr<Clock> clock = std::make_shared<VirtualClock>());
    void Add(std::shared_ptr<const emulator::Disc> disc); // one more drive, holding `disc`
    emulator::EmulatedDrive& Drive(std::size_t index) { return *session.drives.at(index); }
    std::unique_ptr<OpticalDisk> Open(std::size_t index, bool read); // bound to drive `index`
};
inline emulator::DriveRequest Demo() { return {emulator::DriveRequest::Kind::Demo, {}}; }
inline emulator::DriveRequest Empty() { return {emulator::DriveRequest::Kind::Empty, {}}; }
emulator::DriveRequest Image(const std::string& testDataPath);

// A one-session CD, a track per entry (mode, blocks) from LBA 0. Its sectors carry their own
// address, so a copy from the wrong place shows.
using TrackPiece = std::pair<emulator::TrackMode, std::int32_t>;
std::shared_ptr<emulator::Disc> BuildCd(const std::vector<TrackPiece>& tracks);
std::shared_ptr<emulator::Disc> BlankCdR();
// The 2,352-byte sectors the disc serves from `lba` on.
std::vector<std::uint8_t> AudioBytes(const emulator::Disc& disc, std::int32_t lba, std::int32_t count);
// Empty when `path` is a WAV file of exactly `audio` whose header sizes agree; else what differs.
QString WavProblem(const std::string& path, const std::vector<std::uint8_t>& audio);

// The messages shown while the object lives, as Message() writes them.
inline QString Message(const QString& text, int icon) { return QStringLiteral("%1 (%2)").arg(text).arg(icon); }
struct Messages {
    QStringList shown;
    Messages() { app::SetMessageHook([this](const QString& t, QMessageBox::Icon i) { shown << Message(t, i); }); }
    ~Messages() { app::SetMessageHook({}); }
};

// The folder and file dialogs answered from a script, remembering what they were shown; the
// default backend while it lives.
struct ScriptedDialogs : DialogBackend {
    QString folder;            // the chosen folder; empty: cancelled
    bool accept = true;        // the file dialogs' answer
    FileDialogRequest answer;  // what an accepted file dialog gives back
    FileDialogRequest request; // what the last file dialog was given
    int calls = 0;
    QWidget* owner = nullptr;
    QString title, start; // of the last folder dialog

    ScriptedDialogs()
    {
        CommonDialogs::SetDefaultBackend(std::shared_ptr<DialogBackend>(this, [](auto*) {}));
    }
    ~ScriptedDialogs() override { CommonDialogs::SetDefaultBackend(nullptr); }
    QString ChooseFolder(QWidget* o, const QString& t, const QString& s) override
    {
        ++calls;
        owner = o;
        title = t;
        start = s;
        return folder;
    }
    bool ChooseOpenFile(QWidget* o, FileDialogRequest& r) override { return ChooseFile(o, r); }
    bool ChooseSaveFile(QWidget* o, FileDialogRequest& r) override { return ChooseFile(o, r); }
    bool ChooseFile(QWidget* o, FileDialogRequest& r)
    {
        ++calls;
        owner = o;
        request = r;
        if (!accept)
            return false;
        r.fileName = answer.fileName;
        r.filterIndex = answer.filterIndex;
        return true;
    }
    bool ChooseColor(QWidget*, QColor&, std::array<QColor, 16>&) override { return false; }
    bool ChooseFont(QWidget*, QFont&, QColor&) override { return false; }
    bool DefaultPrinter(PrinterSettings&) override { return false; }
    PrintSetupResult ChoosePrinter(QWidget*, PrinterSettings&) override { return PrintSetupResult::Cancelled; }
};

// Calls `act` every few milliseconds, while the timer lives, until it returns true.
[[nodiscard]] std::unique_ptr<QTimer> Repeat(const std::function<bool()>& act);
// Answers the window that asks how Extract copies, each time it opens: format and mode as given.
[[nodiscard]] std::unique_ptr<QTimer> AnswerRipOptions(QWidget* options, bool flac = false, bool secure = true);
// Calls `act` once with the modal window as soon as one is open.
[[nodiscard]] std::unique_ptr<QTimer> WhenModal(const std::function<void(QWidget*)>& act);

void ClickRow(ListView* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool twice = false);
std::vector<QStringList> Rows(ListView* list); // every cell's text

} // namespace tolvane::apptest
