// tolvane-screenshots OUTDIR: builds a gallery window with each control of the library in a
// typical state and saves it, and each control alone, as PNG files in OUTDIR. It draws on Qt's
// offscreen platform unless QT_QPA_PLATFORM says otherwise, in the Fusion style, so the pictures
// are the same on every machine. The program's windows follow (WindowShots.cpp).
#include "WindowShots.h"
#include "controls/InfoFrame.h"
#include "controls/ListView.h"
#include "controls/ProgressBar.h"
#include "controls/StatusBar.h"
#include "controls/SystemColors.h"
#include "controls/SystemMenu.h"
#include "util/Colors.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QElapsedTimer>
#include <QWindow>
#include <QToolButton>

#include <cstdio>

namespace {

using namespace tolvane;

constexpr int GalleryWidth = 720;
constexpr int GalleryHeight = 540;

// The program's icon stand-in: a disc.
QIcon DiscIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(200, 205, 215));
    painter.setPen(QColor(90, 95, 110));
    painter.drawEllipse(2, 2, 28, 28);
    painter.setBrush(QColor(150, 190, 230));
    painter.drawEllipse(9, 9, 14, 14);
    painter.setBrush(Qt::white);
    painter.drawEllipse(13, 13, 6, 6);
    return QIcon(pixmap);
}

void FillTrackList(ListView& list)
{
    const QStringList headings = {"Track", "Mode", "LBA", "MSF", "Raw Size", "Title"};
    const int widths[] = {48, 56, 60, 64, 96, 220};
    list.SetPreventUpdate(true);
    list.SetCount(static_cast<int>(headings.size()));
    for (int i = 0; i < list.Count(); ++i) {
        list.Column(i)->SetText(headings[i]);
        list.Column(i)->SetActualWidth(widths[i]);
    }
    list.Column(2)->SetAlignment(Column::lvwRight);
    list.Column(4)->SetAlignment(Column::lvwRight);
    list.SetPreventUpdate(false);
    list.UpdateColumns(-1);
    list.SetFullRowSelect(true);
    list.SetMultiSelect(true);
    list.SetHideSelection(false);
    list.SetLabelEdit(ListView::lvwManual);

    struct Row {
        const char* mode;
        int lba;
        const char* msf;
        const char* title;
    };
    const Row rows[] = {
        {"Audio", 0, "00:02:00", "Harbour Lights"},     {"Audio", 17802, "03:59:27", "Northbound"},
        {"Audio", 33717, "07:31:42", "Paper Lanterns"}, {"Audio", 52140, "11:37:15", "Low Tide"},
        {"Mode 1", 71233, "15:51:58", ""},
    };
    ListItems* items = list.ListItems();
    for (int i = 0; i < static_cast<int>(std::size(rows)); ++i) {
        const int n = items->Add(QString::number(i + 1));
        ListItem* item = items->Item(n);
        const Row& row = rows[i];
        item->SetText(1, QString::fromLatin1(row.mode));
        item->SetText(2, QString::number(row.lba));
        item->SetText(3, QString::fromLatin1(row.msf));
        item->SetText(4, QString::number(qint64{row.lba + 17802} * 2352));
        item->SetText(5, QString::fromLatin1(row.title));
    }
    items->Item(1)->SetSelected(true);
    // The data track stands out.
    items->Item(4)->SetBackColor(Colors::Rgb(255, 244, 206));
    items->Item(4)->SetForeColor(Colors::Rgb(150, 60, 0));
}

void FillStatusBar(StatusBar& bar)
{
    bar.SetCount(3);
    bar.Panel(0)->SetAutoSize(sbrContents);
    bar.Panel(0)->SetText(QStringLiteral("Letter: D: "));
    bar.Panel(1)->SetAutoSize(sbrContents);
    bar.Panel(1)->SetText(QStringLiteral("Interface: SPTI "));
    bar.Panel(2)->SetAutoSize(sbrSpring);
    bar.Panel(2)->SetText(QStringLiteral("5 tracks / 1 selected"));
}

