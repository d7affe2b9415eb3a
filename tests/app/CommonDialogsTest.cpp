#include "app/CommonDialogs.h"
#include "qtsupport/QtTestMain.h"

#include <QDir>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace tolvane {

namespace {

// Answers every dialog from a script and remembers what it was shown.
class ScriptedDialogs : public DialogBackend {
public:
    // What the user does.
    QString folder;
    bool accept = true;
    FileDialogRequest answer;
    QColor color;
    QFont font;
    PrintSetupResult printResult = PrintSetupResult::Accepted;
    PrinterSettings printer;
    bool hasDefaultPrinter = false;

    // What the dialogs were given.
    int calls = 0;
    QWidget* owner = nullptr;
    QString title;
    QString start;
    FileDialogRequest request;
    std::array<QColor, 16> customColors;
    QFont shownFont;
    PrinterSettings shownPrinter;

    QString ChooseFolder(QWidget* owner_, const QString& title_, const QString& start_) override
    {
        ++calls;
        owner = owner_;
        title = title_;
        start = start_;
        return folder;
    }
    bool ChooseOpenFile(QWidget* owner_, FileDialogRequest& request_) override
    {
        return ChooseFile(owner_, request_);
    }
    bool ChooseSaveFile(QWidget* owner_, FileDialogRequest& request_) override
    {
        return ChooseFile(owner_, request_);
    }
    bool ChooseColor(QWidget*, QColor& color_, std::array<QColor, 16>& custom) override
    {
        ++calls;
        customColors = custom;
        std::reverse(custom.begin(), custom.end());
        if (accept) {
            color_ = color;
        }
        return accept;
    }
    bool ChooseFont(QWidget*, QFont& font_, QColor& color_) override
    {
        ++calls;
        shownFont = font_;
        if (accept) {
            font_ = font;
            color_ = color;
        }
        return accept;
    }
    bool DefaultPrinter(PrinterSettings& settings) override
    {
        if (hasDefaultPrinter) {
            settings = printer;
        }
        return hasDefaultPrinter;
    }
    PrintSetupResult ChoosePrinter(QWidget*, PrinterSettings& settings) override
    {
        ++calls;
        shownPrinter = settings;
        settings = printer;
        return printResult;
    }

private:
    bool ChooseFile(QWidget* owner_, FileDialogRequest& request_)
    {
        ++calls;
        owner = owner_;
        request = request_;
        if (accept) {
            request_.fileName = answer.fileName;
            request_.fileNames = answer.fileNames;
            request_.filterIndex = answer.filterIndex;
        }
        return accept;
    }
};

const QString WaveFilter = QStringLiteral("Wave files (*.wav)\0*.wav\0All files\0*.*\0\0");

} // namespace

class CommonDialogsTest : public QObject {
    Q_OBJECT

private:
    std::shared_ptr<ScriptedDialogs> dialogs;

private slots:
    void init()
    {
        dialogs = std::make_shared<ScriptedDialogs>();
        CommonDialogs::SetDefaultBackend(dialogs);
    }
    void cleanup() { CommonDialogs::SetDefaultBackend(nullptr); }

