#include "controls/SystemMenu.h"
#include "qtsupport/QtTestMain.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>

namespace tolvane {

namespace {

// A menu on its own form with items described as "Text" or "-" (a separator).
struct Rig {
    QWidget form;
    SystemMenu control{&form};
    explicit Rig(const QStringList& items)
    {
        control.SetCount(static_cast<int>(items.size()));
        for (int i = 0; i < control.Count(); ++i) {
            if (items[i] == QLatin1String("-"))
                control.SystemMenuItem(i)->SetStyle(smSeparator);
            else
                control.SystemMenuItem(i)->SetText(items[i]);
        }
    }
};

// The texts of the menu's actions, separators as "-".
QStringList MenuTexts(const SystemMenu& control)
{
    QStringList texts;
    for (const QAction* action : control.Menu()->actions())
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return texts;
}

} // namespace

class SystemMenuTest : public QObject {
    Q_OBJECT

private slots:
    void ItemsFollowTheStandardCommands()
    {
        Rig rig({"-", "&About Tolvane..."});
        const QStringList standard = {"&Restore", "Mi&nimize", "Ma&ximize", "-", "&Close"};
        QCOMPARE(MenuTexts(rig.control), standard + QStringList({"-", "&About Tolvane..."}));
    }

    void PickingAnItemRaisesItemClick()
    {
        // Command identifier -> Index of the item raised, -1 for nothing.
        const QList<std::pair<int, int>> cases{{1, 1}, {2, -1}, {3, -1}, {SystemMenu::ScClose, -1}};
        for (const auto& [command, raised] : cases) {
            const QByteArray name = QByteArray::number(command);
            const qttest::Row row{name.constData()};
            Rig rig({"One", "Two", "-", "Off"});
            rig.control.SystemMenuItem(3)->SetEnabled(false);
            rig.control.SystemMenuItem(0)->SetChecked(true);
            rig.form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
            QSignalSpy clicks(&rig.control, &SystemMenu::ItemClick);
            QMenu* menu = rig.control.Menu();
            menu->popup(QPoint(10, 10));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            QTest::mouseClick(menu, Qt::LeftButton, {},
                              menu->actionGeometry(rig.control.CommandAction(command)).center());
            QCOMPARE(clicks.count(), raised < 0 ? 0 : 1);
            if (raised < 0) { // a standard command still works
                QTRY_COMPARE(rig.form.isVisible(), command != SystemMenu::ScClose);
                continue;
            }
            auto* item = clicks[0][0].value<SystemMenuItem*>();
            QCOMPARE(item, rig.control.SystemMenuItem(raised));
            QCOMPARE(item->Index(), raised);
            QVERIFY(rig.control.CommandAction(0)->isChecked()); // picking changes no check mark
        }
    }
};

TOLVANE_QTEST(SystemMenuTest)

} // namespace tolvane

#include "SystemMenuTest.moc"
