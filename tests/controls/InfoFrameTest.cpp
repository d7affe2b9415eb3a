#include "controls/InfoFrame.h"
#include "qtsupport/QtTestMain.h"
#include "util/Colors.h"

#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
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
        // Show paints columns left to right, or rows top to bottom.
        for (const bool upDown : {false, true}) {
            QWidget owner;
            owner.resize(40, 30);
            QImage image(owner.size(), QImage::Format_RGB32);
            image.fill(Qt::black);
            Gradient gradient;
            gradient.SetOwnerHwnd(&owner);
            gradient.SetUpDown(upDown);
            QPainter painter(&image);
            gradient.Show(painter, 0, 0, 200, 255, 100, 0);
            painter.end();
            const std::vector<QRgb> stripes = Gradient::Stripes(upDown ? 30 : 40, 0, 0, 200, 255, 100, 0);
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    QCOMPARE(image.pixel(x, y), stripes[upDown ? y : x]);
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

    void KeepsItsHeightAndTheFormsWidth()
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
    }

    void ClicksComeFromEveryPart()
    {
        const struct {
            const char* part; // empty: the frame's own surface
            bool doubleClick, enabled;
        } cases[] = {{"", false, true},          {"ImageIcon", false, true}, {"LabelText", false, true},
                     {"", true, true},           {"LabelText", true, true},  {"LabelText", false, false}};
        for (const auto& c : cases) {
            const qttest::Row row{c.part};
            QWidget form;
            form.resize(300, 200);
            InfoFrame frame(&form);
            frame.SetText(QStringLiteral("Tolvane"));
            frame.SetEnabled(c.enabled);
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            QWidget* target = *c.part ? frame.findChild<QWidget*>(c.part) : static_cast<QWidget*>(&frame);
            QVERIFY(target);
            const QPoint at = *c.part ? QPoint(5, target->height() / 2) : QPoint(4, 4);
            QSignalSpy clicks(&frame, &InfoFrame::Click);
            QSignalSpy doubles(&frame, &InfoFrame::DblClick);
            if (c.doubleClick)
                QTest::mouseDClick(target, Qt::LeftButton, {}, at);
            else
                QTest::mouseClick(target, Qt::LeftButton, {}, at);
            // (a simulated double click on a widget is the double-click event alone)
            QCOMPARE(doubles.count(), c.enabled && c.doubleClick ? 1 : 0);
            QCOMPARE(clicks.count(), c.enabled && !c.doubleClick ? 1 : 0);
            QTest::mouseClick(target, Qt::RightButton, {}, at);
            QCOMPARE(clicks.count(), c.enabled && !c.doubleClick ? 1 : 0);
        }
    }

    void MenuButtonOpensTheSystemMenu()
    {
        QWidget form;
        form.resize(300, 200);
        InfoFrame frame(&form);
        auto* button = frame.findChild<QToolButton*>(QStringLiteral("MenuButton"));
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!button->isVisible());
        QMenu menu;
        menu.addAction(QStringLiteral("&About Tolvane..."));
        frame.SetSystemMenu(&menu);
        QVERIFY(button->isVisible());
        QVERIFY(button->geometry().right() < frame.width());
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY(menu.isVisible());
        QCOMPARE(menu.geometry().right(), button->mapToGlobal(QPoint(button->width(), 0)).x() - 1);
        menu.close();
        QContextMenuEvent context(QContextMenuEvent::Mouse, QPoint(100, 30), frame.mapToGlobal(QPoint(100, 30)));
        QCoreApplication::sendEvent(&frame, &context);
        QTRY_VERIFY(menu.isVisible());
        menu.close();
    }

    void PropertiesSurviveABag()
    {
        QWidget form;
        InfoFrame frame(&form);
        QPixmap pixmap(32, 32);
        pixmap.fill(QColor(10, 200, 30));
        frame.SetIcon(QIcon(pixmap));
        frame.SetText(QStringLiteral("Tolvane"));
        frame.SetBackColor(0x8000000F);
        frame.SetGradientColor(Colors::Rgb(1, 2, 3));
        frame.SetForeColor(Colors::Rgb(255, 255, 255));
        frame.SetEnabled(false);
        PropertyBag bag;
        frame.WriteProperties(bag);
        QCOMPARE(bag.Keys().size(), 6);

        InfoFrame loaded(&form);
        loaded.ReadProperties(bag);
        PropertyBag again;
        loaded.WriteProperties(again);
        QVERIFY(again == bag);
        QCOMPARE(loaded.Icon().pixmap(32, 32).toImage().pixel(5, 5), qRgb(10, 200, 30));
        QVERIFY(!loaded.isEnabled());
    }
};

TOLVANE_QTEST(InfoFrameTest)

} // namespace tolvane

#include "InfoFrameTest.moc"
