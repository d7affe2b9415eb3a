// The property/value rows of a disc's facts, as the information window lists
// them and its Save As writes them, built in one place for the window and the CLI.
#pragma once

#include "disc/CD.h"
#include "disc/CDText.h"
#include "disc/DVD.h"
#include "disc/DiscIds.h"

#include <string>
#include <vector>

namespace tolvane {

struct InformationRow {
    std::string label;
    std::string value;
};

// The rows for a disc whose last read left these records, then the online databases' ids of a
// disc with audio. Without a medium the list is the single row "Media not present".
std::vector<InformationRow> InformationRows(bool mediaPresent, const CD& cd, const CDText& discText,
                                            const DVD& dvd, const ids::Identifiers& identifiers);

// The text report: one line per row, the value at character 38, CRLF line ends.
std::string InformationReport(const std::vector<InformationRow>& rows);

} // namespace tolvane
