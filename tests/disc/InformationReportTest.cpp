// The information rows of discs read through the virtual drive (the audio CD's, and the report's
// layout, are checked through the CLI in tests/cli; the DVD's layers and region in tests/app).
#include "disc/DiscFacts.h"

#include "device/platform/ScsiOpcodes.h"
#include "disc/InformationReport.h"
#include "emulator/DemoDiscs.h"

#include <locale>

namespace tolvane {
namespace {

TEST(InformationRows, FollowTheKindOfDisc)
{
    const struct {
        const char* name;
        std::shared_ptr<const emulator::Disc> disc;
        bool tocFails;
        std::string rows;
    } cases[] = {
        // A data disc: rows 1-9 and the volume descriptor.
        {"data CD", test::LoadTestImage("libcdio/isofs-m1.cue"), false,
         "Disc Status=Complete|Disc Format=CD-DA/CD-ROM|Disc Type=|Erasable=No|Sessions=1|"
         "CDDB=02000401|Serial Number=6D57-81EA|Total Logical Blocks=302|Total Raw Size=618496|"
         "System Identifier=LINUX|Volume Identifier=CDROM|Volume Space Size=64|Logical Block Size=2048|"
         "Path Table Size=22|Path Table Location (L)=19|Path Table Location (M)=21|Volume SetIdentifier=|"
         "Publisher Identifier=|Data Preparer Identifier=|Application Identifier=MKISOFS ISO 9660/HFS "
         "FILESYSTEM BUILDER & CDRECORD CD-R/DVD CREATOR (C) 1993 E.YOUNGDALE (C) 1997 J.PEARSON/J.SCHILLING|"
         "Copyright File Identifier=|Abstract File Identifier=|Bibliographical File Identifier=|"
         "Volume Creation=04/20/03 12:29:18|Volume Modification=04/20/03 12:29:18|"
         "Volume Effective=04/20/03 12:29:18|Volume Expiration=|"},
        // A DVD whose table of contents cannot be read has no CDDB id and no sessions: it stops
        // after row 9, layers or not, and shows an empty session count.
        {"DVD without a TOC", emulator::MakeDemoDvd(), true,
         "Disc Status=Complete|Disc Format=CD-DA/CD-ROM|Disc Type=DVD-ROM|Erasable=No|Sessions=|CDDB=|"
         "Serial Number=|Total Logical Blocks=4000000|Total Raw Size=8192000000|"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::VirtualRig rig(c.disc);
        if (c.tocFails) {
            rig.drive->FailCommand(scsi::op::ReadToc, -1);
        }
        OpticalDisk& d = *rig.disc;
        d.SetLocale(std::locale::classic());
        ASSERT_TRUE(d.Check() && d.Read()) << d.ErrorMessage();
        std::string rows;
        for (const InformationRow& r : InformationRows(true, *d.CD(), *d.CDText(), *d.DVD())) {
            rows += r.label + "=" + r.value + "|";
        }
        EXPECT_EQ(rows, c.rows);
    }
}

} // namespace
} // namespace tolvane
