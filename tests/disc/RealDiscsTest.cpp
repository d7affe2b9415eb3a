// Every disc of the shared fixture set, read through the virtual drive and the
// disc object, against what other tools say of it (expected-facts.json, built
// from cd-info, cdrdao and whipper's goldens).
#include "disc/OpticalDisk.h"
#include "support/TestData.h"
#include "support/VirtualRig.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <map>

namespace tolvane {
namespace {

using nlohmann::json;

// The image each fixture entry describes; entries without an image of their own are left out.
const std::map<std::string, std::string> Images = {
    {"whipper/bloc", "whipper/bloc.toc"},
    {"whipper/breeders", "whipper/breeders.toc"},
    {"whipper/capital.1", "whipper/capital.1.toc"},
    {"whipper/capital.fast", "whipper/capital.fast.toc"},
    {"whipper/cure", "whipper/cure.toc"},
    {"whipper/jose", "whipper/jose.toc"},
    {"whipper/strokes-someday", "whipper/strokes-someday.toc"},
    {"whipper/surferrosa", "whipper/surferrosa.toc"},
    {"libcdio/cdda.cue", "libcdio/cdda.cue"},
    {"libcdio/cdda_4_5.cue", "libcdio/cdda_4_5.cue"},
    {"libcdio/p1.cue", "libcdio/p1.cue"},
    {"libcdio/isofs-m1.cue", "libcdio/isofs-m1.cue"},
    {"cdrdao/t9", "cdrdao/t9.toc"},
    {"cdrdao/t7", "cdrdao/t7.toc"},
    {"cdrdao/t8", "cdrdao/t8.toc"},
    {"cdrdao/data2", "cdrdao/data2.toc"},
    {"cdrdao/data4", "cdrdao/data4.toc"},
    {"cdrdao/data7", "cdrdao/data7.toc"},
    {"cdrdao/cdtext", "cdrdao/cdtext.toc"},
    {"cdrdao/3encodings", "cdrdao/3encodings.toc"},
};

std::string Lower(std::string s)
{
    std::ranges::transform(s, s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string ExpectedMode(const std::string& mode)
{
    if (mode == "AUDIO") {
        return "Audio";
    }
    if (mode == "MODE1" || mode == "DATA") {
        return "Mode 1";
    }
    return "Mode 2";
}

// A number that other tools print as all zeros is no number (the drive's way of saying none).
std::string Present(const json& value)
{
    if (value.is_null()) {
        return {};
    }
    const auto s = value.get<std::string>();
    return std::ranges::all_of(s, [](char c) { return c == '0'; }) ? std::string() : s;
}

std::string Msf(std::int32_t lba)
{
    const std::int32_t f = lba + 150;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", f / 4500, f / 75 % 60, f % 75);
    return text;
}

json LoadFacts()
{
    std::ifstream in(test::TestDataPath("generated/expected-facts.json"));
    if (!in) {
        return json::array();
    }
    return json::parse(in);
}

TEST(RealDiscs, ReadThroughTheVirtualDriveAsOtherToolsReadThem)
{
    const json facts = LoadFacts();
    ASSERT_FALSE(facts.empty()) << "expected-facts.json not found: set TOLVANE_TESTDATA to the shared test data";
    int checked = 0;
    for (const json& disc : facts) {
        const std::string name = disc["name"];
        const auto image = Images.find(name);
        if (image == Images.end()) {
            continue;
        }
        SCOPED_TRACE(name);
        test::VirtualRig rig(test::LoadTestImage(image->second));
        OpticalDisk& d = *rig.disc;
        ASSERT_TRUE(d.Check());
        ASSERT_TRUE(d.Read()) << d.ErrorMessage();

        const int first = disc["first_track"];
        const int last = disc["last_track"];
        EXPECT_EQ(d.Count(), last);
        EXPECT_EQ(d.CD()->UPC(), Present(disc["mcn"]));
        EXPECT_EQ(Lower(d.CD()->CDDB()), disc["computed"]["cddb_id_all_tracks"].get<std::string>());

        const json& tracks = disc["tracks"];
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const json& t = tracks[i];
            const int no = t["no"];
            SCOPED_TRACE("track " + std::to_string(no));
            ASSERT_GE(no, first);
            const auto track = d.Track(static_cast<std::int16_t>(no));
            ASSERT_TRUE(track);
            const std::int32_t start = t["start_lba"];
            const std::int32_t end = i + 1 < tracks.size() ? tracks[i + 1]["start_lba"].get<std::int32_t>()
                                                           : disc["leadout_lba"].get<std::int32_t>();
            const std::string mode = ExpectedMode(t["mode"]);
            EXPECT_EQ(track->LBA(), start);
            EXPECT_EQ(track->LogicalBlocks(), end - start);
            EXPECT_EQ(track->Mode(), mode);
            EXPECT_EQ(track->MSF(), Msf(start));
            EXPECT_EQ(track->RawSize().Whole(), std::int64_t{end - start} * (mode == "Audio" ? 2352 : 2048));
            EXPECT_EQ(track->RawSize().IsWhole(), true);
            // Flags the peers did not print are null.
            if (t["copy_permitted"].is_boolean()) {
                EXPECT_EQ(track->DigitalCopy(), t["copy_permitted"].get<bool>());
            }
            if (t["pre_emphasis"].is_boolean()) {
                EXPECT_EQ(track->Preemphasis2(), t["pre_emphasis"].get<bool>());
            }
            EXPECT_EQ(track->ISRC(), Present(t["isrc"]));
        }
        ++checked;
    }
    EXPECT_EQ(checked, static_cast<int>(Images.size())) << "every fixture with an image is in the facts";
}

} // namespace
} // namespace tolvane
