#include "app/CommonDialogs.h"
#include "qtsupport/QtTestMain.h"

#include <QDir>
#include <QPrinterInfo>
#include <QTemporaryDir>

#include <algorithm>

namespace tolvane {

using namespace Qt::StringLiterals;
using qttest::Join;

namespace {

// Answers every dialog from a script (the first group) and remembers what it was shown.
struct ScriptedDialogs : DialogBackend {
    QString folder;
    bool accept = true, hasDefaultPrinter = false;
    FileDialogRequest answer, request;
    QColor color;
    QFont font, shownFont;
    PrintSetupResult printResult = PrintSetupResult::Accepted;
    PrinterSettings printer, shownPrinter;
    int calls = 0;
    QWidget* owner = nullptr;
    QString title, start;
    std::array<QColor, 16> customColors;

    QString ChooseFolder(QWidget* o, const QString& t, const QString& s) override
    {
        ++calls, owner = o, title = t, start = s;
        return folder;
    }
    bool ChooseOpenFile(QWidget* o, FileDialogRequest& r) override { return ChooseFile(o, r); }
    bool ChooseSaveFile(QWidget* o, FileDialogRequest& r) override { return ChooseFile(o, r); }
    bool ChooseFile(QWidget* o, FileDialogRequest& r)
    {
        ++calls, owner = o, request = r;
        if (accept)
            r.fileName = answer.fileName, r.fileNames = answer.fileNames, r.filterIndex = answer.filterIndex;
        return accept;
    }
    bool ChooseColor(QWidget*, QColor& c, std::array<QColor, 16>& custom) override
    {
        ++calls, customColors = custom;
        std::reverse(custom.begin(), custom.end());
        if (accept)
            c = color;
        return accept;
    }
    bool ChooseFont(QWidget*, QFont& f, QColor& c) override
    {
        ++calls, shownFont = f;
        if (accept)
            f = font, c = color;
        return accept;
    }
    bool DefaultPrinter(PrinterSettings& settings) override
    {
        if (hasDefaultPrinter)
            settings = printer;
        return hasDefaultPrinter;
    }
    PrintSetupResult ChoosePrinter(QWidget*, PrinterSettings& settings) override
    {
        ++calls, shownPrinter = settings, settings = printer;
        return printResult;
    }
};

const QString WaveFilter = u"Wave files (*.wav)\0*.wav\0All files\0*.*\0\0"_s;

QString Chosen(const CommonDialogs& cd)
{
    return qttest::Join({cd.FileName(), cd.FileTitle(), cd.FilterIndex()});
}

} // namespace

class CommonDialogsTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<ScriptedDialogs> dialogs;

private slots:
    void init() { CommonDialogs::SetDefaultBackend(dialogs = std::make_shared<ScriptedDialogs>()); }
    void cleanup() { CommonDialogs::SetDefaultBackend(nullptr); }

    void InitialValuesWithoutAPrinter()
    {
        CommonDialogs cd;
        QCOMPARE(cd.CustomColors(), QByteArray(64, '\0'));
        QCOMPARE(cd.FontName(), u"MS Sans Serif"_s);
        QCOMPARE(Join({cd.Color(), cd.FilterIndex(), cd.FontSize(), cd.Copies(), cd.PaperSize()}), u"0|1|8|0|0"_s);
        QVERIFY(!cd.OwnerHwnd() && cd.PrinterName().isEmpty() && cd.FolderName().isEmpty());
    }

    void ShowBrowse()
    {
        const struct { const char* name; QString chosen; int result; } cases[] = {
            {"folder", QDir::tempPath(), 0}, {"cancelled", QString(), -1},
            {"after NUL", QChar(0) + QDir::tempPath(), -1},
            {"no volume", u"/nonexistent-tolvane/x"_s, -2}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            QTemporaryDir start;
            QWidget owner;
            CommonDialogs cd;
            cd.SetOwnerHwnd(&owner);
            cd.SetTitle(u"Choose a folder"_s);
            cd.SetFolderName(start.path());
            dialogs->folder = c.chosen;
            QCOMPARE(int{cd.ShowBrowse()}, c.result);
            QCOMPARE(dialogs->owner, &owner);
            QCOMPARE(dialogs->title, u"Choose a folder"_s);
            QCOMPARE(dialogs->start, start.path());
            QCOMPARE(cd.FolderName(), c.result == 0 ? QDir::toNativeSeparators(c.chosen) : start.path());
        }
        // The next one starts where the last one ended; a missing folder preselects nothing.
        QTemporaryDir first;
        CommonDialogs cd;
        cd.SetFolderName(u"/nonexistent-tolvane"_s);
        dialogs->folder = first.path();
        QCOMPARE(int{cd.ShowBrowse()}, 0);
        QVERIFY(dialogs->start.isEmpty());
        dialogs->folder.clear();
        QCOMPARE(int{cd.ShowBrowse()}, -1);
        QCOMPARE(dialogs->start, QDir::toNativeSeparators(first.path()));
        QCOMPARE(cd.FolderName(), QDir::toNativeSeparators(first.path()));
    }

