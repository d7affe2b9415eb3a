#include "controls/ListView.h"
#include "qtsupport/QtTestMain.h"
#include "util/Colors.h"

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

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

QPoint CheckPoint(const ListView& list, int row)
{
    QTreeWidget* tree = Tree(list);
    QStyleOptionViewItem option;
    option.initFrom(tree);
    option.rect = Cell(list, row, 0);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = list.ListItems()->Item(row)->Text();
    return tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree).center();
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
        const auto add = [this](const QString& text) { log.append(text); };
        QObject::connect(&list, &ListView::Click, &context, [=](int b) { add(QStringLiteral("Click(%1)").arg(b)); });
        QObject::connect(&list, &ListView::DblClick, &context, [=](int b) { add(QStringLiteral("DblClick(%1)").arg(b)); });
        QObject::connect(&list, &ListView::ItemClick, &context,
                         [=](ListItem* i, int b) { add(QStringLiteral("ItemClick(%1,%2)").arg(at(i)).arg(b)); });
        QObject::connect(&list, &ListView::ItemDblClick, &context,
                         [=](ListItem* i, int b) { add(QStringLiteral("ItemDblClick(%1,%2)").arg(at(i)).arg(b)); });
        QObject::connect(&list, &ListView::ItemCheck, &context, [=](ListItem* i) { add(QStringLiteral("ItemCheck(%1)").arg(at(i))); });
        QObject::connect(&list, &ListView::ColumnClick, &context, [=](Column* c) { add(QStringLiteral("ColumnClick(%1)").arg(at(c))); });
        QObject::connect(&list, &ListView::KeyDown, &context, [=](int k) { add(QStringLiteral("KeyDown(%1)").arg(k)); });
    }
};

