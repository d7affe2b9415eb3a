#include "controls/Subclassing.h"
#include "qtsupport/QtTestMain.h"

#include <QKeyEvent>

namespace tolvane {

namespace {

// Counts the custom events that reach the window itself, and records its key presses.
class Window : public QWidget {
public:
    int reached = 0;
    QList<int> keys;
    void SendUser()
    {
        QEvent user(QEvent::User);
        QCoreApplication::sendEvent(this, &user);
    }

protected:
    bool event(QEvent* e) override
    {
        reached += e->type() == QEvent::User;
        return QWidget::event(e);
    }
    void keyPressEvent(QKeyEvent* e) override { keys << e->key(); }
};

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
        int first = 0, second = 0;
        QVERIFY(sub.Create([&first](QWidget*, QEvent* e) { return e->type() == QEvent::User && ++first > 0; }));
        QVERIFY(!sub.Create([&second](QWidget*, QEvent* e) { return e->type() == QEvent::User && ++second > 0; }));
        QVERIFY(sub.Active() && window.property("TestWindowProc").isValid());
        QCOMPARE(window.property("Owner").toInt(), 7);
        window.SendUser();
        QCOMPARE(qttest::Join({first, second, window.reached}), QStringLiteral("1|0|0")); // consumed
        sub.Destroy();
        QVERIFY(!sub.Active() && !window.property("TestWindowProc").isValid());
        window.SendUser();
        QCOMPARE(qttest::Join({first, window.reached}), QStringLiteral("1|1"));
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
        QVERIFY(!window.property("A").isValid() && !window.property("B").isValid());
        QVERIFY(sub.Create(PassAll));
        QCOMPARE(qttest::Join({window.property("A"), window.property("B")}), QStringLiteral("1|2"));
    }

    void TranslateMessageCreatesOneHook()
    {
        QObject control;
        TranslateMessage hook;
        QVERIFY(!hook.Create() && !hook.Active()); // no control
        hook.SetControl(&control);
        QVERIFY(hook.Create());
        QVERIFY(!hook.Create());
        QVERIFY(hook.Active());
        hook.Destroy();
        QVERIFY(!hook.Active());
        QVERIFY(hook.Create());
    }

    void AcceleratorRoutesNavigationKeys()
    {
        const int ok = TranslateMessage::S_OK_, no = TranslateMessage::S_FALSE_;
        const struct {
            const char* name;
            int key;
            bool handle, translate;
            int result;
            bool delivered;
        } cases[] = {{"Down, handled", Qt::Key_Down, true, false, ok, true},
                     {"Down, not handled", Qt::Key_Down, false, false, no, true},
                     {"Enter", Qt::Key_Return, true, false, ok, true},
                     {"Page Up", Qt::Key_PageUp, true, false, ok, true},
                     {"Tab stays with the window", Qt::Key_Tab, true, false, no, false},
                     {"a letter", Qt::Key_A, true, false, no, false},
                     {"window translates", Qt::Key_Down, true, true, no, false}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            Window view;
            QObject control;
            control.setProperty("ControlHwnd", QVariant::fromValue<QWidget*>(&view));
            TranslateMessage hook;
            hook.SetControl(&control);
            hook.SetHandleSpecialKeys(c.handle);
            hook.SetTranslateSpecialKeys(c.translate);
            QVERIFY(hook.Create());
            hook.SetHandleSpecialKeys(!c.handle); // the flags count as they were at Create
            hook.SetTranslateSpecialKeys(!c.translate);
            QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
            QCOMPARE(TranslateMessage::TranslateAccelerator(hook, &press), c.result);
            QCOMPARE(view.keys, c.delivered ? QList<int>{c.key} : QList<int>{});
        }
    }
};

TOLVANE_QTEST(SubclassingTest)

} // namespace tolvane

#include "SubclassingTest.moc"
