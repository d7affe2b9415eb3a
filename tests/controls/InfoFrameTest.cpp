#include "controls/InfoFrame.h"
#include "qtsupport/QtTestMain.h"
#include "util/Colors.h"

#include <QLabel>
#include <QMenu>
#include <QToolButton>

namespace tolvane {

class InfoFrameTest : public QObject {
    Q_OBJECT

private slots:
    void StripeColours()
    {
        const struct { const char* name; int extent, start, end, pos, red; } cases[] = {
            {"127.5 rounds to 128", 256, 0, 255, 128, 128}, {"first stripe is the start", 256, 0, 255, 0, 0},
            {"last stripe is the end", 256, 0, 255, 256, 255}, {"one pixel wide", 1, 40, 200, 0, 40},
            {"falling", 256, 255, 0, 64, 191},                 {"2.5 rounds to even 2", 4, 0, 5, 2, 2},
            {"3.5 rounds to even 4", 4, 2, 5, 2, 4}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            const std::vector<QRgb> stripes = Gradient::Stripes(c.extent, c.start, 10, 20, c.end, 10, 20);
            QCOMPARE(stripes.size(), std::size_t(c.extent + 1));
            QCOMPARE(stripes[c.pos], qRgb(c.red, 10, 20));
        }
    }

    void FramePaintsTheGradientOnlyBetweenDifferentColours()
    {
        QWidget form;
        form.resize(256, 100);
        InfoFrame frame(&form);
        frame.SetText(QString());
        frame.SetBackColor(Colors::Rgb(0, 10, 20));
        frame.SetGradientColor(Colors::Rgb(255, 10, 20));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QImage image = frame.grab().toImage();
        // Then the sunken border: grey at the top and left, white at the bottom.
        QCOMPARE(QList<QRgb>({image.pixel(128, 30), image.pixel(0, 30), image.pixel(100, 8), image.pixel(8, 30),
                              image.pixel(100, 55)}),
                 QList<QRgb>({qRgb(128, 10, 20), qRgb(0, 10, 20), qRgb(128, 128, 128), qRgb(128, 128, 128),
                              qRgb(255, 255, 255)}));

        frame.SetGradientColor(frame.BackColor());
        image = frame.grab().toImage();
        QVERIFY(image.pixel(128, 30) == qRgb(0, 10, 20) && image.pixel(250, 30) == qRgb(0, 10, 20));
    }

    void KeepsItsHeightAndTheFormsWidthAndOpensTheMenu()
    {
        QWidget form;
        form.resize(300, 200);
        InfoFrame frame(&form);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(frame.size(), QSize(300, InfoFrame::FrameHeight));
        frame.resize(120, 200);
        QCOMPARE(frame.size(), QSize(300, InfoFrame::FrameHeight));
        form.resize(480, 240);
        QTRY_COMPARE(frame.size(), QSize(480, InfoFrame::FrameHeight));
        QCOMPARE(frame.findChild<QLabel*>(QStringLiteral("LabelText"))->width(), 480 - 71);

        // The menu button shows once there is a menu; it and a right click open the menu.
        auto* button = frame.findChild<QToolButton*>(QStringLiteral("MenuButton"));
        QVERIFY(!button->isVisible());
        QMenu menu;
        menu.addAction(QStringLiteral("&About Tolvane..."));
        frame.SetSystemMenu(&menu);
        QVERIFY(button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(menu.isVisible());
        QCOMPARE(menu.geometry().right(), button->mapToGlobal(QPoint(button->width(), 0)).x() - 1);
        menu.close();
        QContextMenuEvent context(QContextMenuEvent::Mouse, QPoint(100, 30), frame.mapToGlobal(QPoint(100, 30)));
        QCoreApplication::sendEvent(&frame, &context);
        QTRY_VERIFY(menu.isVisible());
        menu.close();
    }
};

TOLVANE_QTEST(InfoFrameTest)

} // namespace tolvane

#include "InfoFrameTest.moc"
