#include "WindowTestRig.h"
#include "app/FormExtracting.h"
#include "controls/ProgressBar.h"
#include "disc/OpticalDisk.h"
#include "qtsupport/QtTestMain.h"
#include "support/TestData.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <filesystem>

namespace tolvane {

using namespace apptest;
using app::FormExtracting;

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
    void ProgressValueRoundsHalvesToEven_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<float>("step");
        QTest::addColumn<int>("value");
        QTest::newRow("2.5 down to 2") << 5 << 2.0f << 2;
        QTest::newRow("3.5 up to 4") << 7 << 2.0f << 4;
        QTest::newRow("first sector") << 2396 << 88.2f << 27;
        // The header's 44 bytes on top of a whole track still round to the maximum from 75 blocks on.
        QTest::newRow("75 blocks, last") << 44 + 75 * Sector << 75 * Sector / 2000.0f << 2000;
        QTest::newRow("74 blocks, last") << 44 + 74 * Sector << 74 * Sector / 2000.0f << 2001;
    }
    void ProgressValueRoundsHalvesToEven()
    {
        QFETCH(int, bytes);
        QFETCH(float, step);
        QFETCH(int, value);
        QCOMPARE(FormExtracting::ProgressValue(bytes, step), value);
    }

    void CopiesOneTrack_data()
    {
        QTest::addColumn<int>("track");
        QTest::addColumn<QString>("label");  // at the end
        QTest::addColumn<int>("highest");    // the bar's highest position
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("track 12") << 12 << QStringLiteral("Track 12: %1 bytes").arg(44 + 75 * Sector) << 2000
                                  << QStringList{};
        // The short track's last value lies beyond the maximum: the bar keeps the one before.
        QTest::newRow("short track") << 11 << QStringLiteral("Track 11: %1 bytes").arg(44 + 74 * Sector)
                                     << FormExtracting::ProgressValue(44 + 73 * Sector, 74 * Sector / 2000.0f)
                                     << QStringList{};
        QTest::newRow("data track") << 13 << QStringLiteral("Track 13: 0 bytes") << 0 << QStringList{ExtractError};
    }
    void CopiesOneTrack()
    {
        QFETCH(int, track);
        QFETCH(QString, label);
        QFETCH(int, highest);
        QFETCH(QStringList, messages);
        Messages shown;
        Extraction e(track);
        int reached = 0;
        connect(e.Bar(), &ProgressBar::PropertyChanged, this, [&] { reached = std::max(reached, e.Bar()->Value()); });
        e.w.exec();
        QCOMPARE(e.Label(), label);
        QCOMPARE(reached, highest);
        QCOMPARE(e.Bar()->Value(), 0);
        QCOMPARE(shown.shown, messages);
        const std::string file = e.dir.File("Track " + std::to_string(track) + ".wav");
        QCOMPARE(std::filesystem::exists(file), messages.isEmpty());
        if (messages.isEmpty()) {
            const auto source = e.disk->Track(static_cast<std::int16_t>(track));
            const auto audio = AudioBytes(*e.rig.Drive(0).CurrentDisc(), source->LBA(), source->LogicalBlocks());
            const std::vector<std::uint8_t> wav = test::ReadBytes(file);
            QVERIFY(wav.size() == audio.size() + 44 && std::equal(audio.begin(), audio.end(), wav.begin() + 44));
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
