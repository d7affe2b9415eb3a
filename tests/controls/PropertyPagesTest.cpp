#include "controls/PropertyPages.h"
#include "controls/ListView.h"
#include "controls/StatusBar.h"
#include "controls/SystemMenu.h"
#include "qtsupport/QtTestMain.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace tolvane {

namespace {

enum class Kind { Columns, Panels, Items };

// Two elements of distinct values for each kind of control, as a form file holds them.
const char* const Elements[] = {
    "ColumnText(0) = \"Track\"\nColumnActualWidth(0) = 40\nColumnAlignment(0) = 1\n"
    "ColumnToolTipText(0) = \"Number\"\nColumnTag(0) = \"t0\"\n"
    "ColumnText(1) = \"Title\"\nColumnActualWidth(1) = 120\nColumnAlignment(1) = 2\nColumnTag(1) = \"t1\"\n",
    "PanelText(0) = \"Ready\"\nPanelMinWidth(0) = 60\nPanelAlignment(0) = 1\nPanelAutoSize(0) = 2\n"
    "PanelBevel(0) = 2\nPanelVisible(0) = false\nPanelToolTipText(0) = \"State\"\n"
    "PanelText(1) = \"Drive\"\nPanelMinWidth(1) = 80\nPanelAlignment(1) = 2\nPanelAutoSize(1) = 1\n"
    "PanelBevel(1) = 0\nPanelTag(1) = \"t1\"\n",
    "SystemMenuItemText(0) = \"One\"\nSystemMenuItemChecked(0) = true\nSystemMenuItemEnabled(0) = false\n"
    "SystemMenuItemTag(0) = \"t0\"\nSystemMenuItemStyle(1) = 1\n",
};

// A control loaded with those two elements on a form of its own, and the page that edits it.
struct Rig {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QObject* control = nullptr;
    std::unique_ptr<PropertyPage> page;
    std::function<PropertyBag()> written;                              // what the control writes now
    std::function<void(std::function<void(const QString&)>)> onChange; // on each PropertyChanged
};

template <typename Control, typename Page> void Load(Rig& rig, const PropertyBag& bag)
{
    auto* control = new Control(rig.form.get());
    control->ReadProperties(bag);
    rig.control = control;
    rig.page = std::make_unique<Page>();
    rig.written = [control] {
        PropertyBag out;
        control->WriteProperties(out);
        return out;
    };
    rig.onChange = [control](std::function<void(const QString&)> f) {
        QObject::connect(control, &Control::PropertyChanged, control, std::move(f));
    };
}

Rig MakeRig(Kind kind)
{
    FormFile file;
    QString error;
    const QString text = QStringLiteral("[Control Any]\nCount = 2\n") + Elements[int(kind)];
    if (!FormFile::Parse(text, QStringLiteral("rig"), file, error))
        qFatal("%s", qPrintable(error));
    Rig rig;
    rig.form->resize(400, 200);
    if (kind == Kind::Columns)
        Load<ListView, ColumnsPage>(rig, file.sections[0].bag);
    else if (kind == Kind::Panels)
        Load<StatusBar, PanelsPage>(rig, file.sections[0].bag);
    else
        Load<SystemMenu, SystemMenuItemsPage>(rig, file.sections[0].bag);
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
    return QStringLiteral("<no field>");
}

// "Name=value" of the fields that `expected` names, in its order.
QStringList FieldValues(const PropertyPage& page, const QStringList& expected)
{
    QStringList values;
    for (const QString& entry : expected) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        values << name + QLatin1Char('=') + FieldValue(page, name);
    }
    return values;
}

// Sets a field ("Name=value", as FieldValue reads it) the way a user would.
void SetField(PropertyPage& page, const QString& assignment)
{
    const QString value = assignment.section(QLatin1Char('='), 1);
    QWidget* field = page.findChild<QWidget*>(assignment.section(QLatin1Char('='), 0, 0));
    if (auto* edit = qobject_cast<QLineEdit*>(field)) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, value);
    } else if (auto* combo = qobject_cast<QComboBox*>(field)) {
        combo->setCurrentIndex(value.toInt());
    } else if (auto* check = qobject_cast<QCheckBox*>(field)) {
        check->setChecked(value == QLatin1String("true"));
    }
}

// What the control shows of element `index`: a column's header text, the text the status window
// holds for a panel (alignment tabs included), a menu action's text.
QString Shown(const Rig& rig, int index)
{
    if (auto* list = qobject_cast<ListView*>(rig.control))
        return qobject_cast<QTreeWidget*>(list->ControlHwnd())->headerItem()->text(index);
    if (auto* bar = qobject_cast<StatusBar*>(rig.control))
        return bar->PartText(index);
    QAction* action = static_cast<SystemMenu*>(rig.control)->CommandAction(index);
    return action ? action->text() : QString();
}

} // namespace

