#include "controls/PropertyBag.h"
#include "qtsupport/QtTestMain.h"

#include <QTemporaryDir>

namespace tolvane {

class PropertyBagTest : public QObject {
    Q_OBJECT

private slots:
    void TypedReadsFallBackOnMissingOrOtherKinds()
    {
        PropertyBag bag;
        bag.Write(QStringLiteral("Count"), 3);
        bag.Write(QStringLiteral("Text"), QStringLiteral("x"));
        bag.Write(QStringLiteral("Visible"), false);
        QCOMPARE(bag.ReadInt(QStringLiteral("Count"), 0), 3);
        QCOMPARE(bag.ReadInt(QStringLiteral("Text"), 100), 100);
        QCOMPARE(bag.ReadInt(QStringLiteral("Missing"), 100), 100);
        QCOMPARE(bag.ReadBool(QStringLiteral("Visible"), true), false);
        QCOMPARE(bag.ReadBool(QStringLiteral("Count"), true), true);
        QCOMPARE(bag.ReadString(QStringLiteral("Count"), QStringLiteral("d")), QStringLiteral("d"));
        bag.Write(QStringLiteral("Count"), 4); // rewriting keeps the key's place
        QCOMPARE(bag.Keys(), QStringList({"Count", "Text", "Visible"}));
    }

    void FormFileRoundTripKeepsEveryValue()
    {
        FormFile form;
        PropertyBag& bag = form.Section(QStringLiteral("ListTracks"), QStringLiteral("ListView")).bag;
        bag.Write(QStringLiteral("Count"), 2);
        bag.Write(QStringLiteral("BackColor"), qint64{0x80000005});
        bag.Write(QStringLiteral("Offset"), -7);
        bag.Write(QStringLiteral("ColumnText(0)"), QStringLiteral("Tab\there \"quoted\" back\\slash\nÄ"));
        bag.Write(QStringLiteral("Checkboxes"), true);
        bag.Write(QStringLiteral("Empty"), QString());
        // (appending a section may move the first one: 'bag' is not used after this)
        form.Section(QStringLiteral("FormAbout"), QStringLiteral("Form")).bag.Write(QStringLiteral("Caption"), QStringLiteral("About"));

        QTemporaryDir dir;
        QString error;
        const QString path = dir.filePath(QStringLiteral("x.form"));
        QVERIFY2(form.Save(path, error), qPrintable(error));
        FormFile back;
        QVERIFY2(FormFile::Load(path, back, error), qPrintable(error));
        QCOMPARE(back.ToText(), form.ToText()); // every section, type and value, as written
    }

    void ParseErrorsNameTheLine()
    {
        const std::pair<const char*, const char*> cases[] = {
            {"Count = 1", "f:1: property outside a section"}, {"[A]", "f:1: a section header is [Name Type]"},
            {"[A B]\n\nText = \"abc", "f:3: bad string value"},
            {"[A B]\nText = \"a\\q\"", "f:2: bad string value"},
            {"[A B]\nText = \"a\" b", "f:2: bad string value"},
            {"[A B]\nCount = ten", "f:2: value of Count is neither a number, a quoted string nor true/false"},
            {"[A B]\nCount = 1\nCount = 2", "f:3: Count appears twice"},
            {"[A B]\n[A C]", "f:2: section A appears twice"},
            {"[A B]\nCount", "f:2: expected Key = Value"}};
        for (const auto& [text, error] : cases) {
            const qttest::Row row{text};
            FormFile form;
            QString message;
            QVERIFY(!FormFile::Parse(QString::fromUtf8(text), QStringLiteral("f"), form, message));
            QCOMPARE(message, QString::fromUtf8(error));
            QVERIFY(form.sections.empty());
        }
    }

    void ParsesHexCommentsAndBlankLines()
    {
        FormFile form;
        QString error;
        QVERIFY2(FormFile::Parse(QStringLiteral("# a window\n\n[S StatusBar]\n  ForeColor = 0x8000000D\r\nStyle=1\n"),
                                 QStringLiteral("f"), form, error), qPrintable(error));
        QCOMPARE(form.sections[0].bag.ReadInt(QStringLiteral("ForeColor"), 0), qint64{0x8000000D});
        QCOMPARE(form.sections[0].bag.ReadInt(QStringLiteral("Style"), 0), 1);
    }
};

TOLVANE_QTEST(PropertyBagTest)

} // namespace tolvane

#include "PropertyBagTest.moc"
