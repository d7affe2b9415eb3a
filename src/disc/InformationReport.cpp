#include "disc/InformationReport.h"

#include <array>

namespace tolvane {

namespace {

// The names of the two-bit disc status, in order.
constexpr std::array<const char*, 4> StatusNames{"Empty", "Incomplete", "Complete", "Unknown"};

// Values start at character 38 (from 1): the label, ": ", then blanks.
constexpr std::size_t ValueColumn = 35;

const char* YesNo(bool b)
{
    return b ? "Yes" : "No";
}

std::vector<InformationRow> RecordRows(bool mediaPresent, const CD& cd, const CDText& discText,
                                       const DVD& dvd)
{
    std::vector<InformationRow> rows;
    if (!mediaPresent) {
        rows.push_back({"Media not present", ""});
        return rows;
    }
    const auto add = [&rows](const char* label, std::string value) {
        rows.push_back({label, std::move(value)});
    };
    const auto number = [](auto n) { return std::to_string(n); };

    add("Disc Status", StatusNames[cd.DiscStatus() & 0x03]);
    add("Disc Format", cd.DiscFormat());
    add("Disc Type", cd.DiscType());
    add("Erasable", YesNo(cd.Erasable()));
    if (cd.DiscStatus() == 0) {
        return rows;
    }
    add("Sessions", cd.Sessions() == 0 ? std::string() : number(cd.Sessions()));
    add("CDDB", cd.CDDB());
    add("Serial Number", cd.SerialNumber());
    add("Total Logical Blocks", number(cd.TotalLogicalBlocks()));
    add("Total Raw Size", cd.TotalRawSize().ToString());
    if (cd.CDDB().empty()) {
        return rows;
    }
    if (cd.DiscType().compare(0, 3, "DVD") == 0) {
        add("Layers", number(dvd.Layers()));
        add("Region", number(dvd.Region()));
    }
    if (cd.LogicalBlockSize() == 0) {
        add("Title", discText.Title());
        add("Artist", discText.Artist());
        add("UPC/EAN", cd.UPC());
        return rows;
    }
    add("System Identifier", cd.SystemIdentifier());
    add("Volume Identifier", cd.VolumeIdentifier());
    add("Volume Space Size", number(cd.VolumeSpaceSize()));
    add("Logical Block Size", number(cd.LogicalBlockSize()));
    add("Path Table Size", number(cd.PathTableSize()));
    add("Path Table Location (L)", number(cd.LPathTableLocation()));
    add("Path Table Location (M)", number(cd.MPathTableLocation()));
    add("Volume SetIdentifier", cd.VolumeSetIdentifier());
    add("Publisher Identifier", cd.PublisherIdentifier());
    add("Data Preparer Identifier", cd.DataPreparerIdentifier());
    add("Application Identifier", cd.ApplicationIdentifier());
    add("Copyright File Identifier", cd.CopyrightFileIdentifier());
    add("Abstract File Identifier", cd.AbstractFileIdentifier());
    add("Bibliographical File Identifier", cd.BibliographicalFileIdentifier());
    add("Volume Creation", cd.VolumeCreation());
    add("Volume Modification", cd.VolumeModification());
    add("Volume Effective", cd.VolumeEffective());
    add("Volume Expiration", cd.VolumeExpiration());
    return rows;
}

} // namespace

std::vector<InformationRow> InformationRows(bool mediaPresent, const CD& cd, const CDText& discText,
                                            const DVD& dvd, const ids::Identifiers& identifiers)
{
    std::vector<InformationRow> rows = RecordRows(mediaPresent, cd, discText, dvd);
    if (mediaPresent && cd.DiscStatus() != 0 && !cd.CDDB().empty() && identifiers.accurateRip) {
        rows.push_back({"AccurateRip ID", identifiers.accurateRip->Text()});
        rows.push_back({"AccurateRip URL", identifiers.accurateRip->Url()});
        rows.push_back({"MusicBrainz Disc ID", identifiers.musicBrainz});
        rows.push_back({"MusicBrainz URL", identifiers.musicBrainzUrl});
        rows.push_back({"CTDB TOC ID", identifiers.ctdb});
    }
    return rows;
}

std::string InformationReport(const std::vector<InformationRow>& rows)
{
    std::string text;
    for (const InformationRow& row : rows) {
        text += row.label;
        text += ": ";
        text.append(row.label.size() < ValueColumn ? ValueColumn - row.label.size() : 0, ' ');
        text += row.value;
        text += "\r\n";
    }
    return text;
}

} // namespace tolvane