    void InitialValuesWithoutAPrinter()
    {
        CommonDialogs cd;
        QCOMPARE(cd.Color(), 0);
        QCOMPARE(cd.CustomColors(), QByteArray(64, '\0'));
        QCOMPARE(cd.FilterIndex(), std::uint8_t{1});
        QCOMPARE(cd.FontName(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(cd.FontSize(), 8);
        QVERIFY(cd.OwnerHwnd() == nullptr);
        QCOMPARE(cd.Copies(), std::int16_t{0});
        QCOMPARE(cd.PaperSize(), 0);
        QVERIFY(cd.PrinterName().isEmpty());
        QVERIFY(cd.FolderName().isEmpty());
    }

    void ShowBrowse_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<int>("result");
        QTest::newRow("folder") << QDir::tempPath() << 0;
        QTest::newRow("cancelled") << QString() << -1;
        QTest::newRow("after NUL") << QString(QChar(0)) + QDir::tempPath() << -1;
        QTest::newRow("no volume") << QStringLiteral("/nonexistent-tolvane/x") << -2;
    }
    void ShowBrowse()
    {
        QFETCH(QString, chosen);
        QFETCH(int, result);
        QTemporaryDir start;
        QWidget owner;
        CommonDialogs cd;
        cd.SetOwnerHwnd(&owner);
        cd.SetTitle(QStringLiteral("Choose a folder"));
        cd.SetFolderName(start.path());
        dialogs->folder = chosen;

        QCOMPARE(int{cd.ShowBrowse()}, result);
        QCOMPARE(dialogs->owner, &owner);
        QCOMPARE(dialogs->title, QStringLiteral("Choose a folder"));
        QCOMPARE(dialogs->start, start.path());
        QCOMPARE(cd.FolderName(), result == 0 ? QDir::toNativeSeparators(chosen) : start.path());
    }

    void ShowBrowseStartsWhereTheLastOneEnded()
    {
        QTemporaryDir first;
        CommonDialogs cd;
        cd.SetFolderName(QStringLiteral("/nonexistent-tolvane"));
        dialogs->folder = first.path();
        QCOMPARE(int{cd.ShowBrowse()}, 0);
        QVERIFY(dialogs->start.isEmpty()); // a missing folder preselects nothing

        dialogs->folder.clear();
        QCOMPARE(int{cd.ShowBrowse()}, -1);
        QCOMPARE(dialogs->start, QDir::toNativeSeparators(first.path()));
        QCOMPARE(cd.FolderName(), QDir::toNativeSeparators(first.path()));
    }

    void ShowSaveFiltersAndFilterIndex_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<int>("indexIn");
        QTest::addColumn<QStringList>("nameFilters");
        QTest::addColumn<int>("shownIndex");
        QTest::newRow("wave") << WaveFilter << 2 << QStringList{"Wave files (*.wav) (*.wav)", "All files (*)"}
                              << 1;
        QTest::newRow("index beyond")
            << WaveFilter << 3 << QStringList{"Wave files (*.wav) (*.wav)", "All files (*)"} << 0;
        QTest::newRow("index 0") << WaveFilter << 0
                                 << QStringList{"Wave files (*.wav) (*.wav)", "All files (*)"} << 0;
        QTest::newRow("several patterns")
            << QStringLiteral("Sound\0*.wav; *.aiff\0") << 1 << QStringList{"Sound (*.wav *.aiff)"} << 0;
        QTest::newRow("incomplete pair")
            << QStringLiteral("Text\0*.txt\0Lonely") << 1 << QStringList{"Text (*.txt)"} << 0;
        QTest::newRow("ends early") << QStringLiteral("Text\0*.txt\0\0Wave\0*.wav\0\0") << 1
                                    << QStringList{"Text (*.txt)"} << 0;
        QTest::newRow("none") << QString() << 1 << QStringList{} << -1;
    }
    void ShowSaveFiltersAndFilterIndex()
    {
        QFETCH(QString, filter);
        QFETCH(int, indexIn);
        QFETCH(QStringList, nameFilters);
        QFETCH(int, shownIndex);
        CommonDialogs cd;
        cd.SetFilter(filter);
        cd.SetFilterIndex(static_cast<std::uint8_t>(indexIn));
        dialogs->answer.fileName = QStringLiteral("/music/disc.txt");
        dialogs->answer.filterIndex = shownIndex;
        QVERIFY(cd.ShowSave());
        QCOMPARE(dialogs->request.nameFilters, nameFilters);
        QCOMPARE(dialogs->request.filterIndex, shownIndex);
        // The index the user ended with comes back 1-based; without filters it stays.
        QCOMPARE(int{cd.FilterIndex()}, shownIndex >= 0 ? shownIndex + 1 : indexIn);
    }

