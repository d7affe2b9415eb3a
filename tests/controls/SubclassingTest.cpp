#include "controls/Subclassing.h"
#include "qtsupport/QtTestMain.h"

#include <QKeyEvent>

namespace tolvane {

namespace {

// Records the key presses that reach the control's window.
class Window : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent* e) override { keys << e->key(); }
};

} // namespace

class SubclassingTest : public QObject {
    Q_OBJECT

private slots:
    // Navigation keys go to the control; Tab, letters and keys the window translates stay with it.
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
