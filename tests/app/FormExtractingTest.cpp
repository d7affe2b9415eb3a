#include "WindowTestRig.h"
#include "app/FormExtracting.h"
#include "controls/ProgressBar.h"
#include "disc/OpticalDisk.h"
#include "qtsupport/QtTestMain.h"
#include "support/TestData.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <filesystem>

namespace tolvane {

using namespace apptest;
using app::FormExtracting;
using namespace Qt::StringLiterals;

namespace {

constexpr std::int32_t Sector = 2352;
const QString ExtractError = Message(QStringLiteral("Error extracting track"), QMessageBox::Warning);

// The extraction window on track `track` of a disc with tracks 1-10 of 20 blocks, 11 of 74 (too
// short for its last progress step to round down), 12 of 75, and a data track 13.
struct Extraction {
    test::TempDir dir;
    Rig rig{{}};
    std::unique_ptr<OpticalDisk> disk;
    FormExtracting w;
    explicit Extraction(int track)
    {
        std::vector<TrackPiece> tracks(10, {emulator::TrackMode::Audio, 20});
        tracks.insert(tracks.end(), {{emulator::TrackMode::Audio, 74}, {emulator::TrackMode::Audio, 75},
                                     {emulator::TrackMode::Mode1, 20}});
        rig.Add(BuildCd(tracks));
        disk = rig.Open(0, true);
        w.SetOpticalDisk(disk.get());
        w.SetTrack(static_cast<std::uint8_t>(track));
        w.SetFolderName(QString::fromStdString(dir.Path() + "/"));
    }
    QString Label() { return w.Control<QLabel>(QStringLiteral("LabelTrack"))->text(); }
    ProgressBar* Bar() { return w.Control<ProgressBar>(QStringLiteral("ProgressBarExtracting")); }
};

} // namespace

class FormExtractingTest : public QObject {
    Q_OBJECT

private slots:
    void ProgressValueRoundsHalvesToEven()
    {
        // The header's 44 bytes on top of a whole track still round to the maximum from 75 blocks on.
        const struct { const char* name; int bytes; float step; int value; } cases[] = {
            {"2.5 down to 2", 5, 2.0f, 2}, {"3.5 up to 4", 7, 2.0f, 4}, {"first sector", 2396, 88.2f, 27},
            {"75 blocks, last", 44 + 75 * Sector, 75 * Sector / 2000.0f, 2000},
            {"74 blocks, last", 44 + 74 * Sector, 74 * Sector / 2000.0f, 2001}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            QCOMPARE(FormExtracting::ProgressValue(c.bytes, c.step), c.value);
        }
    }

    void CopiesOneTrack()
    {
        const struct {
            int track;
            QString label; // at the end
            int highest;   // the bar's highest position
            QStringList messages;
        } cases[] = {
            {12, u"Track 12: %1 bytes"_s.arg(44 + 75 * Sector), 2000, {}},
            // The short track's last value lies beyond the maximum: the bar keeps the one before.
            {11, u"Track 11: %1 bytes"_s.arg(44 + 74 * Sector),
             FormExtracting::ProgressValue(44 + 73 * Sector, 74 * Sector / 2000.0f), {}},
            {13, u"Track 13: 0 bytes"_s, 0, {ExtractError}}}; // data
        for (const auto& c : cases) {
            const QByteArray name = QByteArray::number(c.track);
            const qttest::Row row{name.constData()};
            Messages shown;
            Extraction e(c.track);
            int reached = 0;
            connect(e.Bar(), &ProgressBar::PropertyChanged, this,
                    [&] { reached = std::max(reached, e.Bar()->Value()); });
            e.w.exec();
            QCOMPARE(e.Label(), c.label);
            QVERIFY(reached == c.highest && e.Bar()->Value() == 0);
            QCOMPARE(shown.shown, c.messages);
            // (the copy's content is checked through the main window)
            const std::string file = e.dir.File("Track " + std::to_string(c.track) + ".wav");
            QCOMPARE(std::filesystem::exists(file), c.messages.isEmpty());
        }
    }

    void CancelBeforeTheFirstSectorIsAnError()
    {
        Messages shown;
        Extraction e(1);
        // Cancel as the window resets its bar for the copy, before a sector is read.
        QString startLabel;
        connect(e.Bar(), &ProgressBar::PropertyChanged, this, [&](const QString& key) {
            if (key != QStringLiteral("Value") || !startLabel.isEmpty())
                return;
            startLabel = e.Label();
            QTest::mouseClick(e.w.Control<QPushButton>(QStringLiteral("CommandCancel")), Qt::LeftButton);
        });
        e.w.exec();
        QCOMPARE(startLabel, QStringLiteral("Track 1: 0 bytes"));
        QCOMPARE(shown.shown, QStringList{ExtractError});
    }
};

TOLVANE_QTEST(FormExtractingTest)

} // namespace tolvane

#include "FormExtractingTest.moc"
