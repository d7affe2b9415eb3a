// The file system facts of a read: the ISO 9660 primary volume descriptor of
// libcdio's images as iso-info, isoinfo and xorriso print it, its dates in an
// injected locale, and the volume serial number Windows would show.
#include "disc/DiscFacts.h"

#include "disc/OpticalDisk.h"
#include "emulator/DemoDiscs.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <locale>
#include <numeric>
#include <string>
#include <vector>

namespace tolvane {
namespace {

using test::Facts;

// The "%x %X" texts below are what std::put_time writes in the classic locale
// ("01/05/06 16:50:19" for 2006-01-05 16:50:19).
struct VolumeCase {
    const char* name;
    std::function<std::shared_ptr<const emulator::Disc>()> disc;
    Facts expected;
};

void PrintTo(const VolumeCase& c, std::ostream* os)
{
    *os << c.name;
}

class VolumeOf : public ::testing::TestWithParam<VolumeCase> {};

TEST_P(VolumeOf, IsReadFromBlockSixteen)
{
    test::VirtualRig rig(GetParam().disc());
    rig.disc->SetLocale(std::locale::classic());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    const Facts facts = test::FactsOf(*rig.disc);
    for (const auto& [key, value] : GetParam().expected) {
        const auto found = facts.find(key);
        ASSERT_NE(found, facts.end()) << key;
        EXPECT_EQ(found->second, value) << key;
    }
}

std::function<std::shared_ptr<const emulator::Disc>()> Image(const char* relative)
{
    return [relative] { return test::LoadTestImage(relative); };
}

// The fields every tool leaves blank for these images, and the dates xorriso prints:
// creation, modification and effective alike, expiration 0000000000000000 (not specified).
Facts Common(Facts facts, const std::string& date)
{
    facts.insert({{"VolumeSetIdentifier", ""},
                  {"CopyrightFileIdentifier", ""},
                  {"AbstractFileIdentifier", ""},
                  {"BibliographicalFileIdentifier", ""},
                  {"LogicalBlockSize", "2048"},
                  {"VolumeCreation", date},
                  {"VolumeModification", date},
                  {"VolumeEffective", date},
                  {"VolumeExpiration", ""}});
    return facts;
}

// Transcribed from the *.xorriso-pvd.txt, *.isoinfo-d.txt and *.iso-info.txt files beside each image.
const char* const MkisofsApplication =
    "MKISOFS ISO 9660/HFS FILESYSTEM BUILDER & CDRECORD CD-R/DVD CREATOR (C) "
    "1993 E.YOUNGDALE (C) 1997 J.PEARSON/J.SCHILLING";

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, VolumeOf,
    ::testing::Values(
        // Creation Time 2006010516501900
        VolumeCase{"copyingIso", Image("libcdio/copying.iso"),
                   Common({{"VolumeIdentifier", "CDROM"},
                           {"SystemIdentifier", "LINUX"},
                           {"PublisherIdentifier", ""},
                           {"DataPreparerIdentifier", ""},
                           {"ApplicationIdentifier", MkisofsApplication},
                           {"VolumeSpaceSize", "64"}},
                          "01/05/06 16:50:19")},
        // Creation Time 2005030511122500
        VolumeCase{"copyingRockRidgeIso", Image("libcdio/copying-rr.iso"),
                   Common({{"VolumeIdentifier", "Rock Ridge Copy test"},
                           {"SystemIdentifier", "LINUX"},
                           {"PublisherIdentifier", "Rocky Bernstein"},
                           {"DataPreparerIdentifier", "K3b - Version 0.11.20"},
                           {"ApplicationIdentifier",
                            "K3B THE CD KREATOR VERSION 0.11.20 (C) 2003 SEBASTIAN TRUEG AND THE K3B TEAM"},
                           {"VolumeSpaceSize", "186"}},
                          "03/05/05 11:12:25")},
        // Creation Time 2004102218445900; the primary descriptor, not the Joliet one, fills the fields.
        VolumeCase{"jolietIso", Image("libcdio/joliet.iso"),
                   Common({{"VolumeIdentifier", "K3b data project"},
                           {"SystemIdentifier", "LINUX"},
                           {"PublisherIdentifier", "Rocky Bernstein"},
                           {"DataPreparerIdentifier", "K3b - Version 0.11.12"},
                           {"ApplicationIdentifier",
                            "K3B THE CD KREATOR VERSION 0.11.12 (C) 2003 SEBASTIAN TRUEG AND THE K3B TEAM"},
                           {"VolumeSpaceSize", "198"}},
                          "10/22/04 18:44:59")},
        // Creation Time 2012012321161100
        VolumeCase{"udfBridgeIso", Image("libcdio/test-udf1.iso"),
                   Common({{"VolumeIdentifier", "CDROM"},
                           {"SystemIdentifier", "LINUX"},
                           {"PublisherIdentifier", ""},
                           {"DataPreparerIdentifier", ""},
                           {"ApplicationIdentifier",
                            "GENISOIMAGE ISO 9660/HFS FILESYSTEM CREATOR (C) 1993 E.YOUNGDALE (C) 1997-2006 "
                            "J.PEARSON/J.SCHILLING (C) 2006-2007 CDRKIT TEAM"},
                           {"VolumeSpaceSize", "445"}},
                          "01/23/12 21:16:11")},
        // MODE1/2352 sectors: the descriptor is the user data of block 16. Creation Time 2003042012291800
        VolumeCase{"rawMode1Cue", Image("libcdio/isofs-m1.cue"),
                   Common({{"VolumeIdentifier", "CDROM"},
                           {"SystemIdentifier", "LINUX"},
                           {"PublisherIdentifier", ""},
                           {"DataPreparerIdentifier", ""},
                           {"ApplicationIdentifier", MkisofsApplication},
                           {"VolumeSpaceSize", "64"}},
                          "04/20/03 12:29:18")},
        // Built by the demo generator: 2024-03-21 09:30:00, expiring fifty years later.
        VolumeCase{"demoDvd",
                   emulator::MakeDemoDvd,
                   {{"VolumeIdentifier", "TOLVANE_DEMO_DVD"},
                    {"SystemIdentifier", "TOLVANE"},
                    {"VolumeSetIdentifier", "TOLVANE_DEMO"},
                    {"PublisherIdentifier", "BREVANTIS"},
                    {"DataPreparerIdentifier", "TOLVANE VIRTUAL DRIVE"},
                    {"ApplicationIdentifier", "TOLVANE DEMO DISC GENERATOR"},
                    {"CopyrightFileIdentifier", "COPYRGHT.TXT;1"},
                    {"AbstractFileIdentifier", "README.TXT;1"},
                    {"BibliographicalFileIdentifier", "BIBLIO.TXT;1"},
                    {"VolumeSpaceSize", "4000000"},
                    {"LogicalBlockSize", "2048"},
                    {"PathTableSize", "10"},
                    {"LPathTableLocation", "18"},
                    {"MPathTableLocation", "19"},
                    {"OptionalLPathTableLocation", "0"},
                    {"OptionalMPathTableLocation", "0"},
                    {"VolumeCreation", "03/21/24 09:30:00"},
                    {"VolumeModification", "03/21/24 09:30:00"},
                    {"VolumeEffective", "03/21/24 09:30:00"},
                    {"VolumeExpiration", "03/21/74 09:30:00"}}}),
    [](const ::testing::TestParamInfo<VolumeCase>& info) { return std::string(info.param.name); });

const std::vector<std::string> IsoFacts = {
    "SystemIdentifier",
    "VolumeIdentifier",
    "VolumeSpaceSize",
    "LogicalBlockSize",
    "PathTableSize",
    "LPathTableLocation",
    "OptionalLPathTableLocation",
    "MPathTableLocation",
    "OptionalMPathTableLocation",
    "VolumeSetIdentifier",
    "PublisherIdentifier",
    "DataPreparerIdentifier",
    "ApplicationIdentifier",
    "CopyrightFileIdentifier",
    "AbstractFileIdentifier",
    "BibliographicalFileIdentifier",
    "VolumeCreation",
    "VolumeModification",
    "VolumeExpiration",
    "VolumeEffective",
};

TEST(VolumeOfUdfOnlyDisc, LeavesEveryIsoFieldAtItsDefault)
{
    // udf102.iso has BEA01 at block 16 and no ISO 9660 descriptor; all three tools find none.
    test::VirtualRig rig(test::LoadTestImage("libcdio/udf102.iso"));
    rig.disc->SetLocale(std::locale::classic());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    const Facts facts = test::FactsOf(*rig.disc);
    for (const std::string& key : IsoFacts) {
        EXPECT_EQ(facts.at(key), test::DefaultFact(key)) << key;
    }
    // A data track and no volume descriptor: nothing to compute a serial number from.
    EXPECT_EQ(facts.at("SerialNumber"), "");
    EXPECT_EQ(facts.at("track 1 Mode"), "Mode 1") << "the disc itself reads";
}

// Writes the short date day first with a four-digit year, as many European locales do.
class DayMonthYear : public std::time_put<char> {
protected:
    iter_type do_put(iter_type out, std::ios_base& str, char_type fill, const std::tm* t, char format,
                     char modifier) const override
    {
        if (format == 'x') {
            static constexpr char pattern[] = "%d.%m.%Y";
            return put(out, str, fill, t, pattern, pattern + sizeof pattern - 1);
        }
        return std::time_put<char>::do_put(out, str, fill, t, format, modifier);
    }
};

TEST(VolumeDates, AreWrittenInTheInjectedLocale)
{
    test::VirtualRig rig(test::LoadTestImage("libcdio/copying.iso"));
    rig.disc->SetLocale(std::locale(std::locale::classic(), new DayMonthYear));
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_EQ(rig.disc->CD()->VolumeCreation(), "05.01.2006 16:50:19");
    EXPECT_EQ(rig.disc->CD()->VolumeExpiration(), "");

    // The locale in force when Read runs is the one used.
    rig.disc->SetLocale(std::locale::classic());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_EQ(rig.disc->CD()->VolumeCreation(), "01/05/06 16:50:19");
}

// --- Serial numbers ----------------------------------------------------------------------

// Windows' serial number of a volume descriptor: four byte lanes, each summed modulo 256.
std::uint32_t LaneSums(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    std::array<std::uint8_t, 4> lanes{};
    for (std::size_t i = 0; i < 2048; ++i) {
        lanes[i % 4] = static_cast<std::uint8_t>(lanes[i % 4] + bytes.at(offset + i));
    }
    return std::uint32_t{lanes[0]} << 24 | std::uint32_t{lanes[1]} << 16 | std::uint32_t{lanes[2]} << 8 |
           lanes[3];
}

std::uint32_t DescriptorAt(const char* relative, std::size_t offset)
{
    const auto bytes = test::ReadBytes(test::TestDataPath(relative));
    EXPECT_GE(bytes.size(), offset + 2048) << relative;
    return bytes.size() >= offset + 2048 ? LaneSums(bytes, offset) : 0;
}

// Windows' serial number of an audio CD: the sum of the tracks' addresses, each as a 00MMSSFF
// word, plus for one or two tracks the disc's length in frames.
std::uint32_t FromToc(const std::vector<std::int32_t>& starts, std::int32_t leadOut)
{
    const std::uint32_t length = starts.size() <= 2 ? static_cast<std::uint32_t>(leadOut - starts[0]) : 0;
    return std::accumulate(starts.begin(), starts.end(), length,
                           [](std::uint32_t sum, std::int32_t lba) { return sum + test::MsfWord(lba); });
}

std::string SerialText(std::uint32_t serial)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X-%04X", serial >> 16, serial & 0xFFFF);
    return text;
}

