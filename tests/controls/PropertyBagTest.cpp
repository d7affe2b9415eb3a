#include "controls/PropertyBag.h"
#include "qtsupport/QtTestMain.h"

namespace tolvane {

class PropertyBagTest : public QObject {
    Q_OBJECT

private slots:
    // Colours are written in hex; texts may hold quotes, tabs and line breaks once edited.
    void ParsesFormTextAndWritesItBack()
    {
        FormFile form;
        QString error;
        const QString text =
            QStringLiteral("# a window\n\n[S StatusBar]\n  ForeColor = 0x8000000D\r\nStyle=-1\n"
                           "Text = \"Tab\\there \\\"quoted\\\" back\\\\slash\\nÄ\"\nShown = true\n");
        QVERIFY2(FormFile::Parse(text, QStringLiteral("f"), form, error), qPrintable(error));
        const PropertyBag& bag = form.sections[0].bag;
        QCOMPARE(bag.ReadInt(QStringLiteral("ForeColor"), 0), qint64{0x8000000D});
        QCOMPARE(bag.ReadInt(QStringLiteral("Style"), 0), -1);
        QCOMPARE(bag.ReadString(QStringLiteral("Text")),
                 QStringLiteral("Tab\there \"quoted\" back\\slash\nÄ"));
        QVERIFY(bag.ReadBool(QStringLiteral("Shown"), false));
        FormFile back;
        QVERIFY2(FormFile::Parse(form.ToText(), QStringLiteral("f"), back, error), qPrintable(error));
        QCOMPARE(back.ToText(), form.ToText());
    }
};

TOLVANE_QTEST(PropertyBagTest)

} // namespace tolvane

#include "PropertyBagTest.moc"