    void ShowSaveReportsTheChoice()
    {
        QWidget owner;
        CommonDialogs cd;
        cd.SetOwnerHwnd(&owner);
        cd.SetTitle(QStringLiteral("Save As"));
        cd.SetFolderName(QStringLiteral("/music"));
        cd.SetFileName(QStringLiteral("Disc.txt"));
        cd.SetFileExtension(QStringLiteral("txt"));
        cd.SetFilter(WaveFilter);
        dialogs->answer.fileName =
            QStringLiteral("/music/rips/Track 01.wav") + QChar(0) + QStringLiteral("junk");
        dialogs->answer.filterIndex = 1;

        QVERIFY(cd.ShowSave());
        QCOMPARE(dialogs->owner, &owner);
        QCOMPARE(dialogs->request.title, QStringLiteral("Save As"));
        QCOMPARE(dialogs->request.folder, QStringLiteral("/music"));
        QCOMPARE(dialogs->request.fileName, QStringLiteral("Disc.txt"));
        QCOMPARE(dialogs->request.defaultSuffix, QStringLiteral("txt"));
        QCOMPARE(cd.FileName(), QDir::toNativeSeparators(QStringLiteral("/music/rips/Track 01.wav")));
        QCOMPARE(cd.FileTitle(), QStringLiteral("Track 01.wav"));
        QCOMPARE(int{cd.FilterIndex()}, 2);
        QCOMPARE(cd.FolderName(), QStringLiteral("/music")); // only ShowBrowse sets it

        // Cancelling, or answering without a name, changes nothing.
        for (const bool accept : {false, true}) {
            dialogs->accept = accept;
            dialogs->answer.fileName = QString();
            dialogs->answer.filterIndex = 0;
            QVERIFY(!cd.ShowSave());
            QCOMPARE(cd.FileName(), QDir::toNativeSeparators(QStringLiteral("/music/rips/Track 01.wav")));
            QCOMPARE(cd.FileTitle(), QStringLiteral("Track 01.wav"));
            QCOMPARE(int{cd.FilterIndex()}, 2);
        }
    }

    void ShowOpenWithSeveralFilesGivesTheirFolder()
    {
        CommonDialogs cd;
        cd.SetMultiSelect(true);
        dialogs->answer.fileName = QStringLiteral("/music/a.wav");
        dialogs->answer.fileNames = QStringList{"/music/a.wav", "/music/b.wav"};
        QVERIFY(cd.ShowOpen());
        QVERIFY(dialogs->request.multiSelect);
        QCOMPARE(cd.FileName(), QDir::toNativeSeparators(QStringLiteral("/music")));
        QVERIFY(cd.FileTitle().isEmpty());
        QCOMPARE(cd.FileNames().size(), 2);
    }

    void ShowColorConvertsColorRefs()
    {
        CommonDialogs cd;
        cd.SetColor(0x00336699);
        QByteArray custom(64, '\0');
        custom[0] = '\x11'; // first custom colour 0x00332211
        custom[1] = '\x22';
        custom[2] = '\x33';
        cd.SetCustomColors(custom);
        dialogs->color = QColor(0x12, 0x34, 0x56);

        QVERIFY(cd.ShowColor());
        QCOMPARE(dialogs->customColors[0], QColor(0x11, 0x22, 0x33));
        QCOMPARE(dialogs->customColors[1], QColor(0, 0, 0));
        QCOMPARE(cd.Color(), 0x00563412);
        // The scripted user reversed the custom colours: the first is now the last.
        const QByteArray back = cd.CustomColors();
        QCOMPARE(back.size(), 64);
        QCOMPARE(back.mid(60), QByteArray("\x11\x22\x33\x00", 4));
        QCOMPARE(back.left(60), QByteArray(60, '\0'));

        dialogs->accept = false;
        QVERIFY(!cd.ShowColor());
        QCOMPARE(cd.Color(), 0x00563412);
        QCOMPARE(cd.CustomColors(), back);
    }

