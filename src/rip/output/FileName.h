// File names of a rip's tracks from a template such as "%N - %t":
//
//   %N  track number, two digits     %n  track number
//   %t  track title                  %a  track artist
//   %T  album title                  %A  album artist
//   %%  a percent sign
//
// Any other "%x" stays as it is written. The result is one file name (no folders, no extension),
// safe on Linux and Windows alike.
#pragma once

#include <string>
#include <string_view>

namespace tolvane::rip {

struct NameFields {
    int track = 0;
    std::string title;
    std::string artist;
    std::string album;
    std::string albumArtist;
};

// "Track 1", "Track 2": the names rips have always had.
inline constexpr std::string_view DefaultNameTemplate = "Track %n";
// Leaves room for ".flac" and the like within the 255 bytes file systems allow a name.
inline constexpr std::size_t MaxNameBytes = 240;

// The characters that file systems refuse (/ \ : * ? " < > |) become '_', control characters are
// dropped (tabs and line breaks become spaces), leading dots and spaces and trailing dots and
// spaces go, names Windows keeps for devices (CON, NUL, COM1 ...) get a '_' appended, and the
// name is cut to MaxNameBytes at a character's boundary. When nothing is left, or the template
// names texts and every one of them is empty, the name is "Track N".
std::string FileNameFromTemplate(std::string_view pattern, const NameFields& fields);

} // namespace tolvane::rip
