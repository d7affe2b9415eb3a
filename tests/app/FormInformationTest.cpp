#include "WindowTestRig.h"
#include "app/FormInformation.h"
#include "controls/ListView.h"
#include "disc/InformationReport.h"
#include "disc/OpticalDisk.h"
#include "qtsupport/QtTestMain.h"
#include "support/TestData.h"

#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace tolvane {

using namespace apptest;
using Requests = std::vector<emulator::DriveRequest>;

namespace {

std::string FileText(const std::string& path)
{
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

void SaveAs(app::FormInformation& w)
{
    QTest::mouseClick(w.Control<QPushButton>(QStringLiteral("CommandSaveas")), Qt::LeftButton);
}

} // namespace

class FormInformationTest : public QObject {
    Q_OBJECT

private slots:
    void ListsTheFactsAndSavesThem_data()
    {
        QTest::addColumn<Requests>("drives"); // none: a blank CD-R
        QTest::addColumn<int>("drive");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("row"); // one of them
        QTest::addColumn<QStringList>("cli"); // the options that show tolvane-cli the same disc
        const std::string iso = "libcdio/isofs-m1.cue";
        QTest::newRow("audio CD") << Requests{Demo()} << 0 << 12 << QStringList{"Title", "Tolvane Demo"}
                                  << QStringList{"--demo"};
        QTest::newRow("data CD") << Requests{Image(iso)} << 0 << 27 << QStringList{"Volume Identifier", "CDROM"}
                                 << QStringList{"--image", QString::fromStdString(test::TestDataPath(iso))};
        QTest::newRow("DVD") << Requests{Demo()} << 1 << 29 << QStringList{"Layers", "2"}
                             << QStringList{"--demo", "--drive", "E:"};
        QTest::newRow("blank CD-R") << Requests{} << 0 << 4 << QStringList{"Disc Status", "Empty"} << QStringList{};
        QTest::newRow("no disc") << Requests{Empty()} << 0 << 1 << QStringList{"Media not present", ""}
                                 << QStringList{"--empty"};
    }
    void ListsTheFactsAndSavesThem()
    {
        QFETCH(Requests, drives);
        QFETCH(int, drive);
        QFETCH(int, rows);
        QFETCH(QStringList, row);
        QFETCH(QStringList, cli);
        Messages shown;
        ScriptedDialogs dialogs;
        test::TempDir dir;
        dialogs.saveName = QString::fromStdString(dir.File("facts.txt"));
        Rig rig(drives);
        if (drives.empty())
            rig.Add(BlankCdR());
        auto disk = rig.Open(static_cast<std::size_t>(drive), true);
        app::FormInformation w;
        w.SetOpticalDisk(disk.get());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        const std::vector<QStringList> listed = Rows(w.Control<ListView>(QStringLiteral("ListViewInformation")));
        QCOMPARE(listed.size(), static_cast<std::size_t>(rows));
        QVERIFY(std::find(listed.begin(), listed.end(), row) != listed.end());
        const std::string report =
            InformationReport(InformationRows(disk->Check(), *disk->CD(), *disk->CDText(), *disk->DVD()));
        QCOMPARE(w.Report(), report);

        SaveAs(w);
        QCOMPARE(dialogs.saveRequest.title, QStringLiteral("Save As"));
        QCOMPARE(dialogs.saveRequest.fileName, QStringLiteral("Tolvane"));
        QVERIFY(dialogs.saveRequest.nameFilters.value(0).startsWith(QStringLiteral("Text Document (*.txt)")));
        QCOMPARE(FileText(dir.File("facts.txt")), report);
        QCOMPARE(shown.shown, QStringList());
        if (cli.isEmpty())
            return;
        QProcess tool;
        tool.start(QStringLiteral(TOLVANE_CLI), cli << "report" << QString::fromStdString(dir.File("cli.txt")));
        QVERIFY(tool.waitForFinished(60000) && tool.exitCode() == 0);
        QCOMPARE(FileText(dir.File("cli.txt")), report);
    }

    void SaveFailureSaysWhy()
    {
        Messages shown;
        ScriptedDialogs dialogs;
        dialogs.saveName = QStringLiteral("/nonexistent-folder/facts.txt");
        Rig rig({Empty()});
        auto disk = rig.Open(0, false);
        app::FormInformation w;
        w.SetOpticalDisk(disk.get());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        SaveAs(w);
        QCOMPARE(shown.shown.size(), 1);
        QVERIFY2(shown.shown[0].contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(shown.shown[0]));
        QVERIFY(shown.shown[0].endsWith(Message({}, QMessageBox::Warning)));
    }
};

TOLVANE_QTEST(FormInformationTest)

} // namespace tolvane

#include "FormInformationTest.moc"
