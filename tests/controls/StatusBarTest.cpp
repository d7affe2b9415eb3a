#include "controls/StatusBar.h"
#include "qtsupport/QtTestMain.h"

#include <QApplication>
#include <QSignalSpy>
#include <QSizeGrip>

namespace tolvane {

using namespace Qt::StringLiterals;

namespace {

// Panels separated by "|": "F100" (fixed, MinWidth 100), "S50" (spring), "C:text" (sized to its
// text); a leading "h" hides the panel.
void AddPanels(StatusBar& bar, const QString& description)
{
    const QStringList panels = description.split(u'|');
    bar.SetCount(static_cast<int>(panels.size()));
    for (int i = 0; i < bar.Count(); ++i) {
        QString p = panels[i];
        Panel* panel = bar.Panel(i);
        if (p.startsWith(u'h'))
            panel->SetVisible(false), p.remove(0, 1);
        if (p.startsWith(u'C')) {
            panel->SetAutoSize(sbrContents);
            panel->SetText(p.mid(2));
        } else {
            panel->SetAutoSize(p.startsWith(u'S') ? sbrSpring : sbrNoAutoSize);
            panel->SetMinWidth(p.mid(1).toInt());
        }
    }
}

// A bar of `panels` on a shown form.
struct Shown {
    QWidget form;
    StatusBar bar{&form};
    Shown(int width, const QString& panels)
    {
        form.resize(width, 100);
        AddPanels(bar, panels);
        form.show();
    }
};

} // namespace

class StatusBarTest : public QObject {
    Q_OBJECT

private slots:
    void LaysPanelsOut()
    {
        const int c = QFontMetrics(QApplication::font()).horizontalAdvance(u"Interface: SPTI "_s) + 7;
        const struct { const char* name; int formWidth; QString panels; QList<int> rights; } cases[] = {
            // 100 fixed (98 after the first panel's 2 pixels), spring 50 + the spare width, contents.
            {"fixed spring contents", 400, "F100|S50|C:Interface: SPTI ", {98, 400 - c, 400}},
            // Each spring gets the whole spare width (400 - 210 + 2), so the bar runs past the form.
            {"two springs", 400, "S50|S60|F100", {240, 492, 592}},
            {"hidden first panel", 400, "hF100|F80|S50", {0, 78, 400}},
            {"hidden spring still springs", 300, "F100|hS50", {98, 300}},
            {"total at width + 2: no spare", 148, "F100|S50", {98, 148}},
            {"total at width + 1", 149, "F100|S50", {98, 149}},
            {"narrow form", 100, "F100|S50", {98, 148}}};
        for (const auto& t : cases) {
            const qttest::Row row{t.name};
            QWidget form;
            form.resize(t.formWidth, 200);
            StatusBar bar(&form);
            AddPanels(bar, t.panels);
            const std::vector<int> edges = bar.RightEdges();
            QCOMPARE(QList<int>(edges.begin(), edges.end()), t.rights);
            for (int i = 0; i < bar.Count(); ++i)
                QCOMPARE(bar.Panel(i)->ActualWidth(), t.rights[i] - (i == 0 ? 0 : t.rights[i - 1]));
        }
    }

    void AlignmentLeadsTheTextWithTabs()
    {
        for (const int alignment : {sbrLeft, sbrCenter, sbrRight}) {
            const qttest::Row row{alignment == sbrLeft ? "left" : alignment == sbrCenter ? "center" : "right"};
            Shown s(400, u"F300"_s);
            s.bar.Panel(0)->SetText(u"Ready"_s);
            s.bar.Panel(0)->SetAlignment(alignment);
            QCOMPARE(s.bar.PartText(0), QString(alignment, u'\t') + u"Ready"_s);
            QVERIFY(QTest::qWaitForWindowExposed(&s.form));
            // The horizontal extent of the dark pixels (the bevel's lines are lighter).
            const QRect area = s.bar.PanelRect(0);
            const QImage image = s.bar.ControlHwnd()->grab().toImage();
            int left = area.right(), right = area.left();
            for (int y = area.top() + 2; y < area.bottom() - 1; ++y)
                for (int x = area.left() + 2; x < area.right() - 1; ++x)
                    if (qGray(image.pixel(x, y)) < 100)
                        left = std::min(left, x), right = std::max(right, x);
            QVERIFY2(left < right, "no text drawn");
            QVERIFY(right - left <= QFontMetrics(s.bar.Font()).horizontalAdvance(u"Ready"_s));
            if (alignment == sbrLeft)
                QVERIFY(left - area.left() < 8);
            else if (alignment == sbrRight)
                QVERIFY(area.right() - right < 8);
            else
                QVERIFY(qAbs((left + right) / 2 - area.center().x()) <= 3);
        }
    }

    void SettersIgnoreValuesOutOfRange()
    {
        const struct {
            const char* name; // on Panel(1) unless it is the bar's
            int value;
            bool accepted;
        } cases[] = {{"Style", 1, true},     {"Style", 2, false}, {"Count", -1, false}, {"Alignment", 3, false},
                     {"AutoSize", 3, false}, {"Bevel", 3, false}, {"MinWidth", 1, true}, {"MinWidth", 0, false}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            StatusBar bar;
            bar.SetCount(2);
            const bool onPanel = qstrcmp(c.name, "Style") != 0 && qstrcmp(c.name, "Count") != 0;
            QObject* target = onPanel ? static_cast<QObject*>(bar.Panel(1)) : &bar;
            const int before = target->property(c.name).toInt();
            QSignalSpy changed(&bar, &StatusBar::PropertyChanged);
            target->setProperty(c.name, c.value);
            QCOMPARE(target->property(c.name).toInt(), c.accepted ? c.value : before);
            QCOMPARE(changed.count(), c.accepted ? 1 : 0);
            if (c.accepted)
                QCOMPARE(changed[0][0].toString(), onPanel ? u"Panel%1(1)"_s.arg(c.name) : QString(c.name));
        }
    }

    void SizeGripFollowsTheFormsBorder()
    {
        // Every window's form sets BorderStyle: only a sizable one gets the grip.
        for (const int borderStyle : {2, 1}) {
            const qttest::Row row{borderStyle == 2 ? "sizable" : "fixed single"};
            QWidget form;
            form.setProperty("BorderStyle", borderStyle);
            StatusBar bar(&form);
            QCOMPARE(bar.ControlHwnd()->findChild<QSizeGrip*>() != nullptr, borderStyle == 2);
        }
    }
};

TOLVANE_QTEST(StatusBarTest)

} // namespace tolvane

#include "StatusBarTest.moc"