QStringList Labels(const ListView& list)
{
    QStringList labels;
    for (int i = 0; i < list.ListItems()->Count(); ++i)
        labels.append(list.ListItems()->Item(i)->Text());
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

    void SettersApplyRangeRules_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("Appearance 0") << "Appearance" << QVariant(0) << true;
        QTest::newRow("Appearance 2") << "Appearance" << QVariant(2) << false;
        QTest::newRow("BorderStyle 1") << "BorderStyle" << QVariant(1) << true;
        QTest::newRow("BorderStyle 2") << "BorderStyle" << QVariant(2) << false;
        QTest::newRow("LabelEdit 1") << "LabelEdit" << QVariant(1) << true;
        QTest::newRow("LabelEdit 2") << "LabelEdit" << QVariant(2) << false;
        QTest::newRow("SortOrder 1") << "SortOrder" << QVariant(1) << true;
        QTest::newRow("SortOrder -1") << "SortOrder" << QVariant(-1) << false;
        QTest::newRow("Count 3") << "Count" << QVariant(3) << true;
        QTest::newRow("Count -1") << "Count" << QVariant(-1) << false;
        QTest::newRow("column ActualWidth 1") << "ColumnActualWidth(1)" << QVariant(1) << true;
        QTest::newRow("column ActualWidth 0") << "ColumnActualWidth(1)" << QVariant(0) << false;
        QTest::newRow("column Alignment 2") << "ColumnAlignment(1)" << QVariant(2) << true;
        QTest::newRow("column Alignment 3") << "ColumnAlignment(1)" << QVariant(3) << false;
        QTest::newRow("column Text") << "ColumnText(1)" << QVariant(QStringLiteral("Size")) << true;
    }
    void SettersApplyRangeRules()
    {
        QFETCH(QString, name);
        QFETCH(QVariant, value);
        QFETCH(bool, accepted);
        ListView list;
        list.SetCount(2);
        list.Column(1)->SetActualWidth(40);
        QObject* target = &list;
        QString property = name;
        if (name.startsWith(QLatin1String("Column"))) { // "ColumnActualWidth(1)" -> Column(1)'s ActualWidth
            target = list.Column(1);
            property = name.mid(6).section(QLatin1Char('('), 0, 0);
        }
        const QByteArray key = property.toLatin1();
        const QVariant before = target->property(key.constData());
        QSignalSpy changed(&list, &ListView::PropertyChanged);
        target->setProperty(key.constData(), value);
        QCOMPARE(target->property(key.constData()), accepted ? value : before);
        QCOMPARE(changed.count(), accepted ? 1 : 0);
        if (accepted)
            QCOMPARE(changed.at(0).at(0).toString(), name);
        if (name == QLatin1String("ColumnActualWidth(1)")) // the column is updated at once
            QCOMPARE(Tree(list)->header()->sectionSize(1), accepted ? value.toInt() : 40);
    }

    void CountRecreatesTheListAndKeepsItsRows()
    {
        ListView list;
        list.SetCount(1);
        list.ListItems()->Add(QStringLiteral("a"));
        list.SetPreventUpdate(true); // as the property pages do while they write several columns
        list.Column(0)->SetText(QStringLiteral("Track"));
        QCOMPARE(Tree(list)->headerItem()->text(0), QString());
        list.SetPreventUpdate(false);
        list.UpdateColumns(-1);
        QCOMPARE(Tree(list)->headerItem()->text(0), QStringLiteral("Track"));
        QWidget* old = list.ControlHwnd();
        list.SetCount(3);
        QVERIFY(list.ControlHwnd() != old);
        QCOMPARE(Tree(list)->columnCount(), 3);
        QCOMPARE(list.ListItems()->Item(0)->Text(), QStringLiteral("a"));
        QVERIFY(list.Column(2) && !list.Column(3));
        // The new list carries the window procedure and finds its control.
        QCOMPARE(list.ControlHwnd()->property("ListView").value<QObject*>(), &list);
        QVERIFY(list.ControlHwnd()->property("ListViewWindowProc").isValid());
    }

    void PropertyBagRoundTrip()
    {
        ListView a;
        a.SetCount(2);
        const QList<std::pair<const char*, QVariant>> values{
            {"AllowColumnReorder", true}, {"Appearance", 0}, {"BackColor", 0x123456u}, {"BorderStyle", 1},
            {"Checkboxes", true}, {"Enabled", false}, {"FlatScrollbar", true}, {"Font", QFont("Serif", 11, QFont::Bold)},
            {"ForeColor", Colors::HighlightText}, {"FullRowSelect", true}, {"GridLines", true}, {"HideColumnHeaders", true},
            {"HideSelection", false}, {"HotTracking", true}, {"HoverSelection", true}, {"LabelEdit", 1},
            {"MultiSelect", true}, {"ShowTips", false}, {"Sorted", true}, {"SortKey", 1}, {"SortOrder", 1}};
        for (const auto& [name, value] : values)
            QVERIFY2(a.setProperty(name, value) && a.property(name) == value, name);
        for (int i = 0; i < 2; ++i) {
            a.Column(i)->SetActualWidth(50 + i);
            a.Column(i)->SetAlignment(1 + i);
            a.Column(i)->SetTag(QStringLiteral("tag%1").arg(i));
            a.Column(i)->SetText(QStringLiteral("text%1").arg(i));
            a.Column(i)->SetToolTipText(QStringLiteral("tip%1").arg(i));
        }
        PropertyBag bag;
        a.WriteProperties(bag);
        QCOMPARE(bag.Keys().size(), 22 + 2 * 5);
        QCOMPARE(bag.ReadString(QStringLiteral("ColumnToolTipText(1)")), QStringLiteral("tip1"));

        ListView b;
        b.ReadProperties(bag);
        PropertyBag back;
        b.WriteProperties(back);
        QVERIFY(back == bag);
        QCOMPARE(Tree(b)->header()->sectionSize(1), 51);
        QVERIFY(Tree(b)->header()->isHidden());
    }

    void MissingKeysLoadDefaultsAndWidth100()
    {
        QWidget form;
        form.setFont(QFont(QStringLiteral("Serif"), 13));
        ListView list(&form);
        PropertyBag bag;
        bag.Write(QStringLiteral("Count"), 2);
        bag.Write(QStringLiteral("ColumnText(0)"), QStringLiteral("Track"));
        list.ReadProperties(bag);
        QCOMPARE(list.Column(1)->ActualWidth(), 100);
        QCOMPARE(Tree(list)->header()->sectionSize(0), 100);
        QCOMPARE(list.Column(0)->Text(), QStringLiteral("Track"));
        QCOMPARE(list.Font(), form.font());
        QCOMPARE(list.Appearance(), 1);
        QCOMPARE(list.BackColor(), Colors::WindowBackground);
        QVERIFY(list.HideSelection() && list.ShowTips() && list.Enabled());
    }

    void AddRemoveClearKeepRowNumbers()
    {
        ListView list;
        list.SetCount(1);
        ListItems& items = *list.ListItems();
        for (int i = 0; i < 4; ++i)
            QCOMPARE(items.Add(QString(QChar(u'a' + i))), i);
        QPointer<ListItem> gone = items.Item(1);
        items.Remove(1);
        items.Remove(3);
        items.Remove(-1);
        QCOMPARE(items.Count(), 3);
        QCOMPARE(Labels(list), QStringList({"a", "c", "d"}));
        QCOMPARE(items.Item(1)->Index(), 1);
        QCOMPARE(items.Item(2)->Index(), 2);
        QVERIFY(!items.Item(3) && !items.Item(-1));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(gone.isNull());

        list.SetMultiSelect(true);
        items.Item(0)->SetSelected(true);
        list.SetMultiSelect(false);
        items.Item(2)->SetSelected(true); // a single-selection list holds one selected row
        QCOMPARE(items.SelectedCount(), 1);
        items.Clear();
        QCOMPARE(items.Count(), 0);
        QCOMPARE(Tree(list)->topLevelItemCount(), 0);
    }

    void SortsBySortKeyColumn_data()
    {
        QTest::addColumn<QStringList>("rows"); // "label|cell 1"
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("labels");
        const QString longText(255, QLatin1Char('x'));
        QTest::newRow("ascending") << QStringList{"banana", "apple", "cherry"} << 0 << 0 << QStringList{"apple", "banana", "cherry"};
        QTest::newRow("descending") << QStringList{"banana", "apple", "cherry"} << 0 << 1 << QStringList{"cherry", "banana", "apple"};
        QTest::newRow("by column 1") << QStringList{"x|2", "y|1", "z|3"} << 1 << 0 << QStringList{"y", "x", "z"};
        QTest::newRow("text ends at NUL") << QStringList{QStringLiteral("b") + QChar(0) + "zz", "b", "a"} << 0 << 0
                                          << QStringList{"a", QStringLiteral("b") + QChar(0) + "zz", "b"};
        QTest::newRow("first 255 characters") << QStringList{longText + "b", longText + "a"} << 0 << 0
                                              << QStringList{longText + "b", longText + "a"};
    }
    void SortsBySortKeyColumn()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, key);
        QFETCH(int, order);
        QFETCH(QStringList, labels);
        ListView list;
        list.SetCount(2);
        list.SetSorted(true);
        list.SetSortKey(key);
        list.SetSortOrder(order);
        for (const QString& row : rows) {
            // Each Add sorts, so the new row is looked up by its label (items stand for positions).
            const QString label = row.section(QLatin1Char('|'), 0, 0);
            list.ListItems()->Add(label);
            for (int i = 0; i < list.ListItems()->Count(); ++i)
                if (list.ListItems()->Item(i)->Text() == label)
                    list.ListItems()->Item(i)->SetText(1, row.section(QLatin1Char('|'), 1, 1));
            list.SetSortKey(key); // sorts again, now that cell 1 is there
        }
        QCOMPARE(Labels(list), labels);
    }

    void SortIsCaseSensitive()
    {
        // Case variants never tie: two insertion orders end in one order, strictly increasing.
        const auto sorted = [](const QStringList& rows, int order) {
            ListView list;
            list.SetCount(1);
            list.SetSortOrder(order);
            for (const QString& row : rows)
                list.ListItems()->Add(row);
            list.SetSorted(true);
            return Labels(list);
        };
        const QStringList ascending = sorted({"b", "a", "B", "A"}, 0);
        QCOMPARE(sorted({"A", "B", "a", "b"}, 0), ascending);
        for (qsizetype i = 1; i < ascending.size(); ++i)
            QVERIFY2(QString::localeAwareCompare(ascending[i - 1], ascending[i]) < 0, qPrintable(ascending.join(',')));
        QStringList descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(sorted({"a", "A", "b", "B"}, 1), descending);
    }

    void ItemColoursFallBackAndFollowRows()
    {
        Shown shown({"c", "b", "a"});
        ListView& list = *shown.list;
        ListItem* first = list.ListItems()->Item(2);
        ListItem* second = list.ListItems()->Item(1);
        list.SetBackColor(0x123456);
        QCOMPARE(first->BackColor(), quint32{0x123456});
        QCOMPARE(first->ForeColor(), static_cast<quint32>(Colors::Translate(Colors::WindowText)));
        second->SetBackColor(0x0000FF);
        second->SetForeColor(Colors::Highlight);
        QCOMPARE(second->ForeColor(), Colors::Highlight); // kept as given
        list.SetBackColor(0x00FF00);
        QCOMPARE(first->BackColor(), quint32{0x00FF00});
        QCOMPARE(second->BackColor(), quint32{0x0000FF});

        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        const auto pixel = [&list](int row) {
            const QRect cell = Cell(list, row, 1);
            return Tree(list)->viewport()->grab().toImage().pixelColor(cell.right() - 2, cell.center().y());
        };
        // (row 0 is the current row, which the style tints)
        QCOMPARE(pixel(2), QColor(0, 255, 0));
        QCOMPARE(pixel(1), QColor(255, 0, 0));
        list.SetSorted(true);
        list.ListItems()->Item(1)->SetText(0, QStringLiteral("B")); // the item object follows its position
        QCOMPARE(Labels(list), QStringList({"a", "B", "c"}));
        QCOMPARE(pixel(1), QColor(255, 0, 0));
    }

    void MouseRaisesEvents_data()
    {
        QTest::addColumn<bool>("fullRow");
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("events");
        QTest::newRow("click a label") << false << "label" << 1 << "click" << QStringList{"ItemClick(1,1)"};
        QTest::newRow("right click a label") << false << "label" << 2 << "click" << QStringList{"ItemClick(1,2)"};
        QTest::newRow("click below the rows") << false << "empty" << 1 << "click" << QStringList{"Click(1)"};
        QTest::newRow("right double click a label")
            << false << "label" << 2 << "double" << QStringList{"ItemClick(1,2)", "ItemDblClick(1,2)"};
        QTest::newRow("double click below the rows") << false << "empty" << 1 << "double" << QStringList{"Click(1)", "DblClick(1)"};
        QTest::newRow("click a sub-item") << false << "subitem" << 1 << "click" << QStringList{};
        QTest::newRow("click a sub-item, full row") << true << "subitem" << 1 << "click" << QStringList{"ItemClick(1,1)"};
        QTest::newRow("check box") << false << "check" << 1 << "click" << QStringList{"ItemCheck(1)"};
        QTest::newRow("check box of a selected row") << false << "check" << 1 << "twice" << QStringList{"ItemCheck(1)", "ItemCheck(1)"};
        QTest::newRow("column header") << false << "header" << 1 << "click" << QStringList{"ColumnClick(1)"};
    }
    void MouseRaisesEvents()
    {
        QFETCH(bool, fullRow);
        QFETCH(QString, target);
        QFETCH(int, button);
        QFETCH(QString, action);
        QFETCH(QStringList, events);
        Shown shown({"one", "two"});
        ListView& list = *shown.list;
        list.SetFullRowSelect(fullRow);
        list.SetCheckboxes(target == QLatin1String("check"));
        QVERIFY(QTest::qWaitForWindowActive(&shown.window));
        EventLog log(list);
        QPoint pos = LabelPoint(list, 1);
        if (target == QLatin1String("empty"))
            pos = {20, Cell(list, 1, 0).bottom() + 20};
        else if (target == QLatin1String("subitem"))
            pos = Cell(list, 1, 1).center();
        else if (target == QLatin1String("check"))
            pos = CheckPoint(list, 1);
        QWidget* viewport = Tree(list)->viewport();
        if (target == QLatin1String("header")) {
            viewport = Tree(list)->header()->viewport();
            pos = {Tree(list)->header()->sectionViewportPosition(1) + 50, viewport->height() / 2};
        }
        const Qt::MouseButton qtButton = button == 1 ? Qt::LeftButton : Qt::RightButton;
        QTest::mouseClick(viewport, qtButton, {}, pos);
        if (action == QLatin1String("twice"))
            QTest::mouseClick(viewport, qtButton, {}, pos);
        if (action == QLatin1String("double")) {
            QTest::mouseDClick(viewport, qtButton, {}, pos);
            QTest::mouseRelease(viewport, qtButton, {}, pos);
        }
        QCOMPARE(log.log, events);
        QCOMPARE(QApplication::focusWidget(), list.ControlHwnd()); // a click also gives the list the focus
        if (target == QLatin1String("check")) {
            QCOMPARE(list.ListItems()->Item(1)->Checked(), action == QLatin1String("click"));
            QTest::qWait(QApplication::doubleClickInterval() + 50); // a click never starts label editing here
            QVERIFY(!Tree(list)->indexWidget(Tree(list)->model()->index(1, 0)));
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
        QVERIFY(list.ListItems()->Item(1)->Selected());
        QCOMPARE(list.SelectedItem(), list.ListItems()->Item(1));
    }

    void EnterReachesTheListNotTheDefaultButton()
    {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* list = new ListView(&dialog);
        auto* edit = new QLineEdit(&dialog);
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        layout->addWidget(list);
        layout->addWidget(edit);
        layout->addWidget(ok);
        list->SetCount(1);
        list->ListItems()->Add(QStringLiteral("one"));
        QSignalSpy pressed(ok, &QPushButton::clicked);
        dialog.show();
        dialog.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        list->setFocus();
        QCOMPARE(QApplication::focusWidget(), list->ControlHwnd());
        EventLog log(*list);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(log.log, QStringList({"KeyDown(13)"}));
        QCOMPARE(pressed.count(), 0);
        QVERIFY(dialog.isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), edit);
    }

    void LabelEditEvents_data()
    {
        QTest::addColumn<bool>("cancelBefore");
        QTest::addColumn<bool>("cancelAfter");
        QTest::addColumn<QString>("newString");
        QTest::addColumn<int>("endKey");
        QTest::addColumn<QString>("label");
        QTest::newRow("Before cancels") << true << false << "" << int(Qt::Key_Return) << "alpha";
        QTest::newRow("NewString replaces") << false << false << "forced" << int(Qt::Key_Return) << "forced";
        QTest::newRow("empty NewString keeps typed") << false << false << "" << int(Qt::Key_Return) << "typed";
        QTest::newRow("After cancels") << false << true << "forced" << int(Qt::Key_Return) << "alpha";
        QTest::newRow("Escape") << false << false << "forced" << int(Qt::Key_Escape) << "alpha";
    }
    void LabelEditEvents()
    {
        QFETCH(bool, cancelBefore);
        QFETCH(bool, cancelAfter);
        QFETCH(QString, newString);
        QFETCH(int, endKey);
        QFETCH(QString, label);
        Shown shown({"alpha", "beta"});
        ListView& list = *shown.list;
        QVERIFY(QTest::qWaitForWindowActive(&shown.window));
        int before = 0;
        QStringList after; // the NewString each AfterLabelEdit was given
        connect(&list, &ListView::BeforeLabelEdit, this, [&](bool& cancel) {
            ++before;
            cancel = cancelBefore;
        });
        connect(&list, &ListView::AfterLabelEdit, this, [&](bool& cancel, QString& text) {
            after.append(text);
            cancel = cancelAfter;
            text = newString;
        });
        QTest::mouseClick(Tree(list)->viewport(), Qt::LeftButton, {}, LabelPoint(list, 0));
        QTest::keyClick(Tree(list), Qt::Key_F2);
        QCOMPARE(before, 1);
        auto* editor = qobject_cast<QLineEdit*>(Tree(list)->indexWidget(Tree(list)->model()->index(0, 0)));
        QCOMPARE(editor != nullptr, !cancelBefore);
        if (editor) {
            editor->selectAll();
            QTest::keyClicks(editor, QStringLiteral("typed"));
            QTest::keyClick(editor, Qt::Key(endKey));
            QCoreApplication::processEvents(); // Enter commits from the event loop
        }
        QCOMPARE(after, cancelBefore ? QStringList{} : QStringList{QString()});
        QCOMPARE(list.ListItems()->Item(0)->Text(), label);
    }

    void HitTestTakesViewportPixels()
    {
        QStringList labels;
        for (int i = 0; i < 50; ++i)
            labels.append(QString::number(i));
        Shown shown(labels);
        ListView& list = *shown.list;
        QVERIFY(QTest::qWaitForWindowExposed(&shown.window));
        QCOMPARE(list.HitTest(5, Cell(list, 2, 0).center().y()), list.ListItems()->Item(2));
        QVERIFY(!list.HitTest(250, 5)); // beyond the last column
        QCOMPARE(list.GetVisibleCount(), Tree(list)->viewport()->height() / Cell(list, 0, 0).height());
        QVERIFY(list.ListItems()->Item(40)->EnsureVisible());
        QVERIFY(list.GetFirstVisible() > 0);
        QCOMPARE(list.HitTest(5, 1), list.ListItems()->Item(list.GetFirstVisible()));
    }
};

TOLVANE_QTEST(ListViewTest)

} // namespace tolvane

#include "ListViewTest.moc"
