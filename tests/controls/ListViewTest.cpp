#include "controls/ListView.h"
#include "qtsupport/QtTestMain.h"
#include "util/Colors.h"

#include <QHeaderView>
#include <QSignalSpy>
#include <QTreeWidget>

namespace tolvane {

namespace {

QTreeWidget* Tree(const ListView& list)
{
    return qobject_cast<QTreeWidget*>(list.ControlHwnd());
}

QRect Cell(const ListView& list, int row, int column)
{
    return Tree(list)->visualRect(Tree(list)->model()->index(row, column));
}

QPoint LabelPoint(const ListView& list, int row)
{
    const QRect cell = Cell(list, row, 0);
    return {cell.right() - 4, cell.center().y()};
}

// A list of two 100 px columns with `labels` as rows (cell 1 = label + "!"), shown in an active window.
struct Shown {
    QWidget window;
    ListView* list = new ListView(&window);
    explicit Shown(const QStringList& labels)
    {
        list->SetCount(2);
        for (int i = 0; i < 2; ++i)
            list->Column(i)->SetActualWidth(100);
        for (const QString& label : labels)
            list->ListItems()->Item(list->ListItems()->Add(label))->SetText(1, label + QLatin1Char('!'));
        window.resize(300, 200);
        list->setGeometry(0, 0, 300, 200);
        window.show();
        window.activateWindow();
    }
};

// The list's events in order; items and columns by their index.
struct EventLog {
    QObject context;
    QStringList log;
    explicit EventLog(ListView& list)
    {
        const auto at = [](const QObject* element) { return element ? element->property("Index").toInt() : -1; };
        const auto add = [this](const char* format, int a, int b = -1) {
            log << (b < 0 ? QString::fromLatin1(format).arg(a) : QString::fromLatin1(format).arg(a).arg(b));
        };
        QObject::connect(&list, &ListView::Click, &context, [=](int b) { add("Click(%1)", b); });
        QObject::connect(&list, &ListView::DblClick, &context, [=](int b) { add("DblClick(%1)", b); });
        QObject::connect(&list, &ListView::ItemClick, &context,
                         [=](ListItem* i, int b) { add("ItemClick(%1,%2)", at(i), b); });
        QObject::connect(&list, &ListView::ItemDblClick, &context,
                         [=](ListItem* i, int b) { add("ItemDblClick(%1,%2)", at(i), b); });
        QObject::connect(&list, &ListView::ColumnClick, &context, [=](Column* c) { add("ColumnClick(%1)", at(c)); });
        QObject::connect(&list, &ListView::KeyDown, &context, [=](int k) { add("KeyDown(%1)", k); });
    }
};

QStringList Labels(const ListView& list)
{
    QStringList labels;
    for (int i = 0; i < list.ListItems()->Count(); ++i)
        labels << list.ListItems()->Item(i)->Text();
    return labels;
}

} // namespace

class ListViewTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // A key press that moved no selection stays pending for every list; answer it here.
        ListView sink;
        sink.SetCount(1);
        sink.ListItems()->Add(QStringLiteral("x"));
        sink.ListItems()->Item(0)->SetSelected(true);
    }

    void SettersApplyRangeRules()
    {
        // "ColumnActualWidth(1)" is Column(1)'s ActualWidth.
        const struct { const char* name; QVariant value; bool accepted; } cases[] = {
            {"Appearance", 0, true},           {"Appearance", 2, false},          {"BorderStyle", 2, false},
            {"SortOrder", -1, false},          {"Count", 3, true},                {"Count", -1, false},
            {"ColumnActualWidth(1)", 1, true}, {"ColumnActualWidth(1)", 0, false}, {"ColumnAlignment(1)", 3, false}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            const QString name = QString::fromLatin1(c.name);
            ListView list;
            list.SetCount(2);
            list.Column(1)->SetActualWidth(40);
            const bool column = name.startsWith(QLatin1String("Column"));
            QObject* target = column ? static_cast<QObject*>(list.Column(1)) : &list;
            const QByteArray key = (column ? name.mid(6).section(QLatin1Char('('), 0, 0) : name).toLatin1();
            const QVariant before = target->property(key.constData());
            QSignalSpy changed(&list, &ListView::PropertyChanged);
            target->setProperty(key.constData(), c.value);
            QCOMPARE(target->property(key.constData()), c.accepted ? c.value : before);
            QCOMPARE(changed.count(), c.accepted ? 1 : 0);
            if (c.accepted)
                QCOMPARE(changed.at(0).at(0).toString(), name);
            if (key == "ActualWidth") // the column is updated at once
                QCOMPARE(Tree(list)->header()->sectionSize(1), c.accepted ? c.value.toInt() : 40);
        }
    }

    void PropertiesSurviveABagAndMissingKeysLoadDefaults()
    {
        ListView a;
        a.SetCount(2);
        // Values other than the defaults, so that a property dropped on either side shows.
        const QList<std::pair<const char*, QVariant>> values{
            {"Appearance", 0},     {"BackColor", 0x123456u},         {"Checkboxes", true},
            {"Enabled", false},    {"Font", QFont("Serif", 11, QFont::Bold)}, {"ForeColor", Colors::HighlightText},
            {"HideSelection", false}, {"HideColumnHeaders", true}, {"ShowTips", false}, {"SortOrder", 1}};
        for (const auto& [name, value] : values)
            QVERIFY2(a.setProperty(name, value), name);
        a.Column(1)->SetActualWidth(51);
        PropertyBag bag;
        a.WriteProperties(bag);
        QCOMPARE(bag.Keys().size(), 22 + 2 * 5); // a key never written would not show in the round trip
        ListView b;
        b.ReadProperties(bag);
        PropertyBag back;
        b.WriteProperties(back);
        QVERIFY(back == bag && Tree(b)->header()->isHidden());
        QCOMPARE(Tree(b)->header()->sectionSize(1), 51);

        // Missing keys: the defaults, width 100 and the form's font.
        QWidget form;
        form.setFont(QFont(QStringLiteral("Serif"), 13));
        ListView list(&form);
        PropertyBag few;
        few.Write(QStringLiteral("Count"), 2);
        few.Write(QStringLiteral("ColumnText(0)"), QStringLiteral("Track"));
        list.ReadProperties(few);
        QCOMPARE(qttest::Join({list.Column(1)->ActualWidth(), Tree(list)->header()->sectionSize(0),
                               list.Column(0)->Text(), list.Appearance(), list.BackColor(), list.HideSelection(),
                               list.ShowTips(), list.Enabled()}),
                 qttest::Join({100, 100, "Track", 1, Colors::WindowBackground, true, true, true}));
        QCOMPARE(list.Font(), form.font());
    }

    void AddRemoveClearKeepRowNumbers()
    {
        ListView list;
        list.SetCount(1);
        ListItems& items = *list.ListItems();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(items.Add(QString(QChar(u'a' + i))), i);
        items.Remove(1);
        items.Remove(3);
        items.Remove(-1);
        QCOMPARE(Labels(list), QStringList({"a", "c", "d"}));
        QVERIFY(items.Item(1)->Index() == 1 && items.Item(2)->Index() == 2);
        QVERIFY(!items.Item(3) && !items.Item(-1));
        list.SetMultiSelect(true);
        items.Item(0)->SetSelected(true);
        list.SetMultiSelect(false);
        items.Item(2)->SetSelected(true); // a single-selection list holds one selected row
        QCOMPARE(items.SelectedCount(), 1);
        items.Clear();
        QVERIFY(items.Count() == 0 && Tree(list)->topLevelItemCount() == 0);
    }

    void SortsBySortKeyColumn()
    {
        const QString x255(255, QLatin1Char('x'));
        const QString nul = QStringLiteral("b") + QChar(0) + "zz";
        const struct {
            const char* name;
            QStringList rows; // "label|cell 1"
            int key, order;
            QStringList labels;
        } cases[] = {
            {"ascending", {"banana", "apple", "cherry"}, 0, 0, {"apple", "banana", "cherry"}},
            {"descending", {"banana", "apple", "cherry"}, 0, 1, {"cherry", "banana", "apple"}},
            {"by column 1", {"x|2", "y|1", "z|3"}, 1, 0, {"y", "x", "z"}},
            {"text ends at NUL", {nul, "b", "a"}, 0, 0, {"a", nul, "b"}},
            {"first 255 characters", {x255 + "b", x255 + "a"}, 0, 0, {x255 + "b", x255 + "a"}}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            ListView list;
            list.SetCount(2);
            for (const QString& r : c.rows) {
                const int n = list.ListItems()->Add(r.section(QLatin1Char('|'), 0, 0));
                list.ListItems()->Item(n)->SetText(1, r.section(QLatin1Char('|'), 1, 1));
            }
            list.SetSortKey(c.key);
            list.SetSortOrder(c.order);
            list.SetSorted(true);
            QCOMPARE(Labels(list), c.labels);
        }
    }

    void MouseRaisesEvents()
    {
        enum Target { Label, Empty, SubItem, Header };
        enum Action { Once, Double };
        const struct {
            const char* name;
            bool fullRow;
            Target target;
            Qt::MouseButton button;
            Action action;
            QStringList events;
        } cases[] = {
            {"click a label", false, Label, Qt::LeftButton, Once, {"ItemClick(1,1)"}},
            {"right click a label", false, Label, Qt::RightButton, Once, {"ItemClick(1,2)"}},
            {"click below the rows", false, Empty, Qt::LeftButton, Once, {"Click(1)"}},
            {"double click below the rows", false, Empty, Qt::LeftButton, Double, {"Click(1)", "DblClick(1)"}},
            {"click a sub-item, full row", true, SubItem, Qt::LeftButton, Once, {"ItemClick(1,1)"}},
            {"column header", false, Header, Qt::LeftButton, Once, {"ColumnClick(1)"}}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            Shown shown({"one", "two"});
            ListView& list = *shown.list;
            list.SetFullRowSelect(c.fullRow);
            QVERIFY(QTest::qWaitForWindowActive(&shown.window));
            EventLog log(list);
            QWidget* viewport = Tree(list)->viewport();
            QPoint pos = c.target == Empty     ? QPoint(20, Cell(list, 1, 0).bottom() + 20)
                         : c.target == SubItem ? Cell(list, 1, 1).center()
                                               : LabelPoint(list, 1);
            if (c.target == Header) {
                viewport = Tree(list)->header()->viewport();
                pos = {Tree(list)->header()->sectionViewportPosition(1) + 50, viewport->height() / 2};
            }
            QTest::mouseClick(viewport, c.button, {}, pos);
            if (c.action == Double) {
                QTest::mouseDClick(viewport, c.button, {}, pos);
                QTest::mouseRelease(viewport, c.button, {}, pos);
            }
            QCOMPARE(log.log, c.events);
        }
    }

    void KeysRaiseKeyDownAndMoveTheSelection()
    {
        Shown shown({"one", "two", "three"});
        ListView& list = *shown.list;
        QVERIFY(QTest::qWaitForWindowActive(&shown.window));
        QTest::mouseClick(Tree(list)->viewport(), Qt::LeftButton, {}, LabelPoint(list, 0));
        EventLog log(list);
        QTest::keyClick(Tree(list), Qt::Key_Down);
        QTest::keyClick(Tree(list), Qt::Key_A);
        QCOMPARE(log.log, QStringList({"KeyDown(40)", "ItemClick(1,1)", "KeyDown(65)"}));
        QCOMPARE(list.SelectedItem(), list.ListItems()->Item(1));
    }

};

TOLVANE_QTEST(ListViewTest)

} // namespace tolvane

#include "ListViewTest.moc"
