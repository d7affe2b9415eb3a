#include "WindowTestRig.h"
#include "app/FormAbout.h"
#include "app/FormTolvane.h"
#include "controls/ListView.h"
#include "controls/ProgressBar.h"
#include "controls/StatusBar.h"
#include "controls/SystemMenu.h"
#include "disc/OpticalDisk.h"
#include "disc/TrackTable.h"
#include "qtsupport/QtTestMain.h"
#include "rip/output/FlacReader.h"
#include "support/TestData.h"

#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>

namespace tolvane {

using namespace apptest;
using namespace Qt::StringLiterals;
using app::FormTolvane;
using DiscPtr = std::shared_ptr<const emulator::Disc>;

namespace {

// The main window on its own drives, started and shown.
struct Window {
    Rig rig;
    FormTolvane w{rig.session};
    explicit Window(Rig&& r) : rig(std::move(r)) {}
    bool Show()
    {
        if (!w.Start())
            return false;
        w.show();
        return QTest::qWaitForWindowExposed(&w);
    }
    ListView* Tracks() { return w.Control<ListView>(QStringLiteral("ListViewTracks")); }
    int Rows() { return Tracks()->ListItems()->Count(); }
    QString Panel(int i) { return w.Control<StatusBar>(QStringLiteral("StatusBarStatus"))->Panel(i)->Text(); }
    QPushButton* Button(const char* name) { return w.Control<QPushButton>(QString::fromLatin1(name)); }
    void Click(const char* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }
};

const QString NotAudio = Message(QStringLiteral("Track is not in audio mode"), QMessageBox::Warning);

} // namespace

class FormTolvaneTest : public QObject {
    Q_OBJECT

private slots:
    void StartUp()
    {
        Messages shown;
        Window none{Rig({})};
        QVERIFY(!none.w.Start());
        QCOMPARE(shown.shown, QStringList{Message(u"No CD/DVD drives found or ASPI/SPTI not available"_s,
                                                  QMessageBox::Critical)});
        Window m{Rig({Demo()})};
        QVERIFY(m.w.Start());
        QCOMPARE(shown.shown.size(), 1);
        // The first of the two drives is open; the list waits, disabled, for Refresh.
        QCOMPARE(m.w.Disk()->Drive(), std::string("D:"));
        QCOMPARE(QStringList({m.Panel(0), m.Panel(1), m.Panel(2)}),
                 QStringList({"Letter: D: ", "Interface: SPTI ", ""}));
        QVERIFY(m.Rows() == 0 && !m.Tracks()->Enabled() && !m.Button("CommandExtract")->isEnabled());
    }

    void RefreshListsTheTracksUntilEjectOrInsert()
    {
        Messages shown;
        Window m{Rig({Demo()})};
        QVERIFY(m.Show());
        m.Click("CommandRefresh");
        const std::vector<QStringList> rows = apptest::Rows(m.Tracks());
        QCOMPARE(rows.size(), std::size_t{6});
        for (int n = 1; n <= 6; ++n) {
            QStringList cells;
            for (const std::string& cell : TrackCells(*m.w.Disk(), n))
                cells << QString::fromStdString(cell);
            QCOMPARE(rows[static_cast<std::size_t>(n - 1)], cells);
        }
        QCOMPARE(rows[0][7], QStringLiteral("Café au Lait"));
        QCOMPARE(m.Panel(2), QStringLiteral("6 tracks / 0 selected"));
        QVERIFY(m.Tracks()->Enabled());

        m.Click("CommandEject");
        QCOMPARE(m.rig.Drive(0).TrayState(), emulator::EmulatedDrive::Tray::Open);
        QVERIFY(m.Rows() == 0 && !m.Tracks()->Enabled() && m.Panel(2).isEmpty());
        m.Click("CommandRefresh"); // the tray is open
        m.Click("CommandLoad");
        QCOMPARE(m.rig.Drive(0).TrayState(), emulator::EmulatedDrive::Tray::Closed);
        QCOMPARE(m.Rows(), 0);
        m.Click("CommandRefresh");
        QCOMPARE(m.Rows(), 6);
        QCOMPARE(shown.shown, QStringList{Message(QStringLiteral("Media not present"), QMessageBox::Warning)});
    }

