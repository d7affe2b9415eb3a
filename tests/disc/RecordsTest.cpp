#include "disc/CD.h"
#include "disc/CDText.h"
#include "disc/DVD.h"
#include "disc/Track.h"

#include <gtest/gtest.h>

#include <string>

namespace tolvane {
namespace {

// Only the disc object may write the records; the windows and the CLI must not compile a setter call.
template <typename R>
concept HasPublicTextSetter = requires(R r)
{
    r.SetUPC(std::string());
};
template <typename R>
concept HasPublicModeSetter = requires(R r)
{
    r.SetMode(std::string());
};
template <typename R>
concept HasPublicTitleSetter = requires(R r)
{
    r.SetTitle(std::string());
};
template <typename R>
concept HasPublicLayerSetter = requires(R r)
{
    r.SetLayers(std::uint8_t{1});
};
static_assert(!HasPublicTextSetter<CD>);
static_assert(!HasPublicModeSetter<Track>);
static_assert(!HasPublicTitleSetter<CDText>);
static_assert(!HasPublicLayerSetter<DVD>);

TEST(Records, FreshCdHasItsDefaults)
{
    const CD cd;
    EXPECT_EQ(cd.DiscStatus(), 3) << "3 means 'other', also when nothing was read";
    for (const std::string& text :
         {cd.AbstractFileIdentifier(), cd.ApplicationIdentifier(), cd.BibliographicalFileIdentifier(),
          cd.CDDB(), cd.CopyrightFileIdentifier(), cd.DataPreparerIdentifier(), cd.DiscFormat(),
          cd.DiscType(), cd.PublisherIdentifier(), cd.SerialNumber(), cd.SystemIdentifier(), cd.UPC(),
          cd.VolumeCreation(), cd.VolumeEffective(), cd.VolumeExpiration(), cd.VolumeIdentifier(),
          cd.VolumeModification(), cd.VolumeSetIdentifier()}) {
        EXPECT_TRUE(text.empty());
    }
    EXPECT_FALSE(cd.Erasable());
    EXPECT_EQ(cd.Sessions(), 0);
    EXPECT_EQ(cd.LogicalBlockSize(), 0);
    EXPECT_EQ(cd.LPathTableLocation() | cd.MPathTableLocation() | cd.OptionalLPathTableLocation() |
                  cd.OptionalMPathTableLocation() | cd.PathTableSize() | cd.TotalLogicalBlocks() |
                  cd.VolumeSpaceSize(),
              0);
    EXPECT_EQ(cd.TotalRawSize().Raw(), 0);
}

TEST(Records, FreshTrackHasNoTextRecordAndNoMode)
{
    const Track track;
    EXPECT_EQ(track.CDText(), nullptr);
    EXPECT_TRUE(track.Mode().empty());
    EXPECT_TRUE(track.MSF().empty());
    EXPECT_TRUE(track.ISRC().empty());
    EXPECT_EQ(track.RawSize().Raw(), 0);
    EXPECT_EQ(track.LBA(), 0);
    EXPECT_EQ(track.LogicalBlocks(), 0);
    EXPECT_FALSE(track.DigitalCopy() || track.Preemphasis2() || track.Preemphasis4());
}

TEST(Records, FreshTextAndDvdRecordsAreEmpty)
{
    const CDText text;
    EXPECT_TRUE(text.Title().empty());
    EXPECT_TRUE(text.Artist().empty());
    const DVD dvd;
    EXPECT_EQ(dvd.Layers(), 0);
    EXPECT_EQ(dvd.Region(), 0);
}

} // namespace
} // namespace tolvane
