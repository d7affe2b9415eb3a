#include "app/FormAbout.h"
#include "qtsupport/QtTestMain.h"

#include <QLabel>
#include <QTest>

namespace tolvane {

using app::FormAbout;

class FormAboutTest : public QObject {
    Q_OBJECT

private:
    QList<QUrl> opened;

private slots:
    void initTestCase()
    {
        FormAbout::SetUrlOpener([this](const QUrl& url) { return opened << url, true; });
    }
    void cleanupTestCase()
    {
        FormAbout::SetUrlOpener([](const QUrl&) { return false; });
    }

    void ShowsWhatItWasGiven_data()
    {
        QTest::addColumn<QString>("website");
        QTest::newRow("address") << QStringLiteral("https://brevantis.example/tolvane");
        QTest::newRow("none") << QString();
    }
    void ShowsWhatItWasGiven()
    {
        QFETCH(QString, website);
        opened.clear();
        FormAbout box;
        box.SetApplication(QStringLiteral("Tolvane 1.0"));
        box.SetCopyright(QStringLiteral("Copyright \u00A9 2026 Brevantis"));
        box.SetWebsite(website);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const auto text = [&box](const char* name) { return box.Control<QLabel>(QString::fromLatin1(name))->text(); };
        QCOMPARE(QStringList({text("LabelApplication"), text("LabelCopyright"), text("LabelWebsite")}),
                 QStringList({box.Application(), box.Copyright(), website}));
        // Only the text is clickable: the label is exactly as wide as it, and a click opens it.
        auto* label = box.Control<QLabel>(QStringLiteral("LabelWebsite"));
        QCOMPARE(label->width(), QFontMetrics(box.font()).horizontalAdvance(website));
        if (website.isEmpty()) {
            QCOMPARE(label->width(), 0);
            return;
        }
        QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(label->width() - 2, label->height() / 2));
        QCOMPARE(opened, QList<QUrl>{QUrl(website)});
    }
};

TOLVANE_QTEST(FormAboutTest)

} // namespace tolvane

#include "FormAboutTest.moc"
