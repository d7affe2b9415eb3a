#include "controls/ListView.h"
#include "controls/PropertyPages.h"
#include "controls/StatusBar.h"
#include "controls/SystemMenu.h"
#include "qtsupport/QtTestMain.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace tolvane {

namespace {

enum class Kind { Columns, Panels, Items };

// A control with two elements of distinct values on a form, and the page that edits it.
struct Rig {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QObject* control = nullptr;
    std::unique_ptr<PropertyPage> page;
};

Rig MakeRig(Kind kind, int count = 2)
{
    Rig rig;
    rig.form->resize(400, 200);
    switch (kind) {
    case Kind::Columns: {
        auto* list = new ListView(rig.form.get());
        list->SetCount(count);
        if (count == 2) {
            list->Column(0)->SetText(QStringLiteral("Track"));
            list->Column(0)->SetActualWidth(40);
            list->Column(0)->SetAlignment(Column::lvwRight);
            list->Column(0)->SetToolTipText(QStringLiteral("Number"));
            list->Column(0)->SetTag(QStringLiteral("t0"));
            list->Column(1)->SetText(QStringLiteral("Title"));
            list->Column(1)->SetActualWidth(120);
            list->Column(1)->SetAlignment(Column::lvwCenter);
            list->Column(1)->SetTag(QStringLiteral("t1"));
        }
        rig.control = list;
        rig.page = std::make_unique<ColumnsPage>();
        break;
    }
    case Kind::Panels: {
        auto* bar = new StatusBar(rig.form.get());
        bar->SetCount(count);
        if (count == 2) {
            bar->Panel(0)->SetText(QStringLiteral("Ready"));
            bar->Panel(0)->SetMinWidth(60);
            bar->Panel(0)->SetAlignment(sbrCenter);
            bar->Panel(0)->SetAutoSize(sbrContents);
            bar->Panel(0)->SetBevel(sbrRaised);
            bar->Panel(0)->SetVisible(false);
            bar->Panel(0)->SetToolTipText(QStringLiteral("State"));
            bar->Panel(1)->SetText(QStringLiteral("Drive"));
            bar->Panel(1)->SetMinWidth(80);
            bar->Panel(1)->SetAlignment(sbrRight);
            bar->Panel(1)->SetAutoSize(sbrSpring);
            bar->Panel(1)->SetBevel(sbrNoBevel);
            bar->Panel(1)->SetTag(QStringLiteral("t1"));
        }
        rig.control = bar;
        rig.page = std::make_unique<PanelsPage>();
        break;
    }
    case Kind::Items: {
        auto* menu = new SystemMenu(rig.form.get());
        menu->SetCount(count);
        if (count == 2) {
            menu->SystemMenuItem(0)->SetText(QStringLiteral("One"));
            menu->SystemMenuItem(0)->SetChecked(true);
            menu->SystemMenuItem(0)->SetEnabled(false);
            menu->SystemMenuItem(0)->SetTag(QStringLiteral("t0"));
            menu->SystemMenuItem(1)->SetStyle(smSeparator);
        }
        rig.control = menu;
        rig.page = std::make_unique<SystemMenuItemsPage>();
        break;
    }
    }
    return rig;
}

// A field's value as text: a text box's text, a combo box's list index, a check box's state.
QString FieldValue(const PropertyPage& page, const QString& name)
{
    QWidget* field = page.findChild<QWidget*>(name);
    if (auto* edit = qobject_cast<QLineEdit*>(field))
        return edit->text();
    if (auto* combo = qobject_cast<QComboBox*>(field))
        return QString::number(combo->currentIndex());
    if (auto* check = qobject_cast<QCheckBox*>(field))
        return check->isChecked() ? QStringLiteral("true") : QStringLiteral("false");
    return QStringLiteral("<no field %1>").arg(name);
}

// "Name=value" for each field, in the order given.
QStringList FieldValues(const PropertyPage& page, const QStringList& names)
{
    QStringList values;
    for (const QString& name : names)
        values << name + QLatin1Char('=') + FieldValue(page, name);
    return values;
}

// Sets a field as a user would leave it: "Name=value" as FieldValue reads it.
void SetField(PropertyPage& page, const QString& assignment)
{
    const QString name = assignment.section(QLatin1Char('='), 0, 0);
    const QString value = assignment.section(QLatin1Char('='), 1);
    QWidget* field = page.findChild<QWidget*>(name);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
        QTest::keyClicks(edit, value);
        if (value.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
    } else if (auto* combo = qobject_cast<QComboBox*>(field)) {
        combo->setCurrentIndex(value.toInt());
    } else if (auto* check = qobject_cast<QCheckBox*>(field)) {
        check->setChecked(value == QLatin1String("true"));
    }
}

QStringList FieldNames(const QStringList& assignments)
{
    QStringList names;
    for (const QString& assignment : assignments)
        names << assignment.section(QLatin1Char('='), 0, 0);
    return names;
}

QScrollBar* ScrollBar(const PropertyPage& page)
{
    return page.findChild<QScrollBar*>(QStringLiteral("HScrollIndex"));
}

QString IndexText(const PropertyPage& page)
{
    return page.findChild<QLineEdit*>(QStringLiteral("TextIndex"))->text();
}

// What the control shows of element `index` after an update: a column's header text, the text the
// status window holds for a panel (alignment tabs included), a menu action's text.
QString Shown(const Rig& rig, int index)
{
    if (auto* list = qobject_cast<ListView*>(rig.control))
        return qobject_cast<QTreeWidget*>(list->ControlHwnd())->headerItem()->text(index);
    if (auto* bar = qobject_cast<StatusBar*>(rig.control))
        return bar->PartText(index);
    auto* menu = qobject_cast<SystemMenu*>(rig.control);
    QAction* action = menu->CommandAction(index);
    return action ? action->text() : QString();
}

PropertyBag Written(const QObject* control)
{
    PropertyBag bag;
    if (auto* list = qobject_cast<const ListView*>(control))
        list->WriteProperties(bag);
    else if (auto* bar = qobject_cast<const StatusBar*>(control))
        bar->WriteProperties(bag);
    else if (auto* menu = qobject_cast<const SystemMenu*>(control))
        menu->WriteProperties(bag);
    return bag;
}

const QStringList ColumnFields = {"TextText", "TextActualwidth", "ComboAlignment", "TextTooltiptext", "TextTag"};
const QStringList PanelFields = {"TextText",     "TextMinwidth",    "ComboAlignment", "ComboAutosize",
                                 "ComboBevel",   "CheckVisible",    "TextTooltiptext", "TextTag"};
const QStringList ItemFields = {"TextText", "ComboStyle", "CheckChecked", "CheckEnabled", "TextTag"};

} // namespace

