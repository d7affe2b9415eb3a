#include "WindowShots.h"

#include "app/Background.h"
#include "app/DesignMode.h"
#include "app/FormTolvane.h"
#include "app/Resources.h"
#include "app/Session.h"
#include "controls/ListView.h"
#include "controls/ProgressBar.h"
#include "device/platform/LinuxPlatform.h"
#include "disc/OpticalDisk.h"
#include "emulator/Attach.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include <cstdio>

namespace tolvane::screenshots {

namespace {

bool Exposed(QWidget& window)
{
    QElapsedTimer timer;
    timer.start();
    while (!(window.windowHandle() && window.windowHandle()->isExposed())) {
        if (timer.elapsed() > 5000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QApplication::processEvents();
    return true;
}

// Shows `window` (when it is not up yet) and saves what it draws.
bool Shoot(QWidget& window, const QDir& out, const QString& name)
{
    window.show();
    const QString path = out.filePath(name);
    if (!Exposed(window) || !window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "tolvane-screenshots: cannot make %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

bool SaveWindowShots(const QDir& out)
{
    app::InitResources();
    // A message box would wait for a click that never comes.
    app::SetMessageHook([](const QString& text, QMessageBox::Icon) {
        std::fprintf(stderr, "tolvane-screenshots: the window said: %s\n", qPrintable(text));
    });

    // The demo discs in two virtual drives, and none of the machine's.
    app::Session session;
    session.clock = std::make_shared<VirtualClock>();
    const emulator::AttachResult attached =
        emulator::AttachDrives(*session.registry, {{emulator::DriveRequest::Kind::Demo, {}}}, session.clock);
    session.drives = attached.drives;
    session.platform = CreateLinuxPlatform(session.registry, "/nonexistent-device-folder");

    app::FormTolvane window(session);
    if (!attached.ok || !window.Start())
        return false;
    bool ok = true;

    // The main window after Refresh, two tracks chosen as a click chooses them.
    window.show();
    Exposed(window);
    window.RefreshClicked();
    auto* list = window.Control<ListView>(QStringLiteral("ListViewTracks"));
    for (const int row : {1, 3}) {
        ListItem* item = list->ListItems()->Item(row);
        item->SetSelected(true);
        emit list->ItemClick(item, 1);
    }
    ok &= Shoot(window, out, QStringLiteral("main-window.png"));

    ok &= Shoot(window.SelectDevice(), out, QStringLiteral("select-device.png"));
    window.SelectDevice().hide();

    window.Information().SetOpticalDisk(window.Disk());
    ok &= Shoot(window.Information(), out, QStringLiteral("information-cd.png"));
    window.Information().hide();
    OpticalDisk dvd(*session.platform, session.clock);
    ok &= dvd.Create("E:") && dvd.Read();
    window.Information().SetOpticalDisk(&dvd);
    ok &= Shoot(window.Information(), out, QStringLiteral("information-dvd.png"));
    window.Information().hide();

    // The extraction window as a Change event leaves it halfway through track 3; without a disc
    // object it copies nothing by itself.
    app::FormExtracting& extracting = window.Extracting();
    extracting.SetOpticalDisk(nullptr);
    extracting.SetTrack(3);
    auto* progress = extracting.Control<ProgressBar>(QStringLiteral("ProgressBarExtracting"));
    progress->SetMax(2000);
    const std::int32_t bytes = 44 + 1200 * 2352;
    const auto step = static_cast<float>(window.Disk()->Track(3)->RawSize().ToDouble() / progress->Max());
    progress->SetValue(app::FormExtracting::ProgressValue(bytes, step));
    extracting.Control<QLabel>(QStringLiteral("LabelTrack"))
        ->setText(app::FormExtracting::TrackWord(3) + QStringLiteral(": %1 bytes").arg(bytes));
    ok &= Shoot(extracting, out, QStringLiteral("extracting.png"));
    extracting.hide();

    // The question Extract asks first, as it stands before the first answer.
    ok &= Shoot(window.RipOptions(), out, QStringLiteral("rip-options.png"));
    window.RipOptions().hide();

    // The about box opens modally from the window menu's entry.
    bool aboutShot = false;
    QTimer::singleShot(0, &window, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            aboutShot = Shoot(*box, out, QStringLiteral("about.png"));
            box->findChild<QPushButton*>(QStringLiteral("CommandOK"))->click();
        }
    });
    window.ShowAbout(QStringLiteral("&About Tolvane..."));
    ok &= aboutShot;

    // The design mode on the main window's form, with the track list's Columns page.
    app::DesignWindow designer;
    QString error;
    if (!designer.Open(QStringLiteral("FormTolvane"), error)) {
        std::fprintf(stderr, "tolvane-screenshots: design mode: %s\n", qPrintable(error));
        ok = false;
    } else {
        ok &= Shoot(designer, out, QStringLiteral("design-mode.png"));
        if (auto page = designer.CreatePropertiesDialog(QStringLiteral("ListViewTracks")))
            ok &= Shoot(*page, out, QStringLiteral("design-columns-page.png"));
        if (auto page = designer.CreatePropertiesDialog(QStringLiteral("StatusBarStatus")))
            ok &= Shoot(*page, out, QStringLiteral("design-panels-page.png"));
        designer.FormWindow()->hide();
    }

    app::SetMessageHook({});
    return ok;
}

} // namespace tolvane::screenshots
