#include "controls/ProgressBar.h"
#include "qtsupport/QtTestMain.h"
#include "util/Colors.h"

#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>

namespace tolvane {

namespace {

QProgressBar* Inner(const ProgressBar& bar)
{
    return qobject_cast<QProgressBar*>(bar.ControlHwnd());
}

// Runs of bar-coloured pixels along the middle row of the inner bar.
int BarRuns(const ProgressBar& bar, QRgb color)
{
    const QImage image = bar.ControlHwnd()->grab().toImage();
    int runs = 0;
    bool inRun = false;
    for (int x = 0; x < image.width(); ++x) {
        const bool isBar = (image.pixel(x, image.height() / 2) & 0xFFFFFF) == (color & 0xFFFFFF);
        runs += isBar && !inRun;
        inRun = isBar;
    }
    return runs;
}

} // namespace

class ProgressBarTest : public QObject {
    Q_OBJECT

private slots:
    // From Min 10, Max 100, Value 50.
    void SettersKeepTheInvariants_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Value above Max") << "Value" << 101 << false;
        QTest::newRow("Value below Min") << "Value" << 9 << false;
        QTest::newRow("Value at Max") << "Value" << 100 << true;
        QTest::newRow("Max at Min") << "Max" << 10 << false;
        QTest::newRow("Max above Value") << "Max" << 60 << true;
        QTest::newRow("Min negative") << "Min" << -1 << false;
        QTest::newRow("Min at Max") << "Min" << 100 << false;
        QTest::newRow("Min zero") << "Min" << 0 << true;
        QTest::newRow("Appearance 2") << "Appearance" << 2 << false;
        QTest::newRow("Scrolling 2") << "Scrolling" << 2 << false;
    }
    void SettersKeepTheInvariants()
    {
        QFETCH(QString, name);
        QFETCH(int, value);
        QFETCH(bool, accepted);
        ProgressBar bar;
        bar.SetMin(10);
        bar.SetValue(50);
        const QByteArray property = name.toLatin1();
        const int before = bar.property(property).toInt();
        QSignalSpy changed(&bar, &ProgressBar::PropertyChanged);
        bar.setProperty(property, value);
        QCOMPARE(bar.property(property).toInt(), accepted ? value : before);
        QCOMPARE(changed.count(), accepted ? 1 : 0);
        QCOMPARE(Inner(bar)->minimum(), bar.Min());
        QCOMPARE(Inner(bar)->maximum(), bar.Max());
        QCOMPARE(Inner(bar)->value(), bar.Value());
    }

    void RangeReachesTheBarAs16BitNumbers_data()
    {
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("innerMax");
        QTest::addColumn<int>("innerValue");
        QTest::newRow("65535 fits") << 0 << 65535 << 40000 << 65535 << 40000;
        QTest::newRow("70000 wraps") << 0 << 70000 << 60000 << 70000 - 65536 << 70000 - 65536;
        QTest::newRow("65536 wraps to 0") << 0 << 65536 << 100 << 0 << 0;
        QTest::newRow("Min kept") << 1000 << 65536 + 5000 << 3000 << 5000 << 3000;
    }
    void RangeReachesTheBarAs16BitNumbers()
    {
        QFETCH(int, min);
        QFETCH(int, max);
        QFETCH(int, value);
        QFETCH(int, innerMax);
        QFETCH(int, innerValue);
        ProgressBar bar;
        bar.SetMax(max);
        bar.SetMin(min);
        bar.SetValue(value);
        QCOMPARE(bar.Max(), max);
        QCOMPARE(bar.Value(), value);
        QCOMPARE(Inner(bar)->minimum(), min);
        QCOMPARE(Inner(bar)->maximum(), innerMax);
        QCOMPARE(Inner(bar)->value(), innerValue);
    }

    void MaxBelowValueMovesOnlyTheShownPosition()
    {
        ProgressBar bar;
        bar.SetValue(80);
        bar.SetMax(50);
        QCOMPARE(bar.Value(), 80);
        QCOMPARE(Inner(bar)->value(), 50);
    }

    void ScrollingAndOrientationBuildANewBarKeepingValue()
    {
        QWidget form;
        ProgressBar bar(&form);
        bar.setGeometry(0, 0, 200, 20);
        bar.SetForeColor(Colors::Rgb(255, 0, 0));
        bar.SetValue(40);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRgb red = qRgb(255, 0, 0);
        QVERIFY2(BarRuns(bar, red) > 3, "a standard bar is drawn in chunks");

        bar.SetScrolling(1);
        QCOMPARE(Inner(bar)->value(), 40);
        QCOMPARE(Inner(bar)->geometry(), bar.rect());
        QCOMPARE(BarRuns(bar, red), 1);

        bar.SetOrientation(1);
        QCOMPARE(Inner(bar)->orientation(), Qt::Vertical);
        QCOMPARE(Inner(bar)->value(), 40);
    }

    void PropertiesSurviveABag()
    {
        ProgressBar bar;
        bar.SetMax(70000);
        bar.SetMin(200);
        bar.SetValue(300);
        bar.SetAppearance(1);
        bar.SetBorderStyle(1);
        bar.SetOrientation(1);
        bar.SetScrolling(1);
        bar.SetForeColor(0x00123456);
        PropertyBag bag;
        bar.WriteProperties(bag);
        QCOMPARE(bag.Keys().size(), 8);

        ProgressBar loaded;
        loaded.ReadProperties(bag);
        PropertyBag again;
        loaded.WriteProperties(again);
        QVERIFY(again == bag);
        QCOMPARE(Inner(loaded)->value(), 300);
        QCOMPARE(Inner(loaded)->orientation(), Qt::Vertical);
    }
};

TOLVANE_QTEST(ProgressBarTest)

} // namespace tolvane

#include "ProgressBarTest.moc"
