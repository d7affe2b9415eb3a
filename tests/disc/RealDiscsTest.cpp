// The shared fixture discs read as cd-info, cdrdao and whipper read them (expected-facts.json).
#include "disc/DiscFacts.h"

#include "support/TestData.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace tolvane {
namespace {

using nlohmann::json;

// A number other tools print as all zeros is no number (the drive's way of saying none).
std::string Present(const json& value)
{
    const auto s = value.is_null() ? std::string() : value.get<std::string>();
    return std::ranges::all_of(s, [](char c) { return c == '0'; }) ? std::string() : s;
}

TEST(RealDiscs, ReadThroughTheVirtualDriveAsOtherToolsReadThem)
{
    std::ifstream in(test::TestDataPath("generated/expected-facts.json"));
    ASSERT_TRUE(in) << "expected-facts.json not found: set TOLVANE_TESTDATA to the shared test data";
    int checked = 0;
    for (const json& disc : json::parse(in)) {
        // The image: the cue sheet named, else the toc of that name; entries without one are left out.
        std::string image = disc["name"];
        image += image.ends_with(".cue") ? "" : ".toc";
        if (!std::filesystem::exists(test::TestDataPath(image))) {
            continue;
        }
        SCOPED_TRACE(image);
        test::VirtualRig rig(test::LoadTestImage(image));
        OpticalDisk& d = *rig.disc;
        ASSERT_TRUE(d.Check());
        ASSERT_TRUE(d.Read()) << d.ErrorMessage();
        EXPECT_EQ(d.Count(), disc["last_track"].get<int>());
        EXPECT_EQ(d.CD()->UPC(), Present(disc["mcn"]));
        std::string cddb = d.CD()->CDDB();
        std::ranges::transform(cddb, cddb.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        EXPECT_EQ(cddb, disc["computed"]["cddb_id_all_tracks"].get<std::string>());

        const json& tracks = disc["tracks"];
        for (std::size_t i = 0; i < tracks.size(); ++i) {
            const json& t = tracks[i];
            const int no = t["no"];
            SCOPED_TRACE("track " + std::to_string(no));
            ASSERT_GE(no, disc["first_track"].get<int>());
            const auto track = d.Track(static_cast<std::int16_t>(no));
            ASSERT_TRUE(track);
            const std::int32_t start = t["start_lba"];
            const std::int32_t end =
                (i + 1 < tracks.size() ? tracks[i + 1]["start_lba"] : disc["leadout_lba"]);
            const std::string mode = t["mode"] == "AUDIO"                          ? "Audio"
                                     : t["mode"] == "MODE1" || t["mode"] == "DATA" ? "Mode 1"
                                                                                   : "Mode 2";
            EXPECT_EQ(track->LBA(), start);
            EXPECT_EQ(track->LogicalBlocks(), end - start);
            EXPECT_EQ(track->Mode(), mode);
            const std::int32_t f = start + 150;
            char msf[16];
            std::snprintf(msf, sizeof msf, "%02d:%02d:%02d", f / 4500, f / 75 % 60, f % 75);
            EXPECT_EQ(track->MSF(), msf);
            EXPECT_TRUE(track->RawSize().IsWhole());
            EXPECT_EQ(track->RawSize().Whole(), std::int64_t{end - start} * (mode == "Audio" ? 2352 : 2048));
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
    EXPECT_EQ(checked, 20) << "every fixture with an image";
}

} // namespace
} // namespace tolvane
