#include "controls/StatusBar.h"
#include "qtsupport/QtTestMain.h"

#include <QApplication>
#include <QSignalSpy>
#include <QSizeGrip>
#include <QTest>

namespace tolvane {

namespace {

// Panels separated by "|": "F100" (fixed, MinWidth 100), "S50" (spring), "C:text" (sized to its
// text); a leading "h" hides the panel.
void AddPanels(StatusBar& bar, const QString& description)
{
    const QStringList panels = description.split(QLatin1Char('|'));
    bar.SetCount(static_cast<int>(panels.size()));
    for (int i = 0; i < bar.Count(); ++i) {
        QString p = panels[i];
        Panel* panel = bar.Panel(i);
        if (p.startsWith(QLatin1Char('h'))) {
            panel->SetVisible(false);
            p.remove(0, 1);
        }
        if (p.startsWith(QLatin1Char('C'))) {
            panel->SetAutoSize(sbrContents);
            panel->SetText(p.mid(2));
        } else {
            panel->SetAutoSize(p.startsWith(QLatin1Char('S')) ? sbrSpring : sbrNoAutoSize);
            panel->SetMinWidth(p.mid(1).toInt());
        }
    }
}

int ContentsWidth(const QString& text)
{
    return QFontMetrics(QApplication::font()).horizontalAdvance(text) + 7;
}

// Horizontal extent of the text drawn inside `area` of `image` (dark pixels only: the bevel's
// lines are lighter).
std::pair<int, int> InkExtent(const QImage& image, const QRect& area)
{
    int left = area.right();
    int right = area.left();
    for (int y = area.top() + 2; y < area.bottom() - 1; ++y)
        for (int x = area.left() + 2; x < area.right() - 1; ++x)
            if (qGray(image.pixel(x, y)) < 100) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

} // namespace

class StatusBarTest : public QObject {
    Q_OBJECT

private slots:
    void LaysPanelsOut_data()
    {
        QTest::addColumn<int>("formWidth");
        QTest::addColumn<QString>("panels");
        QTest::addColumn<QList<int>>("rights");
        const int c = ContentsWidth(QStringLiteral("Interface: SPTI "));
        // 100 fixed (98 after the first panel's 2 pixels), spring 50 + the spare width, contents.
        QTest::newRow("fixed spring contents") << 400 << "F100|S50|C:Interface: SPTI " << QList<int>{98, 400 - c, 400};
        // Each spring gets the whole spare width (400 - 210 + 2), so the bar runs past the form.
        QTest::newRow("two springs") << 400 << "S50|S60|F100" << QList<int>{240, 492, 592};
        QTest::newRow("hidden first panel") << 400 << "hF100|F80|S50" << QList<int>{0, 78, 400};
        QTest::newRow("hidden spring still springs") << 300 << "F100|hS50" << QList<int>{98, 300};
        QTest::newRow("total at width + 2: no spare") << 148 << "F100|S50" << QList<int>{98, 148};
        QTest::newRow("total at width + 1") << 149 << "F100|S50" << QList<int>{98, 149};
        QTest::newRow("narrow form") << 100 << "F100|S50" << QList<int>{98, 148};
    }
    void LaysPanelsOut()
    {
        QFETCH(int, formWidth);
        QFETCH(QString, panels);
        QFETCH(QList<int>, rights);
        QWidget form;
        form.resize(formWidth, 200);
        StatusBar bar(&form);
        AddPanels(bar, panels);
        const std::vector<int> edges = bar.RightEdges();
        QCOMPARE(QList<int>(edges.begin(), edges.end()), rights);
        for (int i = 0; i < bar.Count(); ++i)
            QCOMPARE(bar.Panel(i)->ActualWidth(), rights[i] - (i == 0 ? 0 : rights[i - 1]));
    }

