#include "app/DesignMode.h"
#include "qtsupport/QtTestMain.h"

#include <QTemporaryDir>

namespace tolvane {

class DesignModeTest : public QObject {
    Q_OBJECT

private slots:
    void OpensEachFormAndSavesItUnchanged()
    {
        QVERIFY(!qEnvironmentVariableIsSet("TOLVANE_FORMS_DIR")); // the compiled-in forms
        QTemporaryDir folder;
        const char* const forms[] = {"FormTolvane", "FormSelectDevice", "FormInformation", "FormExtracting",
                                     "FormAbout"};
        for (const char* name : forms) {
            const qttest::Row row{name};
            app::DesignWindow designer;
            QString error;
            QVERIFY2(designer.Open(QString::fromLatin1(name), error), qPrintable(error));
            QDialog* form = designer.FormWindow();
            QVERIFY(form && form->objectName() == QLatin1String(name));
            // Every control is live on the form and writes back each value of the form file as it was read.
            const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".form"));
            QVERIFY2(designer.SaveForm(path, error), qPrintable(error));
            FormFile saved;
            QVERIFY2(FormFile::Load(path, saved, error), qPrintable(error));
            for (const FormSection& section : designer.Original().sections) {
                const FormSection* written = saved.Find(section.name);
                QVERIFY2(written && written->type == section.type, qPrintable(section.name));
                QVERIFY2(section.type == QLatin1String("Form") || form->findChild<QObject*>(section.name),
                         qPrintable(section.name));
                for (const QString& key : section.bag.Keys()) {
                    const QString where = section.name + u' ' + key;
                    QVERIFY2(written->bag.Read(key) == section.bag.Read(key), qPrintable(where));
                }
            }
        }
    }
};

TOLVANE_QTEST(DesignModeTest)

} // namespace tolvane

#include "DesignModeTest.moc"