class PropertyPagesTest : public QObject {
    Q_OBJECT

private slots:
    void ComboEntries_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("combo");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("column alignment") << int(Kind::Columns) << "ComboAlignment"
                                          << QStringList{"0 - lvwLeft", "1 - lvwRight", "2 - lvwCenter"};
        QTest::newRow("panel alignment") << int(Kind::Panels) << "ComboAlignment"
                                         << QStringList{"0 - sbrLeft", "1 - sbrCenter", "2 - sbrRight"};
        QTest::newRow("panel auto size") << int(Kind::Panels) << "ComboAutosize"
                                         << QStringList{"0 - sbrNoAutoSize", "1 - sbrSpring", "2 - sbrContents"};
        QTest::newRow("panel bevel") << int(Kind::Panels) << "ComboBevel"
                                     << QStringList{"0 - sbrNoBevel", "1 - sbrInset", "2 - sbrRaised"};
        QTest::newRow("menu item style") << int(Kind::Items) << "ComboStyle"
                                         << QStringList{"0 - smDefault", "1 - smSeparator"};
    }
    void ComboEntries()
    {
        QFETCH(int, kind);
        QFETCH(QString, combo);
        QFETCH(QStringList, entries);
        const Rig rig = MakeRig(Kind(kind));
        auto* box = rig.page->findChild<QComboBox*>(combo);
        QVERIFY(box);
        QStringList texts;
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        QCOMPARE(texts, entries);
    }

    void LoadsTheElementAtTheScrollBarsIndex_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("first");
        QTest::addColumn<QStringList>("second");
        QTest::newRow("columns") << int(Kind::Columns)
                                 << QStringList{"TextText=Track", "TextActualwidth=40", "ComboAlignment=1",
                                                "TextTooltiptext=Number", "TextTag=t0"}
                                 << QStringList{"TextText=Title", "TextActualwidth=120", "ComboAlignment=2",
                                                "TextTooltiptext=", "TextTag=t1"};
        QTest::newRow("panels") << int(Kind::Panels)
                                << QStringList{"TextText=Ready", "TextMinwidth=60", "ComboAlignment=1",
                                               "ComboAutosize=2", "ComboBevel=2", "CheckVisible=false",
                                               "TextTooltiptext=State", "TextTag="}
                                << QStringList{"TextText=Drive", "TextMinwidth=80", "ComboAlignment=2",
                                               "ComboAutosize=1", "ComboBevel=0", "CheckVisible=true",
                                               "TextTooltiptext=", "TextTag=t1"};
        QTest::newRow("menu items") << int(Kind::Items)
                                    << QStringList{"TextText=One", "ComboStyle=0", "CheckChecked=true",
                                                   "CheckEnabled=false", "TextTag=t0"}
                                    << QStringList{"TextText=", "ComboStyle=1", "CheckChecked=false",
                                                   "CheckEnabled=true", "TextTag="};
    }
    void LoadsTheElementAtTheScrollBarsIndex()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, first);
        QFETCH(QStringList, second);
        const Rig rig = MakeRig(Kind(kind));
        rig.page->SetSelectedControls({rig.control});
        QCOMPARE(ScrollBar(*rig.page)->maximum(), 1);
        QCOMPARE(IndexText(*rig.page), QStringLiteral("0"));
        QCOMPARE(FieldValues(*rig.page, FieldNames(first)), first);
        QVERIFY(!rig.page->Changed());

        ScrollBar(*rig.page)->setValue(1);
        QCOMPARE(IndexText(*rig.page), QStringLiteral("1"));
        QCOMPARE(rig.page->ElementIndex(), 1);
        QCOMPARE(FieldValues(*rig.page, FieldNames(second)), second);
        QVERIFY(!rig.page->Changed());
    }

    void EditMarksThePageChanged_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::newRow("text box") << "TextTag=x";
        QTest::newRow("combo box") << "ComboBevel=0";
        QTest::newRow("check box") << "CheckVisible=true";
    }
    void EditMarksThePageChanged()
    {
        QFETCH(QString, edit);
        const Rig rig = MakeRig(Kind::Panels);
        rig.page->SetSelectedControls({rig.control});
        QSignalSpy changed(rig.page.get(), &PropertyPage::ChangedChanged);
        SetField(*rig.page, edit);
        QVERIFY(rig.page->Changed());
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed[0][0].toBool(), true);

        // A new selection starts without edits.
        rig.page->SetSelectedControls({rig.control});
        QVERIFY(!rig.page->Changed());
        QCOMPARE(changed.count(), 2);
    }

    void ScrollingDiscardsPendingEdits()
    {
        const Rig rig = MakeRig(Kind::Columns);
        auto* list = static_cast<ListView*>(rig.control);
        rig.page->SetSelectedControls({rig.control});
        SetField(*rig.page, QStringLiteral("TextText=Edited"));
        SetField(*rig.page, QStringLiteral("ComboAlignment=0"));
        QCOMPARE(list->Column(0)->Text(), QStringLiteral("Track"));

        ScrollBar(*rig.page)->setValue(1);
        QCOMPARE(FieldValue(*rig.page, QStringLiteral("TextText")), QStringLiteral("Title"));
        rig.page->ApplyChanges();
        // Apply wrote what was loaded for element 1; element 0 never saw the edit.
        QCOMPARE(list->Column(1)->Text(), QStringLiteral("Title"));
        QCOMPARE(list->Column(1)->Alignment(), Column::lvwCenter);
        QCOMPARE(list->Column(0)->Text(), QStringLiteral("Track"));
        QCOMPARE(list->Column(0)->Alignment(), Column::lvwRight);

        ScrollBar(*rig.page)->setValue(0);
        QCOMPARE(FieldValue(*rig.page, QStringLiteral("TextText")), QStringLiteral("Track"));
    }

    void ApplyWritesTheFieldsThenUpdatesTheElement_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QStringList>("keys");    // in the order they must be written
        QTest::addColumn<QStringList>("written"); // "key=value" in the control's property bag
        QTest::addColumn<QString>("shown");       // what the control shows of element 1
        QTest::newRow("columns") << int(Kind::Columns)
                                 << QStringList{"TextText=Name", "TextActualwidth=90", "ComboAlignment=0",
                                                "TextTooltiptext=Tip", "TextTag=tag"}
                                 << QStringList{"ColumnText(1)", "ColumnActualWidth(1)", "ColumnAlignment(1)",
                                                "ColumnToolTipText(1)", "ColumnTag(1)"}
                                 << QStringList{"ColumnText(1)=Name", "ColumnActualWidth(1)=90",
                                                "ColumnAlignment(1)=0", "ColumnToolTipText(1)=Tip",
                                                "ColumnTag(1)=tag"}
                                 << "Name";
        QTest::newRow("panels") << int(Kind::Panels)
                                << QStringList{"TextText=Busy",  "TextMinwidth=70",    "ComboAlignment=2",
                                               "ComboAutosize=0", "ComboBevel=1",      "CheckVisible=true",
                                               "TextTooltiptext=Tip", "TextTag=tag"}
                                << QStringList{"PanelText(1)",  "PanelMinWidth(1)", "PanelAlignment(1)",
                                               "PanelAutoSize(1)", "PanelBevel(1)", "PanelVisible(1)",
                                               "PanelToolTipText(1)", "PanelTag(1)"}
                                << QStringList{"PanelText(1)=Busy", "PanelMinWidth(1)=70", "PanelAlignment(1)=2",
                                               "PanelAutoSize(1)=0", "PanelBevel(1)=1", "PanelVisible(1)=true",
                                               "PanelToolTipText(1)=Tip", "PanelTag(1)=tag"}
                                << "\t\tBusy";
        QTest::newRow("menu items") << int(Kind::Items)
                                    << QStringList{"TextText=&About", "ComboStyle=0", "CheckChecked=true",
                                                   "CheckEnabled=true", "TextTag=tag"}
                                    << QStringList{"SystemMenuItemText(1)", "SystemMenuItemStyle(1)",
                                                   "SystemMenuItemChecked(1)", "SystemMenuItemEnabled(1)",
                                                   "SystemMenuItemTag(1)"}
                                    << QStringList{"SystemMenuItemText(1)=&About", "SystemMenuItemStyle(1)=0",
                                                   "SystemMenuItemChecked(1)=true",
                                                   "SystemMenuItemEnabled(1)=true", "SystemMenuItemTag(1)=tag"}
                                    << "&About";
    }
    void ApplyWritesTheFieldsThenUpdatesTheElement()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, edits);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, written);
        QFETCH(QString, shown);
        const Rig rig = MakeRig(Kind(kind));
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        rig.page->SetSelectedControls({rig.control});
        ScrollBar(*rig.page)->setValue(1);
        for (const QString& edit : edits)
            SetField(*rig.page, edit);
        QVERIFY(rig.page->Changed());
        const QString before = Shown(rig, 1);
        QVERIFY(before != shown);

        // Each property is written while updates are held back, so none of them shows on its own.
        QStringList order;
        bool allPrevented = true;
        bool showedEarly = false;
        const auto onChange = [&](const QString& key) {
            order << key;
            allPrevented = allPrevented && rig.control->property("PreventUpdate").toBool();
            showedEarly = showedEarly || Shown(rig, 1) != before;
        };
        QMetaObject::Connection watch;
        if (auto* list = qobject_cast<ListView*>(rig.control))
            watch = connect(list, &ListView::PropertyChanged, onChange);
        else if (auto* bar = qobject_cast<StatusBar*>(rig.control))
            watch = connect(bar, &StatusBar::PropertyChanged, onChange);
        else
            watch = connect(static_cast<SystemMenu*>(rig.control), &SystemMenu::PropertyChanged, onChange);

        rig.page->ApplyChanges();
        disconnect(watch);
        QCOMPARE(order, keys);
        QVERIFY(allPrevented);
        QVERIFY(!showedEarly);
        QCOMPARE(rig.control->property("PreventUpdate").toBool(), false);
        QCOMPARE(Shown(rig, 1), shown);
        QVERIFY(!rig.page->Changed());

        const PropertyBag bag = Written(rig.control);
        for (const QString& entry : written) {
            const QString key = entry.section(QLatin1Char('='), 0, 0);
            QCOMPARE(key + QLatin1Char('=') + bag.Read(key).toString(), entry);
        }
    }

    void NoElementsDisablesTheFields_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("columns") << int(Kind::Columns) << ColumnFields;
        QTest::newRow("panels") << int(Kind::Panels) << PanelFields;
        QTest::newRow("menu items") << int(Kind::Items) << ItemFields;
    }
    void NoElementsDisablesTheFields()
    {
        QFETCH(int, kind);
        QFETCH(QStringList, fields);
        Rig rig = MakeRig(Kind(kind), 0);
        // Loaded from a control with elements first, so stale values would show.
        Rig full = MakeRig(Kind(kind));
        rig.page->SetSelectedControls({full.control});
        rig.page->SetSelectedControls({rig.control});
        for (const QString& name : fields) {
            auto* field = rig.page->findChild<QWidget*>(name);
            QVERIFY2(field, qPrintable(name));
            QVERIFY2(!field->isEnabled(), qPrintable(name));
            QCOMPARE(field->palette().color(QPalette::Base), field->palette().color(QPalette::Window));
        }
        QCOMPARE(FieldValue(*rig.page, QStringLiteral("TextText")), QString());
        QVERIFY(!ScrollBar(*rig.page)->isEnabled());

        // Apply has no element to write to and leaves the control alone.
        QSignalSpy changes(rig.control, SIGNAL(PropertyChanged(QString)));
        rig.page->ApplyChanges();
        QCOMPARE(changes.count(), 0);

        // A control with elements enables them again.
        rig.control->setProperty("Count", 1);
        rig.page->SetSelectedControls({rig.control});
        for (const QString& name : fields)
            QVERIFY2(rig.page->findChild<QWidget*>(name)->isEnabled(), qPrintable(name));
        QVERIFY(ScrollBar(*rig.page)->isEnabled());
    }

    void FirstSelectedControlIsEdited()
    {
        const Rig first = MakeRig(Kind::Columns);
        Rig other = MakeRig(Kind::Columns, 3);
        first.page->SetSelectedControls({first.control, other.control});
        QCOMPARE(ScrollBar(*first.page)->maximum(), 1);
        SetField(*first.page, QStringLiteral("TextText=Changed"));
        first.page->ApplyChanges();
        QCOMPARE(static_cast<ListView*>(first.control)->Column(0)->Text(), QStringLiteral("Changed"));
        QCOMPARE(static_cast<ListView*>(other.control)->Column(0)->Text(), QString());
    }

    void NumberBoxLeftEmptyKeepsTheValue()
    {
        const Rig rig = MakeRig(Kind::Panels);
        rig.page->SetSelectedControls({rig.control});
        SetField(*rig.page, QStringLiteral("TextMinwidth="));
        SetField(*rig.page, QStringLiteral("TextText=Still written"));
        rig.page->ApplyChanges();
        auto* bar = static_cast<StatusBar*>(rig.control);
        QCOMPARE(bar->Panel(0)->MinWidth(), 60);
        QCOMPARE(bar->Panel(0)->Text(), QStringLiteral("Still written"));
    }
};

TOLVANE_QTEST(PropertyPagesTest)

} // namespace tolvane

#include "PropertyPagesTest.moc"