    void DocksAtTheBottomAndFollowsTheForm()
    {
        QWidget form;
        form.resize(300, 200);
        StatusBar bar(&form);
        AddPanels(bar, QStringLiteral("F100|S50"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(bar.geometry(), QRect(0, 200 - bar.DockedHeight(), 300, bar.DockedHeight()));
        form.resize(500, 260);
        QTRY_COMPARE(bar.geometry(), QRect(0, 260 - bar.DockedHeight(), 500, bar.DockedHeight()));
        QCOMPARE(bar.RightEdges().back(), 500);
        QCOMPARE(bar.ControlHwnd()->geometry(), bar.rect());
    }

    void AlignmentLeadsTheTextWithTabs_data()
    {
        QTest::addColumn<int>("alignment");
        QTest::newRow("left") << sbrLeft;
        QTest::newRow("center") << sbrCenter;
        QTest::newRow("right") << sbrRight;
    }
    void AlignmentLeadsTheTextWithTabs()
    {
        QFETCH(int, alignment);
        QWidget form;
        form.resize(400, 100);
        StatusBar bar(&form);
        AddPanels(bar, QStringLiteral("F300"));
        bar.Panel(0)->SetText(QStringLiteral("Ready"));
        bar.Panel(0)->SetAlignment(alignment);
        QCOMPARE(bar.PartText(0), QString(alignment, QLatin1Char('\t')) + QStringLiteral("Ready"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        const QRect area = bar.PanelRect(0);
        const auto [left, right] = InkExtent(bar.ControlHwnd()->grab().toImage(), area);
        QVERIFY2(left < right, "no text drawn");
        const int ink = QFontMetrics(bar.Font()).horizontalAdvance(QStringLiteral("Ready"));
        QVERIFY(right - left <= ink);
        if (alignment == sbrLeft)
            QVERIFY(left - area.left() < 8);
        else if (alignment == sbrRight)
            QVERIFY(area.right() - right < 8);
        else
            QVERIFY(qAbs((left + right) / 2 - area.center().x()) <= 3);
    }

    void ClicksRaisePanelEvents_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<int>("panel"); // -1: no event
        QTest::addColumn<int>("expectedButton");
        QTest::newRow("left on first") << 50 << Qt::LeftButton << false << 0 << 1;
        QTest::newRow("right on second") << 150 << Qt::RightButton << false << 1 << 2;
        QTest::newRow("left double on second") << 150 << Qt::LeftButton << true << 1 << 1;
        QTest::newRow("right double on first") << 50 << Qt::RightButton << true << 0 << 2;
        QTest::newRow("past the last panel") << 300 << Qt::LeftButton << false << -1 << 0;
        QTest::newRow("in the gap between panels") << 99 << Qt::LeftButton << true << -1 << 0;
        QTest::newRow("middle button") << 50 << Qt::MiddleButton << false << -1 << 0;
    }
    void ClicksRaisePanelEvents()
    {
        QFETCH(int, x);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, doubleClick);
        QFETCH(int, panel);
        QFETCH(int, expectedButton);
        QWidget form;
        form.resize(400, 100);
        StatusBar bar(&form);
        AddPanels(bar, QStringLiteral("F100|F100"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QSignalSpy clicks(&bar, &StatusBar::PanelClick);
        QSignalSpy doubles(&bar, &StatusBar::PanelDblClick);
        const QPoint at(x, bar.height() / 2);
        if (doubleClick)
            QTest::mouseDClick(bar.ControlHwnd(), button, {}, at);
        else
            QTest::mouseClick(bar.ControlHwnd(), button, {}, at);

        QSignalSpy& expected = doubleClick ? doubles : clicks;
        if (panel < 0) {
            QCOMPARE(clicks.count() + doubles.count(), 0);
            return;
        }
        QCOMPARE(expected.count(), 1);
        QCOMPARE(expected[0][0].value<Panel*>(), bar.Panel(panel));
        QCOMPARE(expected[0][1].toInt(), expectedButton);
    }

    void ClickHandlerMayRebuildTheBar()
    {
        QWidget form;
        form.resize(400, 100);
        StatusBar bar(&form);
        AddPanels(bar, QStringLiteral("F100"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QWidget* clicked = bar.ControlHwnd();
        connect(&bar, &StatusBar::PanelClick, &bar, [&bar] { bar.SetCount(2); });
        QTest::mouseClick(clicked, Qt::LeftButton, {}, QPoint(50, bar.height() / 2));
        QCOMPARE(bar.RightEdges().size(), std::size_t{2});
        QVERIFY(bar.ControlHwnd() != clicked);
    }

    void SettersIgnoreValuesOutOfRange_data()
    {
        QTest::addColumn<bool>("onPanel");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Style 1") << false << "Style" << 1 << true;
        QTest::newRow("Style 2") << false << "Style" << 2 << false;
        QTest::newRow("Count -1") << false << "Count" << -1 << false;
        QTest::newRow("Alignment 2") << true << "Alignment" << 2 << true;
        QTest::newRow("Alignment 3") << true << "Alignment" << 3 << false;
        QTest::newRow("AutoSize 3") << true << "AutoSize" << 3 << false;
        QTest::newRow("Bevel 3") << true << "Bevel" << 3 << false;
        QTest::newRow("MinWidth 1") << true << "MinWidth" << 1 << true;
        QTest::newRow("MinWidth 0") << true << "MinWidth" << 0 << false;
    }
    void SettersIgnoreValuesOutOfRange()
    {
        QFETCH(bool, onPanel);
        QFETCH(QString, name);
        QFETCH(int, value);
        QFETCH(bool, accepted);
        StatusBar bar;
        bar.SetCount(2);
        QObject* target = onPanel ? static_cast<QObject*>(bar.Panel(1)) : &bar;
        const QByteArray property = name.toLatin1();
        const int before = target->property(property).toInt();
        QSignalSpy changed(&bar, &StatusBar::PropertyChanged);
        target->setProperty(property, value);
        QCOMPARE(target->property(property).toInt(), accepted ? value : before);
        const QString key = onPanel ? QStringLiteral("Panel%1(1)").arg(name) : name;
        QCOMPARE(changed.count(), accepted ? 1 : 0);
        if (accepted)
            QCOMPARE(changed[0][0].toString(), key);
    }

    void PreventUpdateHoldsPanelsBack()
    {
        StatusBar bar;
        bar.SetCount(1);
        bar.SetPreventUpdate(true);
        bar.Panel(0)->SetText(QStringLiteral("later"));
        bar.Panel(0)->SetAlignment(sbrCenter);
        QCOMPARE(bar.PartText(0), QString());
        bar.SetPreventUpdate(false);
        QVERIFY(QMetaObject::invokeMethod(&bar, "UpdatePanels", Q_ARG(int, 0)));
        QCOMPARE(bar.PartText(0), QStringLiteral("\tlater"));
        Panel* byName = nullptr;
        QVERIFY(QMetaObject::invokeMethod(&bar, "Panel", Q_RETURN_ARG(tolvane::Panel*, byName), Q_ARG(int, 0)));
        QCOMPARE(byName, bar.Panel(0));
        QCOMPARE(bar.Panel(1), nullptr);
    }

    void SizeGripFollowsTheFormsBorder_data()
    {
        QTest::addColumn<QVariant>("borderStyle");
        QTest::addColumn<bool>("fixedSize");
        QTest::addColumn<bool>("grip");
        QTest::newRow("sizable") << QVariant(2) << false << true;
        QTest::newRow("fixed single") << QVariant(1) << false << false;
        QTest::newRow("no property, resizable") << QVariant() << false << true;
        QTest::newRow("no property, fixed size") << QVariant() << true << false;
    }
    void SizeGripFollowsTheFormsBorder()
    {
        QFETCH(QVariant, borderStyle);
        QFETCH(bool, fixedSize);
        QFETCH(bool, grip);
        QWidget form;
        if (fixedSize)
            form.setFixedSize(300, 200);
        form.setProperty("BorderStyle", borderStyle);
        StatusBar bar(&form);
        QCOMPARE(bar.ControlHwnd()->findChild<QSizeGrip*>() != nullptr, grip);
    }

    void PropertiesSurviveABag()
    {
        QWidget form;
        form.resize(400, 100);
        StatusBar bar(&form);
        AddPanels(bar, QStringLiteral("C:Letter: D: |hF90|S40"));
        bar.Panel(0)->SetBevel(sbrRaised);
        bar.Panel(2)->SetToolTipText(QStringLiteral("tip"));
        bar.Panel(2)->SetAlignment(sbrRight);
        bar.SetShowTips(false);
        bar.SetEnabled(false);
        QFont font = bar.Font();
        font.setBold(true);
        bar.SetFont(font);
        PropertyBag bag;
        bar.WriteProperties(bag);
        QCOMPARE(bag.ReadString(QStringLiteral("PanelText(0)")), QStringLiteral("Letter: D: "));
        QCOMPARE(bag.ReadBool(QStringLiteral("PanelVisible(1)"), true), false);

        StatusBar loaded(&form);
        loaded.ReadProperties(bag);
        PropertyBag again;
        loaded.WriteProperties(again);
        QVERIFY(again == bag);
        QVERIFY(loaded.Font().bold());
        QCOMPARE(loaded.RightEdges(), bar.RightEdges());
        QCOMPARE(loaded.PartText(2), QStringLiteral("\t\t"));
    }
};

TOLVANE_QTEST(StatusBarTest)

} // namespace tolvane

#include "StatusBarTest.moc"