    void ShowSaveFiltersAndFilterIndex()
    {
        const QStringList wave{"Wave files (*.wav) (*.wav)", "All files (*)"};
        const struct {
            const char* name;
            QString filter;
            int indexIn;
            QStringList nameFilters;
            int shownIndex;
        } cases[] = {{"wave", WaveFilter, 2, wave, 1},
                     {"index beyond", WaveFilter, 3, wave, 0}, {"index 0", WaveFilter, 0, wave, 0},
                     {"several patterns", u"Sound\0*.wav; *.aiff\0"_s, 1, {"Sound (*.wav *.aiff)"}, 0},
                     {"incomplete pair", u"Text\0*.txt\0Lonely"_s, 1, {"Text (*.txt)"}, 0},
                     {"ends early", u"Text\0*.txt\0\0Wave\0*.wav\0\0"_s, 1, {"Text (*.txt)"}, 0},
                     {"none", QString(), 1, {}, -1}};
        for (const auto& c : cases) {
            const qttest::Row row{c.name};
            CommonDialogs cd;
            cd.SetFilter(c.filter);
            cd.SetFilterIndex(static_cast<std::uint8_t>(c.indexIn));
            dialogs->answer.fileName = u"/music/disc.txt"_s;
            dialogs->answer.filterIndex = c.shownIndex;
            QVERIFY(cd.ShowSave());
            QCOMPARE(dialogs->request.nameFilters, c.nameFilters);
            QCOMPARE(dialogs->request.filterIndex, c.shownIndex);
            // The index the user ended with comes back 1-based; without filters it stays.
            QCOMPARE(int{cd.FilterIndex()}, c.shownIndex >= 0 ? c.shownIndex + 1 : c.indexIn);
        }
    }

    void ShowSaveReportsTheChoice()
    {
        QWidget owner;
        CommonDialogs cd;
        cd.SetOwnerHwnd(&owner);
        cd.SetTitle(u"Save As"_s);
        cd.SetFolderName(u"/music"_s);
        cd.SetFileName(u"Disc.txt"_s);
        cd.SetFileExtension(u"txt"_s);
        cd.SetFilter(WaveFilter);
        dialogs->answer.fileName = u"/music/rips/Track 01.wav"_s + QChar(0) + u"junk"_s;
        dialogs->answer.filterIndex = 1;
        QVERIFY(cd.ShowSave());
        QCOMPARE(dialogs->owner, &owner);
        const FileDialogRequest& r = dialogs->request;
        QCOMPARE(QStringList({r.title, r.folder, r.fileName, r.defaultSuffix}),
                 QStringList({"Save As", "/music", "Disc.txt", "txt"}));
        const QString chosen = QDir::toNativeSeparators(u"/music/rips/Track 01.wav"_s) + u"|Track 01.wav|2"_s;
        QCOMPARE(Chosen(cd), chosen);
        QCOMPARE(cd.FolderName(), u"/music"_s); // only ShowBrowse sets it
        // Cancelling, or answering without a name, changes nothing.
        for (const bool accept : {false, true}) {
            dialogs->accept = accept;
            dialogs->answer.fileName = QString();
            dialogs->answer.filterIndex = 0;
            QVERIFY(!cd.ShowSave());
            QCOMPARE(Chosen(cd), chosen);
        }
    }

    void ShowOpenWithSeveralFilesGivesTheirFolder()
    {
        CommonDialogs cd;
        cd.SetMultiSelect(true);
        dialogs->answer.fileName = u"/music/a.wav"_s;
        dialogs->answer.fileNames = QStringList{"/music/a.wav", "/music/b.wav"};
        QVERIFY(cd.ShowOpen());
        QVERIFY(dialogs->request.multiSelect);
        QCOMPARE(cd.FileName(), QDir::toNativeSeparators(u"/music"_s));
        QVERIFY(cd.FileTitle().isEmpty());
        QCOMPARE(cd.FileNames().size(), 2);
    }

