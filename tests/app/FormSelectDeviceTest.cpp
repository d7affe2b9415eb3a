#include "WindowTestRig.h"
#include "app/FormTolvane.h"
#include "controls/ListView.h"
#include "controls/StatusBar.h"
#include "device/OpticalDrives.h"
#include "disc/OpticalDisk.h"
#include "qtsupport/QtTestMain.h"

#include <QPushButton>
#include <QTest>

namespace tolvane {

using namespace apptest;
using app::FormSelectDevice;

namespace {

ListView* Devices(QWidget* dialog)
{
    return dialog->findChild<ListView*>(QStringLiteral("ListViewDevices"));
}

void Click(QWidget* dialog, const char* button)
{
    QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
}

int Selected(QWidget* dialog)
{
    const ListItem* item = Devices(dialog)->SelectedItem();
    return item ? item->Index() : -1;
}

} // namespace

class FormSelectDeviceTest : public QObject {
    Q_OBJECT

private:
    Rig rig{{Demo(), Empty()}}; // D: the demo CD, E: the demo DVD, F: empty

private slots:
    void ListsTheDrivesAndPreselectsTheLastChoice()
    {
        OpticalDrives drives(*rig.session.platform);
        FormSelectDevice dialog;
        dialog.SetOpticalDrives(&drives);
        std::vector<QStringList> rows;
        QList<int> preselected;
        auto act = WhenModal([&](QWidget* shown) {
            rows = Rows(Devices(shown));
            preselected << Selected(shown);
            ClickRow(Devices(shown), 2, Qt::NoModifier, true);
        });
        dialog.exec();
        QCOMPARE(rows.size(), std::size_t{3});
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const OpticalDriveItem* d = drives.Item(static_cast<std::int16_t>(i));
            QCOMPARE(rows[i], QStringList({QString::fromStdString(d->Letter()), QString::fromStdString(d->Name()),
                                           QString::fromStdString(d->Revision()),
                                           QString::fromStdString(d->Manufacturer())}));
        }
        QVERIFY(dialog.OK() && dialog.Device() == 2);

        // The second showing selects the chosen drive and starts with OK false; OK takes the row.
        bool okWhileOpen = true;
        act = WhenModal([&](QWidget* shown) {
            preselected << Selected(shown);
            okWhileOpen = dialog.OK();
            Click(shown, "CommandOK");
        });
        dialog.exec();
        QCOMPARE(preselected, QList<int>({0, 2}));
        QVERIFY(!okWhileOpen && dialog.OK() && dialog.Device() == 2);
    }

    void OkWithoutARowAndCancelChangeNothing()
    {
        OpticalDrives drives(*rig.session.platform);
        FormSelectDevice dialog;
        dialog.SetOpticalDrives(&drives);
        dialog.SetDevice(1);
        bool openAfterOk = false;
        auto act = WhenModal([&](QWidget* shown) {
            Devices(shown)->ListItems()->Item(1)->SetSelected(false);
            Click(shown, "CommandOK");
            openAfterOk = shown->isVisible();
            ClickRow(Devices(shown), 2);
            Click(shown, "CommandCancel");
        });
        dialog.exec();
        QVERIFY(openAfterOk && !dialog.isVisible());
        QVERIFY(!dialog.OK() && dialog.Device() == 1);
    }

    void MainWindowReopensTheChosenDrive()
    {
        app::FormTolvane w(rig.session);
        QVERIFY(w.Start());
        auto act = WhenModal([&](QWidget* shown) {
            ClickRow(Devices(shown), 1);
            Click(shown, "CommandOK");
        });
        w.SelectDeviceClicked();
        QCOMPARE(w.Disk()->Drive(), std::string("E:"));
        QCOMPARE(w.Control<StatusBar>(QStringLiteral("StatusBarStatus"))->Panel(0)->Text(),
                 QStringLiteral("Letter: E: "));
    }
};

TOLVANE_QTEST(FormSelectDeviceTest)

} // namespace tolvane

#include "FormSelectDeviceTest.moc"