QLabel* Caption(QWidget* parent, const QString& text, int x, int y)
{
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// Lets the window system show `widget`; false when it does not within five seconds.
bool WaitExposed(QWidget* widget)
{
    QElapsedTimer timer;
    timer.start();
    while (!(widget->windowHandle() && widget->windowHandle()->isExposed())) {
        if (timer.elapsed() > 5000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    QApplication::processEvents();
    return true;
}

bool Save(const QPixmap& pixmap, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    if (!pixmap.save(path, "PNG")) {
        std::fprintf(stderr, "tolvane-screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tolvane-screenshots OUTDIR\n");
        return 2;
    }
    QApplication::setStyle(QStringLiteral("Fusion"));
    UseSystemColors(QApplication::palette());
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "tolvane-screenshots: cannot create %s\n", argv[1]);
        return 1;
    }

    // The gallery is a form like the main window: the frame on top, the status bar docked below.
    QWidget form;
    form.setWindowTitle(QStringLiteral("Tolvane controls"));
    form.setProperty("BorderStyle", 2);
    form.resize(GalleryWidth, GalleryHeight);

    auto* frame = new InfoFrame(&form);
    frame->SetIcon(DiscIcon());
    frame->SetText(QStringLiteral("Tolvane"));
    frame->SetForeColor(Colors::Rgb(255, 255, 255));
    frame->SetGradientColor(Colors::Rgb(214, 222, 235));

    auto* list = new ListView(&form);
    list->setGeometry(8, InfoFrame::FrameHeight + 28, GalleryWidth - 16, 170);
    Caption(&form, QStringLiteral("ListView"), 8, InfoFrame::FrameHeight + 8);
    FillTrackList(*list);

    const int barsTop = InfoFrame::FrameHeight + 216;
    Caption(&form, QStringLiteral("ProgressBar, Scrolling 0 (segmented)"), 8, barsTop);
    auto* segmented = new ProgressBar(&form);
    segmented->setGeometry(8, barsTop + 20, 340, 22);
    segmented->SetValue(40);
    Caption(&form, QStringLiteral("ProgressBar, Scrolling 1 (smooth), Appearance 1"), 364, barsTop);
    auto* smooth = new ProgressBar(&form);
    smooth->setGeometry(364, barsTop + 20, 340, 22);
    smooth->SetScrolling(1);
    smooth->SetAppearance(1);
    smooth->SetValue(40);

    const int verticalTop = barsTop + 56;
    Caption(&form, QStringLiteral("Orientation 1, BorderStyle 1"), 8, verticalTop);
    auto* vertical = new ProgressBar(&form);
    vertical->setGeometry(8, verticalTop + 20, 22, 90);
    vertical->SetOrientation(1);
    vertical->SetBorderStyle(1);
    vertical->SetValue(40);

    auto* status = new StatusBar(&form);
    FillStatusBar(*status);

    auto* systemMenu = new SystemMenu(&form);
    systemMenu->SetCount(2);
    systemMenu->SystemMenuItem(0)->SetStyle(smSeparator);
    systemMenu->SystemMenuItem(1)->SetText(QStringLiteral("&About Tolvane..."));
    frame->SetSystemMenu(systemMenu->Menu());

    form.show();
    if (!WaitExposed(&form)) {
        std::fprintf(stderr, "tolvane-screenshots: the gallery window did not show\n");
        return 1;
    }

    // The system menu as the frame's menu button opens it.
    QMenu* menu = systemMenu->Menu();
    frame->findChild<QToolButton*>(QStringLiteral("MenuButton"))->click();
    if (!WaitExposed(menu)) {
        std::fprintf(stderr, "tolvane-screenshots: the system menu did not show\n");
        return 1;
    }

    bool ok = true;
    ok &= Save(frame->grab(), out, QStringLiteral("infoframe.png"));
    ok &= Save(list->grab(), out, QStringLiteral("listview.png"));
    ok &= Save(status->grab(), out, QStringLiteral("statusbar.png"));
    ok &= Save(segmented->grab(), out, QStringLiteral("progressbar-segmented.png"));
    ok &= Save(smooth->grab(), out, QStringLiteral("progressbar-smooth.png"));
    const QPixmap menuPicture = menu->grab();
    ok &= Save(menuPicture, out, QStringLiteral("systemmenu.png"));

    // The menu is a window of its own: put it over the form where it opened.
    QPixmap gallery = form.grab();
    {
        QPainter painter(&gallery);
        painter.drawPixmap(form.mapFromGlobal(menu->pos()), menuPicture);
    }
    ok &= Save(gallery, out, QStringLiteral("gallery.png"));
    menu->close();
    form.hide();

    ok &= screenshots::SaveWindowShots(out);
    return ok ? 0 : 1;
}