    void RefreshOfOtherDiscs()
    {
        const struct {
            const char* name;
            DiscPtr disc;
            QString status;
            QStringList messages;
            int narrowed; // the last column, by the scroll bar's room
        } cases[] = {
            {"blank disc", BlankCdR(), u"0 tracks / 0 selected"_s,
             {Message(u"No tracks found"_s, QMessageBox::Information)}, 0},
            {"one track", BuildCd({{emulator::TrackMode::Audio, 300}}), u"1 track / 0 selected"_s, {}, 0},
            {"forty tracks", BuildCd(std::vector<TrackPiece>(40, {emulator::TrackMode::Audio, 150})),
             u"40 tracks / 0 selected"_s, {}, 16}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            Messages shown;
            Window m{Rig({})};
            m.rig.Add(c.disc);
            QVERIFY(m.Show());
            const int width = m.Tracks()->Column(8)->ActualWidth();
            m.w.RefreshClicked();
            QCOMPARE(shown.shown, c.messages);
            QCOMPARE(m.Panel(2), c.status);
            QCOMPARE(m.Tracks()->Column(8)->ActualWidth(), width - c.narrowed);
            m.w.EjectClicked(); // the reset gives the width back
            QCOMPARE(m.Tracks()->Column(8)->ActualWidth(), width);
        }
    }

    void DataRowsCannotBeSelected()
    {
        Messages shown;
        Window m{Rig({Image("cdrdao/data2.toc")})}; // a data track, then an audio track
        QVERIFY(m.Show());
        m.w.RefreshClicked();
        ClickRow(m.Tracks(), 0);
        QCOMPARE(shown.shown, QStringList{NotAudio});
        QVERIFY(!m.Tracks()->ListItems()->Item(0)->Selected() && !m.Button("CommandExtract")->isEnabled());
        QCOMPARE(m.Panel(2), QStringLiteral("2 tracks / 0 selected"));
        ClickRow(m.Tracks(), 1);
        QVERIFY(m.Tracks()->ListItems()->Item(1)->Selected() && m.Button("CommandExtract")->isEnabled());
        QCOMPARE(m.Panel(2), QStringLiteral("2 tracks / 1 selected"));

        // A click below the rows updates the state from the selection it leaves.
        auto* tree = qobject_cast<QTreeWidget*>(m.Tracks()->ControlHwnd());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(20, tree->viewport()->height() - 5));
        QVERIFY(m.Tracks()->ListItems()->SelectedCount() == 0 && !m.Button("CommandExtract")->isEnabled());
        QCOMPARE(m.Panel(2), QStringLiteral("2 tracks / 0 selected"));
    }

