#include "app/CommonDialogs.h"
#include "WindowTestRig.h"
#include "qtsupport/QtTestMain.h"

#include <QDir>
#include <QTemporaryDir>

namespace tolvane {

using namespace Qt::StringLiterals;
using apptest::ScriptedDialogs;

namespace {

const QString WaveFilter = u"Wave files (*.wav)\0*.wav\0All files\0*.*\0\0"_s;

QString Chosen(const CommonDialogs& cd)
{
    return qttest::Join({cd.FileName(), cd.FileTitle(), cd.FilterIndex()});
}

} // namespace

class CommonDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void ShowBrowse()
    {
        ScriptedDialogs dialogs;
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
            dialogs.folder = c.chosen;
            QCOMPARE(int{cd.ShowBrowse()}, c.result);
            QCOMPARE(dialogs.owner, &owner);
            QCOMPARE(dialogs.title, u"Choose a folder"_s);
            QCOMPARE(dialogs.start, start.path());
            QCOMPARE(cd.FolderName(), c.result == 0 ? QDir::toNativeSeparators(c.chosen) : start.path());
        }
        // The next one starts where the last one ended; a missing folder preselects nothing.
        QTemporaryDir first;
        CommonDialogs cd;
        cd.SetFolderName(u"/nonexistent-tolvane"_s);
        dialogs.folder = first.path();
        QCOMPARE(int{cd.ShowBrowse()}, 0);
        QVERIFY(dialogs.start.isEmpty());
        dialogs.folder.clear();
        QCOMPARE(int{cd.ShowBrowse()}, -1);
        QCOMPARE(dialogs.start, QDir::toNativeSeparators(first.path()));
        QCOMPARE(cd.FolderName(), QDir::toNativeSeparators(first.path()));
    }

    void ShowSaveFiltersAndFilterIndex()
    {
        ScriptedDialogs dialogs;
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
            dialogs.answer.fileName = u"/music/disc.txt"_s;
            dialogs.answer.filterIndex = c.shownIndex;
            QVERIFY(cd.ShowSave());
            QCOMPARE(dialogs.request.nameFilters, c.nameFilters);
            QCOMPARE(dialogs.request.filterIndex, c.shownIndex);
            // The index the user ended with comes back 1-based; without filters it stays.
            QCOMPARE(int{cd.FilterIndex()}, c.shownIndex >= 0 ? c.shownIndex + 1 : c.indexIn);
        }
    }

    void ShowSaveReportsTheChoice()
    {
        ScriptedDialogs dialogs;
        QWidget owner;
        CommonDialogs cd;
        cd.SetOwnerHwnd(&owner);
        cd.SetTitle(u"Save As"_s);
        cd.SetFolderName(u"/music"_s);
        cd.SetFileName(u"Disc.txt"_s);
        cd.SetFileExtension(u"txt"_s);
        cd.SetFilter(WaveFilter);
        dialogs.answer.fileName = u"/music/rips/Track 01.wav"_s + QChar(0) + u"junk"_s;
        dialogs.answer.filterIndex = 1;
        QVERIFY(cd.ShowSave());
        QCOMPARE(dialogs.owner, &owner);
        const FileDialogRequest& r = dialogs.request;
        QCOMPARE(QStringList({r.title, r.folder, r.fileName, r.defaultSuffix}),
                 QStringList({"Save As", "/music", "Disc.txt", "txt"}));
        const QString chosen = QDir::toNativeSeparators(u"/music/rips/Track 01.wav"_s) + u"|Track 01.wav|2"_s;
        QCOMPARE(Chosen(cd), chosen);
        QCOMPARE(cd.FolderName(), u"/music"_s); // only ShowBrowse sets it
        // Cancelling, or answering without a name, changes nothing.
        for (const bool accept : {false, true}) {
            dialogs.accept = accept;
            dialogs.answer.fileName = QString();
            dialogs.answer.filterIndex = 0;
            QVERIFY(!cd.ShowSave());
            QCOMPARE(Chosen(cd), chosen);
        }
    }
};

TOLVANE_QTEST(CommonDialogsTest)

} // namespace tolvane

#include "CommonDialogsTest.moc"
