#include "app/DesignMode.h"
#include "app/FormSelectDevice.h"
#include "controls/ListView.h"
#include "controls/PropertyPages.h"
#include "controls/StatusBar.h"
#include "controls/SystemMenu.h"
#include "qtsupport/QtTestMain.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace tolvane {

namespace {

// The text box of a property page field.
QLineEdit* Field(const app::PropertyPageDialog& dialog, const char* name)
{
    return dialog.Page()->findChild<QLineEdit*>(QLatin1String(name));
}

void Retype(QLineEdit* edit, const QString& text)
{
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

QString HeaderText(const ListView& list, int column)
{
    return qobject_cast<QTreeWidget*>(list.ControlHwnd())->headerItem()->text(column);
}

} // namespace

class DesignModeTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        // Every case starts from the compiled-in forms.
        QVERIFY(!qEnvironmentVariableIsSet("TOLVANE_FORMS_DIR"));
    }

    void OpensEachForm_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("pages"); // controls with a property page
        QTest::newRow("FormTolvane") << "FormTolvane" << 3;
        QTest::newRow("FormSelectDevice") << "FormSelectDevice" << 1;
        QTest::newRow("FormInformation") << "FormInformation" << 1;
        QTest::newRow("FormExtracting") << "FormExtracting" << 0;
        QTest::newRow("FormAbout") << "FormAbout" << 0;
    }
    void OpensEachForm()
    {
        QFETCH(QString, name);
        QFETCH(int, pages);
        app::DesignWindow designer;
        QString error;
        QVERIFY2(designer.Open(name, error), qPrintable(error));
        QDialog* form = designer.FormWindow();
        QVERIFY(form);
        QCOMPARE(form->objectName(), name);
        QCOMPARE(designer.FormName(), name);

        // One row per control, as the form file lists them; every one is live on the form.
        QStringList expected;
        for (const FormSection& section : designer.Original().sections)
            if (section.type != QLatin1String("Form"))
                expected << section.name + QLatin1Char(' ') + section.type;
        QStringList rows;
        QTreeWidget* list = designer.ControlList();
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + QLatin1Char(' ') + list->topLevelItem(i)->text(1);
        QCOMPARE(rows, expected);

        // The persisted key of element 0's text, for the controls that have a property page.
        const QHash<QString, QString> firstText = {{"ListView", "ColumnText(0)"},
                                                   {"StatusBar", "PanelText(0)"},
                                                   {"SystemMenu", "SystemMenuItemText(0)"}};
        int opened = 0;
        for (const FormSection& section : designer.Original().sections) {
            if (section.type == QLatin1String("Form"))
                continue;
            QVERIFY2(form->findChild<QObject*>(section.name), qPrintable(section.name));
            const std::unique_ptr<app::PropertyPageDialog> dialog =
                designer.CreatePropertiesDialog(section.name);
            const QString key = firstText.value(section.type);
            QCOMPARE(dialog != nullptr, !key.isEmpty());
            if (!dialog)
                continue;
            ++opened;
            // The page shows the control's first element as the form file describes it.
            QCOMPARE(Field(*dialog, "TextText")->text(), section.bag.ReadString(key));
            QVERIFY(!dialog->Buttons()->button(QDialogButtonBox::Apply)->isEnabled());
        }
        QCOMPARE(opened, pages);

        for (const ListView* control : form->findChildren<ListView*>())
            QVERIFY(control->DesignMode());
        for (const StatusBar* control : form->findChildren<StatusBar*>())
            QVERIFY(control->DesignMode());
        for (const SystemMenu* control : form->findChildren<SystemMenu*>())
            QVERIFY(control->DesignMode());
    }

    void UnknownFormIsRefused()
    {
        app::DesignWindow designer;
        QString error;
        QVERIFY(!designer.Open(QStringLiteral("FormMain"), error));
        QVERIFY(error.contains(QLatin1String("FormMain")));
        QCOMPARE(designer.FormWindow(), nullptr);
        QCOMPARE(app::RunDesignMode(QStringLiteral("formtolvane")), 2);
    }

    void EditedColumnIsSavedAndUsedByTheWindow()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(QStringLiteral("FormSelectDevice.form"));
        {
            app::DesignWindow designer;
            QString error;
            QVERIFY2(designer.Open(QStringLiteral("FormSelectDevice"), error), qPrintable(error));
            auto* live = designer.FormWindow()->findChild<ListView*>(QStringLiteral("ListViewDevices"));
            QVERIFY(live);

            const std::unique_ptr<app::PropertyPageDialog> dialog =
                designer.CreatePropertiesDialog(QStringLiteral("ListViewDevices"));
            QVERIFY(dialog);
            dialog->show();
            QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
            dialog->Page()->findChild<QScrollBar*>(QStringLiteral("HScrollIndex"))->setValue(1);
            QCOMPARE(Field(*dialog, "TextText")->text(), QStringLiteral("Name"));
            QPushButton* apply = dialog->Buttons()->button(QDialogButtonBox::Apply);
            Retype(Field(*dialog, "TextText"), QStringLiteral("Model"));
            QVERIFY(apply->isEnabled());
            QTest::mouseClick(apply, Qt::LeftButton);
            QVERIFY(!apply->isEnabled());
            // At once on the live form.
            QCOMPARE(HeaderText(*live, 1), QStringLiteral("Model"));

            QVERIFY2(designer.SaveForm(path, error), qPrintable(error));
        }

        FormFile saved;
        QString error;
        QVERIFY2(FormFile::Load(path, saved, error), qPrintable(error));
        const FormSection* section = saved.Find(QStringLiteral("ListViewDevices"));
        QVERIFY(section);
        QCOMPARE(section->bag.ReadString(QStringLiteral("ColumnText(1)")), QStringLiteral("Model"));
        QCOMPARE(section->bag.ReadString(QStringLiteral("ColumnText(0)")), QStringLiteral("Letter"));
        QCOMPARE(section->bag.ReadInt(QStringLiteral("ColumnActualWidth(1)"), 0), 130);
        QVERIFY(saved.Find(QStringLiteral("CommandOK")));
        QCOMPARE(saved.Find(QStringLiteral("CommandOK"))->bag.ReadString(QStringLiteral("Caption")),
                 QStringLiteral("OK"));

        // The program's own window picks the saved copy up.
        qputenv("TOLVANE_FORMS_DIR", QFile::encodeName(folder.path()));
        const auto restore = qScopeGuard([] { qunsetenv("TOLVANE_FORMS_DIR"); });
        app::FormSelectDevice window;
        auto* list = window.Control<ListView>(QStringLiteral("ListViewDevices"));
        QVERIFY(list);
        QCOMPARE(list->Column(1)->Text(), QStringLiteral("Model"));
        QCOMPARE(HeaderText(*list, 1), QStringLiteral("Model"));
        QCOMPARE(HeaderText(*list, 0), QStringLiteral("Letter"));
    }

    void CancelDiscardsAndOkApplies_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("header");
        QTest::newRow("Cancel") << int(QDialogButtonBox::Cancel) << "Property";
        QTest::newRow("OK") << int(QDialogButtonBox::Ok) << "Fact";
    }
    void CancelDiscardsAndOkApplies()
    {
        QFETCH(int, button);
        QFETCH(QString, header);
        app::DesignWindow designer;
        QString error;
        QVERIFY2(designer.Open(QStringLiteral("FormInformation"), error), qPrintable(error));
        auto* live = designer.FormWindow()->findChild<ListView*>(QStringLiteral("ListViewInformation"));
        QVERIFY(live);
        QCOMPARE(HeaderText(*live, 0), QStringLiteral("Property"));

        const std::unique_ptr<app::PropertyPageDialog> dialog =
            designer.CreatePropertiesDialog(QStringLiteral("ListViewInformation"));
        QVERIFY(dialog);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        Retype(Field(*dialog, "TextText"), QStringLiteral("Fact"));
        QTest::mouseClick(dialog->Buttons()->button(QDialogButtonBox::StandardButton(button)),
                          Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QCOMPARE(HeaderText(*live, 0), header);
        QCOMPARE(live->Column(0)->Text(), header);
    }

    void SaveFailureIsReported()
    {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        app::DesignWindow designer;
        QString error;
        QVERIFY2(designer.Open(QStringLiteral("FormAbout"), error), qPrintable(error));
        QVERIFY(!designer.SaveForm(folder.filePath(QStringLiteral("missing/FormAbout.form")), error));
        QVERIFY(!error.isEmpty());
    }
};

TOLVANE_QTEST(DesignModeTest)

} // namespace tolvane

#include "DesignModeTest.moc"