    void ExtractCopiesTheSelectedTracksInListOrder()
    {
        Messages shown;
        ScriptedDialogs dialogs;
        test::TempDir dir;
        dialogs.folder = QString::fromStdString(dir.Path());
        Window m{Rig({})};
        m.rig.Add(BuildCd(std::vector<TrackPiece>(6, {emulator::TrackMode::Audio, 600})));
        QVERIFY(m.Show());
        const QString startFolder = m.w.Dialogs().FolderName();
        m.w.RefreshClicked();
        for (const int row : {4, 1, 2})
            ClickRow(m.Tracks(), row, Qt::ControlModifier);
        QCOMPARE(m.Panel(2), QStringLiteral("6 tracks / 3 selected"));
        std::vector<int> order;
        const auto watch = Repeat([&] {
            if (m.w.Extracting().isVisible() && (order.empty() || order.back() != m.w.Extracting().Track()))
                order.push_back(m.w.Extracting().Track());
            return false;
        });
        const auto answer = AnswerRipOptions(&m.w.RipOptions());
        m.Click("CommandExtract");
        QCOMPARE(dialogs.title, startFolder); // the folder dialog shows the last folder
        QCOMPARE(order, (std::vector<int>{2, 3, 5}));
        // Then what the secure reads and the (unreachable) database say of each copy.
        QCOMPARE(shown.shown.size(), 1);
        QVERIFY2(shown.shown[0].startsWith(QStringLiteral("Track 2: not checked; 0 sectors read again\n"
                                                          "Track 3: not checked; 0 sectors read again\n"
                                                          "Track 5: not checked; 0 sectors read again\n"
                                                          "AccurateRip could not be asked: ")),
                 qPrintable(shown.shown[0]));
        for (const int n : {2, 3, 5}) {
            const auto track = m.w.Disk()->Track(static_cast<std::int16_t>(n));
            const auto audio = AudioBytes(*m.rig.Drive(0).CurrentDisc(), track->LBA(), track->LogicalBlocks());
            QCOMPARE(WavProblem(dir.File("Track " + std::to_string(n) + ".wav"), audio), QString());
        }
        QVERIFY(!std::filesystem::exists(dir.File("Track 1.wav")));
    }

    void ExtractAsksHowAndCopiesSecurelyToFlac()
    {
        Messages shown;
        ScriptedDialogs dialogs;
        test::TempDir dir;
        dialogs.folder = QString::fromStdString(dir.Path());
        Window m{Rig({})};
        m.rig.Add(BuildCd(std::vector<TrackPiece>(2, {emulator::TrackMode::Audio, 600})));
        emulator::Damage scratch;
        scratch.readsRight = 0.5;
        m.rig.Drive(0).DamageAt(700, 10, scratch, 3);
        QVERIFY(m.Show());
        m.w.RefreshClicked();
        ClickRow(m.Tracks(), 1);
        QString label;
        const auto watch = Repeat([&] {
            if (m.w.Extracting().isVisible())
                label = m.w.Extracting().Control<QLabel>(QStringLiteral("LabelTrack"))->text();
            return false;
        });
        const auto answer = AnswerRipOptions(&m.w.RipOptions(), true, true);
        m.Click("CommandExtract");
        QCOMPARE(shown.shown.size(), 1);
        QVERIFY2(shown.shown[0].startsWith(QStringLiteral("Track 2: not checked; ")), qPrintable(shown.shown[0]));
        QVERIFY2(!shown.shown[0].contains(QStringLiteral("; 0 sectors")), qPrintable(shown.shown[0]));
        QVERIFY2(label.contains(QStringLiteral("sectors read again")), qPrintable(label));
        // The scratched sectors came out right, in a FLAC file.
        rip::FlacReader flac;
        QVERIFY(flac.Open(dir.File("Track 2.flac")));
        std::vector<std::uint8_t> decoded;
        QVERIFY(flac.Read([&](std::span<const std::uint8_t> pcm) { decoded.insert(decoded.end(), pcm.begin(), pcm.end()); }));
        const auto track = m.w.Disk()->Track(2);
        QVERIFY(decoded == AudioBytes(*m.rig.Drive(0).CurrentDisc(), track->LBA(), track->LogicalBlocks()));
        QVERIFY(!std::filesystem::exists(dir.File("Track 2.wav")));
    }

