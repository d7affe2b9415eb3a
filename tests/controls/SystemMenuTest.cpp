#include "controls/SystemMenu.h"
#include "qtsupport/QtTestMain.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

namespace tolvane {

namespace {

// Items described as "Text" or "-" (a separator).
void AddItems(SystemMenu& control, const QStringList& items)
{
    control.SetCount(static_cast<int>(items.size()));
    for (int i = 0; i < control.Count(); ++i) {
        if (items[i] == QLatin1String("-"))
            control.SystemMenuItem(i)->SetStyle(smSeparator);
        else
            control.SystemMenuItem(i)->SetText(items[i]);
    }
}

// Opens the menu and clicks the action with the command identifier `command`.
bool Pick(SystemMenu& control, int command)
{
    QMenu* menu = control.Menu();
    menu->popup(QPoint(10, 10));
    if (!QTest::qWaitForWindowExposed(menu))
        return false;
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(control.CommandAction(command)).center());
    return true;
}

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
        QWidget form;
        SystemMenu control(&form);
        AddItems(control, {QStringLiteral("-"), QStringLiteral("&About Tolvane...")});
        const QStringList standard = {"&Restore", "Mi&nimize", "Ma&ximize", "-", "&Close"};
        QCOMPARE(MenuTexts(control), standard + QStringList({"-", "&About Tolvane..."}));

        // A new count puts every item in again, once.
        control.SetCount(3);
        control.SystemMenuItem(2)->SetText(QStringLiteral("Third"));
        QCOMPARE(MenuTexts(control), standard + QStringList({"-", "&About Tolvane...", "Third"}));
        control.SetEnabled(false);
        QCOMPARE(control.Menu()->actions().size(), standard.size() + 3);
    }

    void PickingAnItemRaisesItemClick_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("raised"); // Index of the item, -1 for nothing
        QTest::newRow("second item") << 1 << 1;
        QTest::newRow("first item") << 0 << 0;
        QTest::newRow("separator") << 2 << -1;
        QTest::newRow("disabled item") << 3 << -1;
        QTest::newRow("standard command") << int(SystemMenu::ScClose) << -1;
    }
    void PickingAnItemRaisesItemClick()
    {
        QFETCH(int, command);
        QFETCH(int, raised);
        QWidget form;
        SystemMenu control(&form);
        AddItems(control, {QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("-"), QStringLiteral("Off")});
        control.SystemMenuItem(3)->SetEnabled(false);
        control.SystemMenuItem(0)->SetChecked(true);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QSignalSpy clicks(&control, &SystemMenu::ItemClick);
        QVERIFY(Pick(control, command));
        if (raised < 0) {
            QCOMPARE(clicks.count(), 0);
            // A standard command still works.
            QTRY_COMPARE(form.isVisible(), command != SystemMenu::ScClose);
            return;
        }
        QCOMPARE(clicks.count(), 1);
        auto* item = clicks[0][0].value<SystemMenuItem*>();
        QCOMPARE(item, control.SystemMenuItem(raised));
        QCOMPARE(item->Index(), raised);
        QVERIFY(control.CommandAction(0)->isChecked()); // picking changes no check mark
    }

    void GreyUnlessBothAreEnabled_data()
    {
        QTest::addColumn<bool>("control");
        QTest::addColumn<bool>("item");
        QTest::newRow("both") << true << true;
        QTest::newRow("item off") << true << false;
        QTest::newRow("control off") << false << true;
        QTest::newRow("neither") << false << false;
    }
    void GreyUnlessBothAreEnabled()
    {
        QFETCH(bool, control);
        QFETCH(bool, item);
        QWidget form;
        SystemMenu menu(&form);
        AddItems(menu, {QStringLiteral("One"), QStringLiteral("Two")});
        menu.SystemMenuItem(1)->SetEnabled(item);
        menu.SetEnabled(control);
        QCOMPARE(menu.CommandAction(1)->isEnabled(), control && item);
        QCOMPARE(menu.CommandAction(0)->isEnabled(), control);
        QVERIFY(menu.CommandAction(SystemMenu::ScClose)->isEnabled());
    }

    void SettersAndPreventUpdate()
    {
        QWidget form;
        SystemMenu control(&form);
        QSignalSpy changed(&control, &SystemMenu::PropertyChanged);
        control.setProperty("Count", -1);
        QCOMPARE(control.Count(), 0);
        control.setProperty("Count", 1);
        SystemMenuItem* item = nullptr;
        QVERIFY(QMetaObject::invokeMethod(&control, "SystemMenuItem", Q_RETURN_ARG(tolvane::SystemMenuItem*, item),
                                          Q_ARG(int, 0)));
        QVERIFY(item);
        item->setProperty("Style", 2);
        QCOMPARE(item->Style(), smDefault);
        QCOMPARE(control.SystemMenuItem(1), nullptr);

        control.SetPreventUpdate(true);
        item->setProperty("Text", QStringLiteral("Later"));
        QCOMPARE(control.CommandAction(0)->text(), QString());
        control.SetPreventUpdate(false);
        QVERIFY(QMetaObject::invokeMethod(&control, "UpdateSystemMenuItems", Q_ARG(int, 0)));
        QCOMPARE(control.CommandAction(0)->text(), QStringLiteral("Later"));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed[1][0].toString(), QStringLiteral("SystemMenuItemText(0)"));
    }

    void PropertiesSurviveABag()
    {
        QWidget form;
        SystemMenu control(&form);
        AddItems(control, {QStringLiteral("-"), QStringLiteral("&About Tolvane...")});
        control.SystemMenuItem(1)->SetChecked(true);
        control.SystemMenuItem(1)->SetEnabled(false);
        control.SystemMenuItem(1)->SetTag(QStringLiteral("about"));
        PropertyBag bag;
        control.WriteProperties(bag);
        QCOMPARE(bag.ReadInt(QStringLiteral("SystemMenuItemStyle(0)"), -1), smSeparator);

        QWidget other;
        SystemMenu loaded(&other);
        loaded.ReadProperties(bag);
        PropertyBag again;
        loaded.WriteProperties(again);
        QVERIFY(again == bag);
        QCOMPARE(MenuTexts(loaded), MenuTexts(control));
        QVERIFY(!loaded.CommandAction(1)->isEnabled());
    }
};

TOLVANE_QTEST(SystemMenuTest)

} // namespace tolvane

#include "SystemMenuTest.moc"
