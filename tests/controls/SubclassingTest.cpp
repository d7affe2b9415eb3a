#include "controls/Subclassing.h"
#include "qtsupport/QtTestMain.h"

#include <QKeyEvent>
#include <QTest>

namespace tolvane {

namespace {

// Counts the custom events that reach the window itself.
class Window : public QWidget {
public:
    int reached = 0;
    QList<int> keys;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User)
            ++reached;
        return QWidget::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override { keys.append(e->key()); }
};

void SendUser(QWidget& window)
{
    QEvent user(QEvent::User);
    QCoreApplication::sendEvent(&window, &user);
}

bool PassAll(QWidget*, QEvent*)
{
    return false;
}

} // namespace

class SubclassingTest : public QObject {
    Q_OBJECT

private slots:
    void SecondCreateKeepsTheFirstProcedure()
    {
        Window window;
        Subclassing sub;
        QVERIFY(!sub.Create(PassAll)); // no window yet
        QVERIFY(!sub.Active());
        sub.SetOwnerHwnd(&window);
        sub.SetWindowProc(QStringLiteral("TestWindowProc"));
        sub.Add(QStringLiteral("Owner"), 7);
        int first = 0;
        int second = 0;
        QVERIFY(sub.Create([&first](QWidget*, QEvent* e) { return e->type() == QEvent::User && ++first > 0; }));
        QVERIFY(!sub.Create([&second](QWidget*, QEvent* e) { return e->type() == QEvent::User && ++second > 0; }));
        QVERIFY(sub.Active());
        QVERIFY(window.property("TestWindowProc").isValid());
        QCOMPARE(window.property("Owner").toInt(), 7);
        SendUser(window);
        QCOMPARE(first, 1);
        QCOMPARE(second, 0);
        QCOMPARE(window.reached, 0); // consumed by the procedure

        sub.Destroy();
        QVERIFY(!sub.Active());
        QVERIFY(!window.property("TestWindowProc").isValid());
        SendUser(window);
        QCOMPARE(first, 1);
        QCOMPARE(window.reached, 1);
    }

    void NamesAddedAfterCreateWaitForTheNextCreate()
    {
        Window window;
        Subclassing sub;
        sub.SetOwnerHwnd(&window);
        sub.Add(QStringLiteral("A"), 1);
        window.setProperty("A", 5);
        sub.Destroy(); // never created: only Active is cleared
        QCOMPARE(window.property("A").toInt(), 5);
        QVERIFY(sub.Create(PassAll));
        sub.Add(QStringLiteral("B"), 2);
        QCOMPARE(window.property("A").toInt(), 1);
        QVERIFY(!window.property("B").isValid());
        window.setProperty("B", 99); // set by someone else: Destroy still removes every listed name
        sub.Destroy();
        QVERIFY(!window.property("A").isValid());
        QVERIFY(!window.property("B").isValid());
        QVERIFY(sub.Create(PassAll));
        QCOMPARE(window.property("A").toInt(), 1);
        QCOMPARE(window.property("B").toInt(), 2);
    }

    void TranslateMessageCreatesOneHook()
    {
        QObject control;
        TranslateMessage hook;
        QVERIFY(!hook.Create()); // no control
        QVERIFY(!hook.Active());
        hook.SetControl(&control);
        QVERIFY(hook.Create());
        QVERIFY(!hook.Create());
        QVERIFY(hook.Active());
        hook.Destroy();
        QVERIFY(!hook.Active());
        QVERIFY(hook.Create());
    }

    void AcceleratorRoutesNavigationKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("handle");
        QTest::addColumn<bool>("translate");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("delivered");
        const int ok = TranslateMessage::S_OK_;
        const int no = TranslateMessage::S_FALSE_;
        QTest::newRow("Down, handled") << int(Qt::Key_Down) << true << false << ok << true;
        QTest::newRow("Down, not handled") << int(Qt::Key_Down) << false << false << no << true;
        QTest::newRow("Enter") << int(Qt::Key_Return) << true << false << ok << true;
        QTest::newRow("Page Up") << int(Qt::Key_PageUp) << true << false << ok << true;
        QTest::newRow("Tab stays with the window") << int(Qt::Key_Tab) << true << false << no << false;
        QTest::newRow("a letter") << int(Qt::Key_A) << true << false << no << false;
        QTest::newRow("window translates") << int(Qt::Key_Down) << true << true << no << false;
    }
    void AcceleratorRoutesNavigationKeys()
    {
        QFETCH(int, key);
        QFETCH(bool, handle);
        QFETCH(bool, translate);
        QFETCH(int, result);
        QFETCH(bool, delivered);
        Window view;
        QObject control;
        control.setProperty("ControlHwnd", QVariant::fromValue<QWidget*>(&view));
        TranslateMessage hook;
        hook.SetControl(&control);
        hook.SetHandleSpecialKeys(handle);
        hook.SetTranslateSpecialKeys(translate);
        QVERIFY(hook.Create());
        // The flags count as they were at Create.
        hook.SetHandleSpecialKeys(!handle);
        hook.SetTranslateSpecialKeys(!translate);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCOMPARE(TranslateMessage::TranslateAccelerator(hook, &press), result);
        QCOMPARE(view.keys, delivered ? QList<int>{key} : QList<int>{});
    }
};

TOLVANE_QTEST(SubclassingTest)

} // namespace tolvane

#include "SubclassingTest.moc"
