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

    void ShowsWhatItWasGivenAndOpensTheWebsite()
    {
        for (const QString& website : {QStringLiteral("https://brevantis.example/tolvane"), QString()}) {
            const qttest::Row row{website.isEmpty() ? "no website" : "website"};
            opened.clear();
            FormAbout box;
            box.SetApplication(QStringLiteral("Tolvane 1.0"));
            box.SetCopyright(QStringLiteral("Copyright \u00A9 2026 Brevantis"));
            box.SetWebsite(website);
            box.show();
            QVERIFY(QTest::qWaitForWindowExposed(&box));
            const auto label = [&box](const char* name) { return box.Control<QLabel>(QString::fromLatin1(name)); };
            QCOMPARE(QStringList({label("LabelApplication")->text(), label("LabelCopyright")->text(),
                                  label("LabelWebsite")->text()}),
                     QStringList({box.Application(), box.Copyright(), website}));
            // Only the text is clickable: the label is exactly as wide as it, and a click opens it.
            QLabel* link = label("LabelWebsite");
            QCOMPARE(link->width(), QFontMetrics(box.font()).horizontalAdvance(website));
            if (website.isEmpty())
                continue; // nothing to click
            QTest::mouseClick(link, Qt::LeftButton, {}, QPoint(link->width() - 2, link->height() / 2));
            QCOMPARE(opened, QList<QUrl>{QUrl(website)});
        }
    }
};

TOLVANE_QTEST(FormAboutTest)

} // namespace tolvane

#include "FormAboutTest.moc"
