// What the window tests share: virtual drives behind a session of their own, a dialog backend
// that answers from a script, message boxes recorded instead of shown, and helpers that act on
// the windows as a user does.
#pragma once

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
    void Add(std::shared_ptr<const emulator::Disc> disc); // one more drive; empty when null
    emulator::EmulatedDrive& Drive(std::size_t index) { return *session.drives.at(index); }
    std::unique_ptr<OpticalDisk> Open(std::size_t index, bool read); // bound to drive `index`
};
emulator::DriveRequest Demo();
emulator::DriveRequest Empty();
emulator::DriveRequest Image(const std::string& testDataPath);

// A one-session CD, a track per entry (mode, blocks) from LBA 0. Its sectors carry their own
// address, so a copy from the wrong place shows.
using TrackPiece = std::pair<emulator::TrackMode, std::int32_t>;
std::shared_ptr<emulator::Disc> BuildCd(const std::vector<TrackPiece>& tracks);
std::shared_ptr<emulator::Disc> BlankCdR();
// The 2,352-byte sectors the disc serves from `lba` on.
std::vector<std::uint8_t> AudioBytes(const emulator::Disc& disc, std::int32_t lba, std::int32_t count);

// The messages shown while the object lives, as Message() writes them.
struct Messages {
    Messages();
    ~Messages();
    QStringList shown;
};
QString Message(const QString& text, int icon);

// The folder and save dialogs answered from a script; the default backend while it lives.
struct ScriptedDialogs : DialogBackend {
    ScriptedDialogs();
    ~ScriptedDialogs() override;
    QString folder;   // chosen folder; empty: cancelled
    QString saveName; // chosen file; empty: cancelled
    int folderCalls = 0;
    QString folderTitle;
    FileDialogRequest saveRequest; // what the save dialog was given

    QString ChooseFolder(QWidget*, const QString& title, const QString&) override;
    bool ChooseSaveFile(QWidget*, FileDialogRequest& request) override;
    bool ChooseOpenFile(QWidget*, FileDialogRequest&) override { return false; }
    bool ChooseColor(QWidget*, QColor&, std::array<QColor, 16>&) override { return false; }
    bool ChooseFont(QWidget*, QFont&, QColor&) override { return false; }
    bool DefaultPrinter(PrinterSettings&) override { return false; }
    PrintSetupResult ChoosePrinter(QWidget*, PrinterSettings&) override { return PrintSetupResult::Cancelled; }
};

// Calls `act` every few milliseconds, while the timer lives, until it returns true.
[[nodiscard]] std::unique_ptr<QTimer> Repeat(const std::function<bool()>& act);
// Calls `act` once with the modal window as soon as one is open.
[[nodiscard]] std::unique_ptr<QTimer> WhenModal(const std::function<void(QWidget*)>& act);

void ClickRow(ListView* list, int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void DoubleClickRow(ListView* list, int row);
std::vector<QStringList> Rows(ListView* list); // every cell's text

} // namespace tolvane::apptest
