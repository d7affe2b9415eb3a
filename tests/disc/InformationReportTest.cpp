// The information rows and the text report, from discs read through the virtual drive.
#include "disc/DiscFacts.h"

#include "device/platform/ScsiOpcodes.h"
#include "disc/InformationReport.h"
#include "emulator/DemoDiscs.h"

#include <locale>

namespace tolvane {
namespace {

// "label=value|..." of every row of a disc in the drive.
std::string RowsOf(test::VirtualRig& rig)
{
    OpticalDisk& d = *rig.disc;
    d.SetLocale(std::locale::classic());
    const bool present = d.Check();
    if (present) {
        EXPECT_TRUE(d.Read()) << d.ErrorMessage();
    }
    std::string text;
    for (const InformationRow& r : InformationRows(present, *d.CD(), *d.CDText(), *d.DVD())) {
        text += r.label + "=" + r.value + "|";
    }
    return text;
}

TEST(InformationRows, FollowTheKindOfDisc)
{
    auto blank = std::make_shared<emulator::Disc>();
    blank->media = emulator::MediaKind::BlankCdRw;
    blank->status = emulator::DiscStatus::Empty;
    // A DVD whose table of contents cannot be read has no CDDB id and no sessions: it stops
    // after row 9, layers or not, and shows an empty session count.
    test::VirtualRig tocless(emulator::MakeDemoDvd());
    tocless.drive->FailCommand(scsi::op::ReadToc, -1);
    const std::string Common = "Disc Status=Complete|Disc Format=CD-DA/CD-ROM|Disc Type=|Erasable=No|Sessions=1|";
    const std::string Dvd = "Disc Status=Complete|Disc Format=CD-DA/CD-ROM|Disc Type=DVD-ROM|Erasable=No|";
    const std::string DvdSize = "Total Logical Blocks=4000000|Total Raw Size=8192000000|";
    const struct {
        const char* name;
        std::shared_ptr<const emulator::Disc> disc;
        test::VirtualRig* rig;
        std::string rows;
        bool onlyTheFirstRows = false;
    } cases[] = {
        // An audio CD: rows 1-9, its CD-Text and catalogue number.
        {"audio CD", test::LoadTestImage("libcdio/cdda.cue"), nullptr,
         Common + "CDDB=02000401|Serial Number=0000-032E|Total Logical Blocks=302|Total Raw Size=618496|"
                  "Title=Join us now we have the software|Artist=Richard Stallman|UPC/EAN=0000010271955|"},
        // A data disc: rows 1-9 and the volume descriptor.
        {"data CD", test::LoadTestImage("libcdio/isofs-m1.cue"), nullptr,
         Common + "CDDB=02000401|Serial Number=6D57-81EA|Total Logical Blocks=302|Total Raw Size=618496|"
                  "System Identifier=LINUX|Volume Identifier=CDROM|Volume Space Size=64|Logical Block Size=2048|"
                  "Path Table Size=22|Path Table Location (L)=19|Path Table Location (M)=21|Volume SetIdentifier=|"
                  "Publisher Identifier=|Data Preparer Identifier=|Application Identifier=MKISOFS ISO 9660/HFS "
                  "FILESYSTEM BUILDER & CDRECORD CD-R/DVD CREATOR (C) 1993 E.YOUNGDALE (C) 1997 J.PEARSON/J.SCHILLING|"
                  "Copyright File Identifier=|Abstract File Identifier=|Bibliographical File Identifier=|"
                  "Volume Creation=04/20/03 12:29:18|Volume Modification=04/20/03 12:29:18|"
                  "Volume Effective=04/20/03 12:29:18|Volume Expiration=|"},
        {"DVD (layers and region)", emulator::MakeDemoDvd(), nullptr,
         Dvd + "Sessions=1|CDDB=021C5501|Serial Number=B160-0C4F|" + DvdSize +
             "Layers=2|Region=2|System Identifier=TOLVANE|", // then the volume rows, as on a CD
         true},
        {"no medium", nullptr, nullptr, "Media not present=|"},
        {"blank disc (four rows)", blank, nullptr, "Disc Status=Empty|Disc Format=CD-DA/CD-ROM|Disc Type=CD-RW|Erasable=Yes|"},
        {"DVD without a TOC", nullptr, &tocless, Dvd + "Sessions=|CDDB=|Serial Number=|" + DvdSize},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::VirtualRig own(c.disc);
        const std::string rows = RowsOf(c.rig ? *c.rig : own);
        EXPECT_EQ(c.onlyTheFirstRows ? rows.substr(0, c.rows.size()) : rows, c.rows);
    }
}

TEST(InformationReport, PutsEveryValueAtColumn38WithCrLf)
{
    const std::string text = InformationReport({{"Disc Type", "CD-R"},
                                                {"Sessions", ""},
                                                {"Bibliographical File Identifier", "BIBLIO.TXT;1"},
                                                {"Media not present", ""}});
    EXPECT_EQ(text, "Disc Type:" + std::string(27, ' ') + "CD-R\r\n" + "Sessions:" + std::string(28, ' ') +
                        "\r\n" + "Bibliographical File Identifier: " + std::string(4, ' ') + "BIBLIO.TXT;1\r\n" +
                        "Media not present:" + std::string(19, ' ') + "\r\n");
}

} // namespace
} // namespace tolvane
