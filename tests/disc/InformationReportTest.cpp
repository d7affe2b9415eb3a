// The information rows and the text report, from discs read through the virtual drive.
#include "device/platform/ScsiOpcodes.h"
#include "disc/InformationReport.h"
#include "emulator/DemoDiscs.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace tolvane {
namespace {

std::vector<std::string> Labels(const std::vector<InformationRow>& rows)
{
    std::vector<std::string> labels;
    for (const InformationRow& r : rows) {
        labels.push_back(r.label);
    }
    return labels;
}

std::vector<InformationRow> RowsOf(test::VirtualRig& rig)
{
    OpticalDisk& d = *rig.disc;
    const bool present = d.Check();
    if (present) {
        EXPECT_TRUE(d.Read()) << d.ErrorMessage();
    }
    return InformationRows(present, *d.CD(), *d.CDText(), *d.DVD());
}

TEST(InformationRows, FollowTheKindOfDisc)
{
    const std::vector<std::string> common{"Disc Status", "Disc Format", "Disc Type", "Erasable", "Sessions",
                                          "CDDB", "Serial Number", "Total Logical Blocks", "Total Raw Size"};
    // An audio CD: rows 1-9 and its CD-Text and catalogue number.
    test::VirtualRig audio(test::LoadTestImage("libcdio/cdda.cue"));
    auto expected = common;
    expected.insert(expected.end(), {"Title", "Artist", "UPC/EAN"});
    EXPECT_EQ(Labels(RowsOf(audio)), expected);

    // A data disc: rows 1-9 and the volume descriptor.
    test::VirtualRig data(test::LoadTestImage("libcdio/isofs-m1.cue"));
    const auto rows = RowsOf(data);
    ASSERT_EQ(rows.size(), 9u + 18u);
    EXPECT_EQ(rows[9].label, "System Identifier");
    EXPECT_EQ(rows[16].label, "Volume SetIdentifier");
    EXPECT_EQ(rows.back().label, "Volume Expiration");

    // A DVD adds its layers and region.
    test::VirtualRig dvd(emulator::MakeDemoDvd());
    const auto dvdRows = RowsOf(dvd);
    EXPECT_EQ(dvdRows[9].label, "Layers");
    EXPECT_EQ(dvdRows[9].value, "2");
    EXPECT_EQ(dvdRows[10].label, "Region");
    EXPECT_EQ(dvdRows[10].value, "2");

    // No medium: one row.
    test::VirtualRig empty(nullptr);
    EXPECT_EQ(Labels(RowsOf(empty)), std::vector<std::string>{"Media not present"});
}

TEST(InformationRows, StopEarlyForBlankDiscsAndDiscsWithoutId)
{
    auto blank = std::make_shared<emulator::Disc>();
    blank->media = emulator::MediaKind::BlankCdRw;
    blank->status = emulator::DiscStatus::Empty;
    test::VirtualRig rig(blank);
    const auto rows = RowsOf(rig);
    EXPECT_EQ(rows.size(), 4u) << "a blank disc shows four rows";
    EXPECT_EQ(rows[0].value, "Empty");
    EXPECT_EQ(rows[3].value, "Yes");

    // A DVD whose table of contents cannot be read has no CDDB id and no sessions: it
    // stops after row 9, layers or not, and shows an empty session count.
    test::VirtualRig dvd(emulator::MakeDemoDvd());
    dvd.drive->FailCommand(scsi::op::ReadToc, -1);
    const auto dvdRows = RowsOf(dvd);
    ASSERT_EQ(dvdRows.size(), 9u);
    EXPECT_EQ(dvdRows[4].label, "Sessions");
    EXPECT_EQ(dvdRows[4].value, "");
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
