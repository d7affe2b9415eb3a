#include "WindowTestRig.h"
#include "app/FormInformation.h"
#include "controls/ListView.h"
#include "disc/InformationReport.h"
#include "disc/OpticalDisk.h"
#include "qtsupport/QtTestMain.h"
#include "support/TestData.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <cstring>

namespace tolvane {

using namespace apptest;
using Requests = std::vector<emulator::DriveRequest>;

namespace {

bool Show(app::FormInformation& w, OpticalDisk* disk)
{
    w.SetOpticalDisk(disk);
    w.show();
    return QTest::qWaitForWindowExposed(&w);
}

void SaveAs(app::FormInformation& w)
{
    QTest::mouseClick(w.Control<QPushButton>(QStringLiteral("CommandSaveas")), Qt::LeftButton);
}

} // namespace

class FormInformationTest : public QObject {
    Q_OBJECT

private slots:
    // The window lists the facts and saves them as the report the core writes for the disc.
    void ListsTheFactsAndSavesThem()
    {
        const struct {
            const char* name;
            Requests drives;
            std::size_t rows;
            QStringList row; // one of them
        } cases[] = {{"audio CD", {Demo()}, 17, {"CTDB TOC ID", "j0vZ4FRFbDVS3UxpHxH9w5jDblA-"}},
                     {"data CD", {Image("libcdio/isofs-m1.cue")}, 27, {"Volume Identifier", "CDROM"}}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            Messages shown;
            ScriptedDialogs dialogs;
            test::TempDir dir;
            dialogs.answer.fileName = QString::fromStdString(dir.File("facts.txt"));
            Rig rig(c.drives);
            auto disk = rig.Open(0, true);
            app::FormInformation w;
            QVERIFY(Show(w, disk.get()));

            const auto listed = Rows(w.Control<ListView>(QStringLiteral("ListViewInformation")));
            QCOMPARE(listed.size(), c.rows);
            QVERIFY(std::find(listed.begin(), listed.end(), c.row) != listed.end());
            const std::string report =
                InformationReport(InformationRows(disk->Check(), *disk->CD(), *disk->CDText(), *disk->DVD(),
                                                  ids::IdentifiersOf(*disk)));
            QCOMPARE(w.Report(), report);

            SaveAs(w);
            QCOMPARE(dialogs.request.title, QStringLiteral("Save As"));
            QCOMPARE(dialogs.request.fileName, QStringLiteral("Tolvane"));
            const QString filter = dialogs.request.nameFilters.value(0);
            QVERIFY(filter.startsWith(QStringLiteral("Text Document (*.txt)")));
            const std::vector<std::uint8_t> saved = test::ReadBytes(dir.File("facts.txt"));
            QCOMPARE(std::string(saved.begin(), saved.end()), report);
            QCOMPARE(shown.shown, QStringList());
        }
    }

    void SaveFailureSaysWhy()
    {
        Messages shown;
        ScriptedDialogs dialogs;
        dialogs.answer.fileName = QStringLiteral("/nonexistent-folder/facts.txt");
        Rig rig({Empty()});
        auto disk = rig.Open(0, false);
        app::FormInformation w;
        QVERIFY(Show(w, disk.get()));
        SaveAs(w);
        QCOMPARE(shown.shown.size(), 1);
        QVERIFY2(shown.shown[0].contains(QString::fromLocal8Bit(std::strerror(ENOENT))), qPrintable(shown.shown[0]));
        QVERIFY(shown.shown[0].endsWith(Message({}, QMessageBox::Warning)));
    }
};

TOLVANE_QTEST(FormInformationTest)

} // namespace tolvane

#include "FormInformationTest.moc"
