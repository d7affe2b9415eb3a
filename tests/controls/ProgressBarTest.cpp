#include "controls/ProgressBar.h"
#include "qtsupport/QtTestMain.h"

#include <QProgressBar>
#include <QSignalSpy>

namespace tolvane {

namespace {

QProgressBar* Inner(const ProgressBar& bar)
{
    return qobject_cast<QProgressBar*>(bar.ControlHwnd());
}

// "min|max|value" of the inner bar.
QString InnerRange(const ProgressBar& bar)
{
    return qttest::Join({Inner(bar)->minimum(), Inner(bar)->maximum(), Inner(bar)->value()});
}

} // namespace

class ProgressBarTest : public QObject {
    Q_OBJECT

private slots:
    void SettersKeepTheInvariants()
    {
        // From Min 10, Max 100, Value 50.
        const struct { const char* property; int value; bool accepted; } cases[] = {
            {"Value", 101, false}, {"Value", 9, false},       {"Value", 100, true}, {"Max", 10, false},
            {"Max", 60, true},     {"Min", -1, false},        {"Min", 100, false},  {"Min", 0, true},
            {"Appearance", 2, false}, {"Scrolling", 2, false}};
        for (const auto& c : cases) {
            const qttest::Row row{c.property};
            ProgressBar bar;
            bar.SetMin(10);
            bar.SetValue(50);
            const int before = bar.property(c.property).toInt();
            QSignalSpy changed(&bar, &ProgressBar::PropertyChanged);
            bar.setProperty(c.property, c.value);
            QCOMPARE(bar.property(c.property).toInt(), c.accepted ? c.value : before);
            QCOMPARE(changed.count(), c.accepted ? 1 : 0);
            QCOMPARE(InnerRange(bar), qttest::Join({bar.Min(), bar.Max(), bar.Value()}));
        }
    }

    void RangeReachesTheBarAs16BitNumbers()
    {
        const struct {
            const char* name;
            int min, max, value;
            const char* inner; // min|max|value
        } cases[] = {{"65535 fits", 0, 65535, 40000, "0|65535|40000"},
                     {"70000 wraps", 0, 70000, 60000, "0|4464|4464"},
                     {"65536 wraps to 0", 0, 65536, 100, "0|0|0"},
                     {"Min kept", 1000, 65536 + 5000, 3000, "1000|5000|3000"}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            ProgressBar bar;
            bar.SetMax(c.max);
            bar.SetMin(c.min);
            bar.SetValue(c.value);
            QVERIFY(bar.Max() == c.max && bar.Value() == c.value);
            QCOMPARE(InnerRange(bar), QString::fromLatin1(c.inner));
        }
    }
};

TOLVANE_QTEST(ProgressBarTest)

} // namespace tolvane

#include "ProgressBarTest.moc"