    void CancelStopsTheTrackInProgress()
    {
        Messages shown;
        ScriptedDialogs dialogs;
        test::TempDir dir;
        dialogs.folder = QString::fromStdString(dir.Path());
        Window m{Rig({Demo()}, std::make_shared<PacedClock>())};
        QVERIFY(m.Show());
        m.w.RefreshClicked();
        ClickRow(m.Tracks(), 0);
        // Each read of the copy takes a tenth of a second; Cancel is pressed as the first progress shows.
        m.rig.Drive(0).SetTiming({std::chrono::milliseconds(100), Clock::Duration{0}});
        auto* label = m.w.Extracting().Control<QLabel>(QStringLiteral("LabelTrack"));
        bool pressed = false;
        connect(m.w.Extracting().Control<ProgressBar>(QStringLiteral("ProgressBarExtracting")),
                &ProgressBar::PropertyChanged, this, [&] {
                    if (pressed || !label->text().startsWith(QStringLiteral("Track 1: ")) ||
                        label->text() == QStringLiteral("Track 1: 0 bytes"))
                        return;
                    pressed = true;
                    QTest::mouseClick(m.w.Extracting().Control<QPushButton>(QStringLiteral("CommandCancel")),
                                      Qt::LeftButton);
                });
        const auto answer = AnswerRipOptions(&m.w.RipOptions());
        m.Click("CommandExtract");
        QCOMPARE(shown.shown, QStringList{Message(QStringLiteral("Track extraction cancelled"), QMessageBox::Warning)});
        const std::string file = dir.File("Track 1.wav");
        const auto sectors = static_cast<std::int32_t>((std::filesystem::file_size(file) - 44) / 2352);
        QVERIFY2(sectors > 0 && sectors < m.w.Disk()->Track(1)->LogicalBlocks(), qPrintable(QString::number(sectors)));
        QCOMPARE(WavProblem(file, AudioBytes(*m.rig.Drive(0).CurrentDisc(), 0, sectors)), QString());
    }

    void EnterInTheListActsAsExtractAndTheSystemMenuOpensAboutWithItsLink()
    {
        ScriptedDialogs dialogs; // the folder dialog is cancelled: nothing is copied, nothing said
        Messages shown;
        Window m{Rig({Demo()})};
        QVERIFY(m.Show());
        m.w.RefreshClicked();
        QTest::keyClick(m.Tracks()->ControlHwnd(), Qt::Key_Return);
        QCOMPARE(dialogs.calls, 0);
        ClickRow(m.Tracks(), 3);
        QTest::keyClick(m.Tracks()->ControlHwnd(), Qt::Key_Return);
        QCOMPARE(dialogs.calls, 1);
        QCOMPARE(shown.shown, QStringList());
        QStringList seen;
        QList<QUrl> opened;
        app::FormAbout::SetUrlOpener([&opened](const QUrl& url) { return opened << url, true; });
        const auto restore = qScopeGuard([] {
            app::FormAbout::SetUrlOpener([](const QUrl&) { return false; }); // no browser
        });
        const auto act = WhenModal([&](QWidget* box) {
            const auto text = [box](const QString& name) { return box->findChild<QLabel*>(name)->text(); };
            auto* link = box->findChild<QLabel*>(u"LabelWebsite"_s);
            seen << box->windowTitle() << text(u"LabelApplication"_s) << text(u"LabelCopyright"_s);
            seen << link->text();
            // Only the website's text is clickable: the label is as wide as the text, and a click opens it.
            const int textWidth = QFontMetrics(box->font()).horizontalAdvance(link->text());
            seen << QString::number(link->width() - textWidth);
            QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(link->width() - 2, link->height() / 2));
            QTest::mouseClick(box->findChild<QPushButton*>(QStringLiteral("CommandOK")), Qt::LeftButton);
        });
        for (QAction* action : m.w.Control<SystemMenu>(QStringLiteral("SystemMenuTolvane"))->Menu()->actions())
            if (action->text() == QStringLiteral("&About Tolvane..."))
                action->trigger();
        const QString website = u"https://brevantis.example/tolvane"_s;
        QCOMPARE(seen, QStringList({"About Tolvane", "Tolvane 1.0",
                                    u"Copyright \u00A9 2026 Brevantis. All rights reserved."_s, website, "0"}));
        QCOMPARE(opened, QList<QUrl>{QUrl(website)});
        QVERIFY(!m.w.About().isVisible());
    }
};

TOLVANE_QTEST(FormTolvaneTest)

} // namespace tolvane

#include "FormTolvaneTest.moc"