    void ShowColorConvertsColorRefs()
    {
        CommonDialogs cd;
        cd.SetColor(0x00336699);
        cd.SetCustomColors(QByteArray("\x11\x22\x33", 3) + QByteArray(61, '\0')); // first: 0x00332211
        dialogs->color = QColor(0x12, 0x34, 0x56);
        QVERIFY(cd.ShowColor());
        QVERIFY(dialogs->customColors[0] == QColor(0x11, 0x22, 0x33) && dialogs->customColors[1] == Qt::black);
        QCOMPARE(cd.Color(), 0x00563412);
        // The scripted user reversed the custom colours: the first is now the last.
        const QByteArray back = cd.CustomColors();
        QCOMPARE(back, QByteArray(60, '\0') + QByteArray("\x11\x22\x33\x00", 4));
        dialogs->accept = false;
        QVERIFY(!cd.ShowColor());
        QCOMPARE(cd.Color(), 0x00563412);
        QCOMPARE(cd.CustomColors(), back);
    }

    void ShowFontRoundTripsTheFontProperties()
    {
        CommonDialogs cd;
        cd.SetFontName(u"Courier"_s);
        cd.SetFontSize(12);
        cd.SetFontItalic(true);
        QFont chosen(u"Serif"_s);
        chosen.setPointSizeF(10.6);
        chosen.setBold(true);
        chosen.setUnderline(true);
        dialogs->font = chosen;
        dialogs->color = QColor(0xFF, 0, 0);
        QVERIFY(cd.ShowFont());
        const QFont& shown = dialogs->shownFont;
        QCOMPARE(Join({shown.family(), shown.pointSize(), shown.italic(), shown.bold()}), u"Courier|12|true|false"_s);
        QCOMPARE(Join({cd.FontName(), cd.FontSize(), cd.FontBold(), cd.FontItalic(), cd.FontUnderline(),
                       cd.FontStrikeout()}),
                 u"Serif|11|true|false|true|false"_s);
        QCOMPARE(cd.Color(), 0x000000FF);
    }

    void ShowPrintResults()
    {
        dialogs->hasDefaultPrinter = true;
        dialogs->printer = PrinterSettings{"Office", "", "Laser 5", 1, 1, 1, 9, 7, 600};
        CommonDialogs cd;
        QCOMPARE(cd.PrinterName(), u"Office"_s);
        QCOMPARE(cd.PaperSize(), 9);
        dialogs->printer = PrinterSettings{"Lab", "/tmp/out.pdf", "PDF", 3, 2, 2, 1, 15, 300};
        dialogs->printResult = PrintSetupResult::Cancelled;
        QCOMPARE(int{cd.ShowPrint()}, -1);
        QCOMPARE(dialogs->shownPrinter.printerName, u"Office"_s);
        dialogs->printResult = PrintSetupResult::Failed;
        QCOMPARE(int{cd.ShowPrint()}, -2);
        QCOMPARE(cd.PrinterName(), u"Office"_s);
        QCOMPARE(cd.Copies(), std::int16_t{1});
        dialogs->printResult = PrintSetupResult::Accepted;
        QCOMPARE(int{cd.ShowPrint()}, 0);
        QCOMPARE(Join({cd.PrinterName(), cd.Port(), cd.PrinterType(), cd.Copies(), cd.Duplex(), cd.Orientation(),
                       cd.PaperSize(), cd.PaperSource(), cd.PrintQuality()}),
                 u"Lab|/tmp/out.pdf|PDF|3|2|2|1|15|300"_s);
    }

    void OwnBackendWinsOverTheDefault()
    {
        auto own = std::make_shared<ScriptedDialogs>();
        own->folder = QDir::tempPath();
        CommonDialogs cd;
        cd.SetBackend(own);
        QCOMPARE(int{cd.ShowBrowse()}, 0);
        QVERIFY(own->calls == 1 && dialogs->calls == 0);
        cd.SetBackend(nullptr);
        QCOMPARE(int{cd.ShowBrowse()}, -1);
        QCOMPARE(dialogs->calls, 1);
        // The Qt backend is the default again, and takes the system's default printer.
        CommonDialogs::SetDefaultBackend(nullptr);
        QVERIFY(dynamic_cast<QtDialogBackend*>(CommonDialogs::DefaultBackend().get()) != nullptr);
        QCOMPARE(CommonDialogs().PrinterName(), QPrinterInfo::defaultPrinterName());
    }
};

TOLVANE_QTEST(CommonDialogsTest)

} // namespace tolvane

#include "CommonDialogsTest.moc"