const Kind Kinds[] = {Kind::Columns, Kind::Panels, Kind::Items};
const char* const KindNames[] = {"columns", "panels", "menu items"};

class PropertyPagesTest : public QObject {
    Q_OBJECT

private slots:
    void LoadsTheScrolledElementAndAppliesItsFieldsInOrder()
    {
        const struct {
            QStringList loaded;  // the fields of element 1 as loaded
            QStringList edits;   // made on element 1
            QStringList written; // "key=value", in the order of the writes
            QString shown;       // what the control shows of element 1 afterwards
        } cases[] = {
            {{"TextText=Title", "TextActualwidth=120", "ComboAlignment=2", "TextTooltiptext=", "TextTag=t1"},
             {"TextText=Name", "TextActualwidth=90", "ComboAlignment=0", "TextTooltiptext=Tip",
              "TextTag=tag"},
             {"ColumnText(1)=Name", "ColumnActualWidth(1)=90", "ColumnAlignment(1)=0",
              "ColumnToolTipText(1)=Tip", "ColumnTag(1)=tag"},
             "Name"},
            {{"TextText=Drive", "TextMinwidth=80", "ComboAlignment=2", "ComboAutosize=1", "ComboBevel=0",
              "CheckVisible=true", "TextTooltiptext=", "TextTag=t1"},
             {"TextText=Busy", "TextMinwidth=70", "ComboAlignment=2", "ComboAutosize=0", "ComboBevel=1",
              "CheckVisible=false", "TextTooltiptext=Tip", "TextTag=tag"},
             {"PanelText(1)=Busy", "PanelMinWidth(1)=70", "PanelAlignment(1)=2", "PanelAutoSize(1)=0",
              "PanelBevel(1)=1", "PanelVisible(1)=false", "PanelToolTipText(1)=Tip", "PanelTag(1)=tag"},
             "\t\tBusy"},
            {{"TextText=", "ComboStyle=1", "CheckChecked=false", "CheckEnabled=true", "TextTag="},
             {"TextText=&About", "ComboStyle=0", "CheckChecked=true", "CheckEnabled=true", "TextTag=tag"},
             {"SystemMenuItemText(1)=&About", "SystemMenuItemStyle(1)=0", "SystemMenuItemChecked(1)=true",
              "SystemMenuItemEnabled(1)=true", "SystemMenuItemTag(1)=tag"},
             "&About"}};
        for (const Kind kind : Kinds) {
            const qttest::Row row{KindNames[int(kind)]};
            const auto& c = cases[int(kind)];
            const Rig rig = MakeRig(kind);
            rig.page->SetSelectedControls({rig.control});
            auto* scroll = rig.page->findChild<QScrollBar*>(QStringLiteral("HScrollIndex"));
            QCOMPARE(scroll->maximum(), 1);
            scroll->setValue(1);
            QCOMPARE(FieldValue(*rig.page, QStringLiteral("TextIndex")), QStringLiteral("1"));
            QCOMPARE(FieldValues(*rig.page, c.loaded), c.loaded);
            QVERIFY(!rig.page->Changed()); // loading is not an edit
            for (const QString& edit : c.edits)
                SetField(*rig.page, edit);
            QVERIFY(rig.page->Changed());
            // Every property is written while updates are held back.
            QStringList order;
            bool prevented = true;
            rig.onChange([&](const QString& key) {
                order << key + QLatin1Char('=') + rig.written().Read(key).toString();
                prevented = prevented && rig.control->property("PreventUpdate").toBool();
            });
            rig.page->ApplyChanges();
            QCOMPARE(order, c.written);
            QVERIFY(prevented && !rig.control->property("PreventUpdate").toBool());
            QCOMPARE(Shown(rig, 1), c.shown); // the update is called by name
            QVERIFY(!rig.page->Changed());
        }
    }

    void NumberBoxLeftEmptyKeepsTheValue()
    {
        const Rig rig = MakeRig(Kind::Panels);
        rig.page->SetSelectedControls({rig.control});
        SetField(*rig.page, QStringLiteral("TextMinwidth="));
        SetField(*rig.page, QStringLiteral("TextText=Still written"));
        rig.page->ApplyChanges();
        const PropertyBag bag = rig.written();
        QCOMPARE(bag.ReadInt(QStringLiteral("PanelMinWidth(0)"), 0), 60);
        QCOMPARE(bag.ReadString(QStringLiteral("PanelText(0)")), QStringLiteral("Still written"));
    }
};

TOLVANE_QTEST(PropertyPagesTest)

} // namespace tolvane

#include "PropertyPagesTest.moc"