    void ShowFontRoundTripsTheFontProperties()
    {
        CommonDialogs cd;
        cd.SetFontName(QStringLiteral("Courier"));
        cd.SetFontSize(12);
        cd.SetFontItalic(true);
        QFont chosen(QStringLiteral("Serif"));
        chosen.setPointSizeF(10.6);
        chosen.setBold(true);
        chosen.setUnderline(true);
        dialogs->font = chosen;
        dialogs->color = QColor(0xFF, 0, 0);

        QVERIFY(cd.ShowFont());
        QCOMPARE(dialogs->shownFont.family(), QStringLiteral("Courier"));
        QCOMPARE(dialogs->shownFont.pointSize(), 12);
        QVERIFY(dialogs->shownFont.italic());
        QVERIFY(!dialogs->shownFont.bold());
        QCOMPARE(cd.FontName(), QStringLiteral("Serif"));
        QCOMPARE(cd.FontSize(), 11);
        QVERIFY(cd.FontBold());
        QVERIFY(!cd.FontItalic());
        QVERIFY(cd.FontUnderline());
        QVERIFY(!cd.FontStrikeout());
        QCOMPARE(cd.Color(), 0x000000FF);
    }

    void ShowPrintResults()
    {
        dialogs->hasDefaultPrinter = true;
        dialogs->printer = PrinterSettings{"Office", "", "Laser 5", 1, 1, 1, 9, 7, 600};
        CommonDialogs cd;
        QCOMPARE(cd.PrinterName(), QStringLiteral("Office"));
        QCOMPARE(cd.PaperSize(), 9);

        dialogs->printer = PrinterSettings{"Lab", "/tmp/out.pdf", "PDF", 3, 2, 2, 1, 15, 300};
        dialogs->printResult = PrintSetupResult::Cancelled;
        QCOMPARE(int{cd.ShowPrint()}, -1);
        QCOMPARE(dialogs->shownPrinter.printerName, QStringLiteral("Office"));
        dialogs->printResult = PrintSetupResult::Failed;
        QCOMPARE(int{cd.ShowPrint()}, -2);
        QCOMPARE(cd.PrinterName(), QStringLiteral("Office"));
        QCOMPARE(cd.Copies(), std::int16_t{1});

        dialogs->printResult = PrintSetupResult::Accepted;
        QCOMPARE(int{cd.ShowPrint()}, 0);
        QCOMPARE(cd.PrinterName(), QStringLiteral("Lab"));
        QCOMPARE(cd.Port(), QStringLiteral("/tmp/out.pdf"));
        QCOMPARE(cd.PrinterType(), QStringLiteral("PDF"));
        QCOMPARE(cd.Copies(), std::int16_t{3});
        QCOMPARE(cd.Duplex(), 2);
        QCOMPARE(cd.Orientation(), 2);
        QCOMPARE(cd.PaperSize(), 1);
        QCOMPARE(cd.PaperSource(), 15);
        QCOMPARE(cd.PrintQuality(), 300);
    }

    void OwnBackendWinsOverTheDefault()
    {
        auto own = std::make_shared<ScriptedDialogs>();
        own->folder = QDir::tempPath();
        CommonDialogs cd;
        cd.SetBackend(own);
        QCOMPARE(int{cd.ShowBrowse()}, 0);
        QCOMPARE(own->calls, 1);
        QCOMPARE(dialogs->calls, 0);

        cd.SetBackend(nullptr);
        QCOMPARE(int{cd.ShowBrowse()}, -1);
        QCOMPARE(dialogs->calls, 1);

        CommonDialogs::SetDefaultBackend(nullptr);
        QVERIFY(dynamic_cast<QtDialogBackend*>(CommonDialogs::DefaultBackend().get()) != nullptr);
    }

    void QtBackendTakesTheSystemDefaultPrinter()
    {
        CommonDialogs::SetDefaultBackend(nullptr);
        const CommonDialogs cd;
        QCOMPARE(cd.PrinterName(), QPrinterInfo::defaultPrinterName());
    }
};

TOLVANE_QTEST(CommonDialogsTest)

} // namespace tolvane

#include "CommonDialogsTest.moc"