struct SerialCase {
    const char* name;
    std::function<std::shared_ptr<const emulator::Disc>()> disc;
    std::function<std::uint32_t()> expected;
};

void PrintTo(const SerialCase& c, std::ostream* os)
{
    *os << c.name;
}

class SerialNumberOf : public ::testing::TestWithParam<SerialCase> {};

TEST_P(SerialNumberOf, IsTheOneWindowsShows)
{
    test::VirtualRig rig(GetParam().disc());
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_EQ(rig.disc->CD()->SerialNumber(), SerialText(GetParam().expected()));
}

INSTANTIATE_TEST_SUITE_P(
    OpticalDisk, SerialNumberOf,
    ::testing::Values(
        // Track starts and lead-outs as SOURCES.md section 7 lists them.
        SerialCase{"oneTrackCd", Image("libcdio/cdda.cue"), [] { return FromToc({0}, 302); }},
        SerialCase{"twoTrackCd", Image("cdrdao/t7.toc"),
                   [] {
                       return FromToc({0, 4875}, 9000);
                   }},
        SerialCase{"breeders", Image("whipper/breeders.toc"),
                   [] {
                       return FromToc({0, 10151, 19384, 34822, 52314, 62513, 74449, 87769, 100227, 113101,
                                       125014, 136464, 147581},
                                      165122);
                   }},
        SerialCase{"threeTracksByHand",
                   [] {
                       return std::shared_ptr<const emulator::Disc>(
                           test::BuildCd({{1, emulator::TrackMode::Audio, 0},
                                          {2, emulator::TrackMode::Audio, 20000},
                                          {3, emulator::TrackMode::Audio, 35000}},
                                         {emulator::Session{1, 50000, 0x00}}));
                   },
                   [] {
                       return FromToc({0, 20000, 35000}, 50000);
                   }},
        SerialCase{"plainIso", Image("libcdio/copying.iso"),
                   [] { return DescriptorAt("libcdio/copying.iso", 16 * 2048); }},
        SerialCase{"rockRidgeIso", Image("libcdio/copying-rr.iso"),
                   [] { return DescriptorAt("libcdio/copying-rr.iso", 16 * 2048); }},
        // Primary at 16, Joliet at 17, terminator at 18, then the UDF bridge.
        SerialCase{"udfBridgeIsoTakesItsJolietDescriptor", Image("libcdio/test-udf1.iso"),
                   [] { return DescriptorAt("libcdio/test-udf1.iso", 17 * 2048); }},
        // The user data of sector 16 starts 16 bytes (sync and header) into its 2,352.
        SerialCase{"rawMode1Cue", Image("libcdio/isofs-m1.cue"),
                   [] { return DescriptorAt("libcdio/isofs-m1.bin", 16 * 2352 + 16); }}),
    [](const ::testing::TestParamInfo<SerialCase>& info) { return std::string(info.param.name); });

TEST(SerialNumberOfJolietDisc, IsTheJolietDescriptorsNotThePrimaryOnes)
{
    const auto primary = DescriptorAt("libcdio/joliet.iso", 16 * 2048);
    const auto joliet = DescriptorAt("libcdio/joliet.iso", 17 * 2048);
    ASSERT_NE(primary, joliet) << "the two descriptors must differ for this test to tell them apart";
    test::VirtualRig rig(test::LoadTestImage("libcdio/joliet.iso"));
    ASSERT_TRUE(rig.disc->Read()) << rig.disc->ErrorMessage();
    EXPECT_EQ(rig.disc->CD()->SerialNumber(), SerialText(joliet));
}

} // namespace
} // namespace tolvane
