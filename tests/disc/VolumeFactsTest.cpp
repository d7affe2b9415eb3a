// The ISO 9660 volume of libcdio's images as iso-info, isoinfo and xorriso print it, and serial numbers.
#include "disc/DiscFacts.h"

#include "emulator/DemoDiscs.h"

#include <locale>

namespace tolvane {
namespace {


// The fields every tool leaves blank for these images; creation, modification and effective
// dates alike, expiration 0000000000000000 (not specified).
std::string Common(const std::string& date)
{
    return "VolumeSetIdentifier=|CopyrightFileIdentifier=|AbstractFileIdentifier=|BibliographicalFileIdentifier=|"
           "LogicalBlockSize=2048|VolumeExpiration=|VolumeCreation=" +
           date + "|VolumeModification=" + date + "|VolumeEffective=" + date + "|";
}

const std::string Mkisofs = "|ApplicationIdentifier=MKISOFS ISO 9660/HFS FILESYSTEM BUILDER & CDRECORD CD-R/DVD "
                            "CREATOR (C) 1993 E.YOUNGDALE (C) 1997 J.PEARSON/J.SCHILLING";
const std::string K3b = "|ApplicationIdentifier=K3B THE CD KREATOR VERSION 0.11.";
const std::string K3bTail = " (C) 2003 SEBASTIAN TRUEG AND THE K3B TEAM";

// Transcribed from the *.xorriso-pvd.txt, *.isoinfo-d.txt and *.iso-info.txt files beside each
// image; dates as std::put_time's "%x %X" writes them in the classic locale. A data disc's
// serial number is the four byte lanes of its descriptor, each summed modulo 256; an audio
// disc's is the sum of its tracks' 00MMSSFF addresses (plus, for one or two tracks, the
// disc's length in frames).
TEST(VolumeOf, IsReadFromBlockSixteenAndGivesTheSerialNumber)
{
    const struct {
        const char* name;
        test::DiscMaker disc;
        std::string expected;
    } cases[] = {
        {"copying.iso (2006010516501900)", test::Image("libcdio/copying.iso"),
         Common("01/05/06 16:50:19") + "VolumeIdentifier=CDROM|SystemIdentifier=LINUX|PublisherIdentifier=|"
                                       "DataPreparerIdentifier=|VolumeSpaceSize=64|SerialNumber=6460-44BA" + Mkisofs},
        {"copying-rr.iso (2005030511122500)", test::Image("libcdio/copying-rr.iso"),
         Common("03/05/05 11:12:25") + "VolumeIdentifier=Rock Ridge Copy test|SystemIdentifier=LINUX|"
                                       "PublisherIdentifier=Rocky Bernstein|DataPreparerIdentifier=K3b - Version "
                                       "0.11.20|VolumeSpaceSize=186|SerialNumber=27C5-E4CE" + K3b + "20" + K3bTail},
        // The primary descriptor fills the fields; the Joliet one (at 17; the primary's would give
        // E662-BABE) gives the serial.
        {"joliet.iso (2004102218445900)", test::Image("libcdio/joliet.iso"),
         Common("10/22/04 18:44:59") + "VolumeIdentifier=K3b data project|SystemIdentifier=LINUX|"
                                       "PublisherIdentifier=Rocky Bernstein|DataPreparerIdentifier=K3b - Version "
                                       "0.11.12|VolumeSpaceSize=198|SerialNumber=C706-26E1" + K3b + "12" + K3bTail},
        // Primary at 16, Joliet at 17 (the serial's), terminator at 18, then the UDF bridge.
        {"test-udf1.iso (2012012321161100)", test::Image("libcdio/test-udf1.iso"),
         Common("01/23/12 21:16:11") +
             "VolumeIdentifier=CDROM|SystemIdentifier=LINUX|PublisherIdentifier=|DataPreparerIdentifier=|"
             "VolumeSpaceSize=445|SerialNumber=7B5B-3BA7|ApplicationIdentifier=GENISOIMAGE ISO 9660/HFS FILESYSTEM "
             "CREATOR (C) 1993 E.YOUNGDALE (C) 1997-2006 J.PEARSON/J.SCHILLING (C) 2006-2007 CDRKIT TEAM"},
        // MODE1/2352: the descriptor is the user data of block 16, 16 bytes into its 2,352.
        {"isofs-m1.cue (2003042012291800)", test::Image("libcdio/isofs-m1.cue"),
         Common("04/20/03 12:29:18") + "VolumeIdentifier=CDROM|SystemIdentifier=LINUX|PublisherIdentifier=|"
                                       "DataPreparerIdentifier=|VolumeSpaceSize=64|SerialNumber=6D57-81EA" + Mkisofs},
        // The demo generator: 2024-03-21 09:30:00, expiring fifty years later.
        {"demo DVD", emulator::MakeDemoDvd,
         "VolumeIdentifier=TOLVANE_DEMO_DVD|SystemIdentifier=TOLVANE|VolumeSetIdentifier=TOLVANE_DEMO|"
         "PublisherIdentifier=BREVANTIS|DataPreparerIdentifier=TOLVANE VIRTUAL DRIVE|"
         "ApplicationIdentifier=TOLVANE DEMO DISC GENERATOR|CopyrightFileIdentifier=COPYRGHT.TXT;1|"
         "AbstractFileIdentifier=README.TXT;1|BibliographicalFileIdentifier=BIBLIO.TXT;1|VolumeSpaceSize=4000000|"
         "LogicalBlockSize=2048|PathTableSize=10|LPathTableLocation=18|MPathTableLocation=19|"
         "OptionalLPathTableLocation=0|OptionalMPathTableLocation=0|VolumeCreation=03/21/24 09:30:00|"
         "VolumeModification=03/21/24 09:30:00|VolumeEffective=03/21/24 09:30:00|"
         "VolumeExpiration=03/21/74 09:30:00"},
        // Audio discs: track starts and lead-outs as SOURCES.md section 7 lists them
        // (0/302; 0, 4875/9000; breeders' thirteen tracks/165122).
        {"cdda.cue", test::Image("libcdio/cdda.cue"), "SerialNumber=0000-032E"},
        {"t7.toc", test::Image("cdrdao/t7.toc"), "SerialNumber=0001-2C28"},
        {"breeders.toc", test::Image("whipper/breeders.toc"), "SerialNumber=00D1-889E"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::VirtualRig rig(c.disc());
        rig.disc->SetLocale(std::locale::classic());
        ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
        test::ExpectSomeFacts(test::Parse(c.expected), test::FactsOf(*rig.disc));
    }
}

TEST(VolumeOfUdfOnlyDisc, LeavesEveryIsoFieldAtItsDefault)
{
    // udf102.iso has BEA01 at block 16 and no ISO 9660 descriptor; all three tools find none.
    test::VirtualRig rig(test::LoadTestImage("libcdio/udf102.iso"));
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    for (const auto& [key, value] : test::FactsOf(*rig.disc)) {
        if (test::FactMatches("volume *", key) || key == "SerialNumber") { // nothing to compute it from
            EXPECT_EQ(value, test::DefaultFact(key)) << key;
        }
    }
    EXPECT_EQ(rig.disc->Track(1)->Mode(), "Mode 1") << "the disc itself reads";
}

} // namespace
} // namespace tolvane
