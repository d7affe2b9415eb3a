#include "app/DesignMode.h"
#include "app/FormSelectDevice.h"
#include "controls/ListView.h"
#include "controls/PropertyPages.h"
#include "qtsupport/QtTestMain.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace tolvane {

using namespace Qt::StringLiterals;

namespace {

// The text box of a property page field.
QLineEdit* Field(const app::PropertyPageDialog& dialog, const char* name)
{
    return dialog.Page()->findChild<QLineEdit*>(QLatin1String(name));
}

QString HeaderText(const ListView& list, int column)
{
    return qobject_cast<QTreeWidget*>(list.ControlHwnd())->headerItem()->text(column);
}

// The property dialog of `control` on the form open in `designer`, shown, its text retyped.
std::unique_ptr<app::PropertyPageDialog> Edit(app::DesignWindow& designer, const QString& control,
                                              int element, const QString& text)
{
    auto dialog = designer.CreatePropertiesDialog(control);
    if (!dialog)
        return dialog;
    dialog->show();
    if (!QTest::qWaitForWindowExposed(dialog.get()))
        return nullptr;
    dialog->Page()->findChild<QScrollBar*>(u"HScrollIndex"_s)->setValue(element);
    Field(*dialog, "TextText")->selectAll();
    QTest::keyClicks(Field(*dialog, "TextText"), text);
    return dialog;
}

} // namespace

class DesignModeTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QVERIFY(!qEnvironmentVariableIsSet("TOLVANE_FORMS_DIR")); } // the compiled-in forms

    void OpensEachForm()
    {
        // Controls with a property page (list views, status bars, system menus) per form.
        const std::pair<const char*, int> forms[] = {
            {"FormTolvane", 3}, {"FormSelectDevice", 1}, {"FormInformation", 1}, {"FormExtracting", 0}, {"FormAbout", 0}};
        for (const auto& [name, pages] : forms) {
            const qttest::Row row{name};
            app::DesignWindow designer;
            QString error;
            QVERIFY2(designer.Open(QString::fromLatin1(name), error), qPrintable(error));
            QDialog* form = designer.FormWindow();
            QVERIFY(form && form->objectName() == QLatin1String(name) && designer.FormName() == QLatin1String(name));
            // One row per control, as the form file lists them; every one is live on the form.
            QStringList expected, rows;
            int opened = 0;
            for (const FormSection& section : designer.Original().sections) {
                if (section.type == QLatin1String("Form"))
                    continue;
                expected << section.name + u' ' + section.type;
                QVERIFY2(form->findChild<QObject*>(section.name), qPrintable(section.name));
                if (const auto dialog = designer.CreatePropertiesDialog(section.name)) {
                    ++opened;
                    QVERIFY(!dialog->Buttons()->button(QDialogButtonBox::Apply)->isEnabled()); // nothing edited
                }
            }
            QTreeWidget* list = designer.ControlList();
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                rows << list->topLevelItem(i)->text(0) + u' ' + list->topLevelItem(i)->text(1);
            QCOMPARE(rows, expected);
            QCOMPARE(opened, pages);
            for (const ListView* control : form->findChildren<ListView*>())
                QVERIFY(control->DesignMode());
        }
    }

    void UnknownFormsAndFailedSavesAreRefused()
    {
        app::DesignWindow designer;
        QString error;
        QVERIFY(!designer.Open(u"FormMain"_s, error));
        QVERIFY(error.contains(QLatin1String("FormMain")));
        QCOMPARE(designer.FormWindow(), nullptr);
        QCOMPARE(app::RunDesignMode(u"formtolvane"_s), 2);
        QTemporaryDir folder;
        QVERIFY2(designer.Open(u"FormAbout"_s, error), qPrintable(error));
        error.clear();
        QVERIFY(!designer.SaveForm(folder.filePath(u"missing/FormAbout.form"_s), error));
        QVERIFY(!error.isEmpty());
    }

    void EditedColumnIsSavedAndUsedByTheWindow()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(u"FormSelectDevice.form"_s);
        {
            app::DesignWindow designer;
            QString error;
            QVERIFY2(designer.Open(u"FormSelectDevice"_s, error), qPrintable(error));
            auto* live = designer.FormWindow()->findChild<ListView*>(u"ListViewDevices"_s);
            QVERIFY(live);
            QCOMPARE(HeaderText(*live, 1), u"Name"_s);
            const auto dialog = Edit(designer, u"ListViewDevices"_s, 1, u"Model"_s);
            QVERIFY(dialog);
            QPushButton* apply = dialog->Buttons()->button(QDialogButtonBox::Apply);
            QVERIFY(apply->isEnabled());
            QTest::mouseClick(apply, Qt::LeftButton);
            QVERIFY(!apply->isEnabled());
            QCOMPARE(HeaderText(*live, 1), u"Model"_s); // at once on the live form
            QVERIFY2(designer.SaveForm(path, error), qPrintable(error));
        }
        FormFile saved;
        QString error;
        QVERIFY2(FormFile::Load(path, saved, error), qPrintable(error));
        const FormSection* section = saved.Find(u"ListViewDevices"_s);
        QVERIFY(section && saved.Find(u"CommandOK"_s));
        QCOMPARE(qttest::Join({section->bag.ReadString(u"ColumnText(1)"_s), section->bag.ReadString(u"ColumnText(0)"_s),
                               section->bag.ReadInt(u"ColumnActualWidth(1)"_s, 0),
                               saved.Find(u"CommandOK"_s)->bag.ReadString(u"Caption"_s)}),
                 u"Model|Letter|130|OK"_s);
        // The program's own window picks the saved copy up.
        qputenv("TOLVANE_FORMS_DIR", QFile::encodeName(folder.path()));
        const auto restore = qScopeGuard([] { qunsetenv("TOLVANE_FORMS_DIR"); });
        app::FormSelectDevice window;
        auto* list = window.Control<ListView>(u"ListViewDevices"_s);
        QVERIFY(list);
        QCOMPARE(HeaderText(*list, 1), u"Model"_s);
    }

};

TOLVANE_QTEST(DesignModeTest)

} // namespace tolvane

#include "DesignModeTest.moc"
