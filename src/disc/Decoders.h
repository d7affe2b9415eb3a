// Pure functions from a drive's response bytes to values.
//
// Each takes exactly the bytes the drive answered (the buffer the command was
// given), checks every length against them before reading, and never changes
// them. Nothing here sends a command, prints, or knows about records.
#pragma once

#include "util/ByteOrder.h"
#include "util/FixedPoint.h"

#include <cstdint>
#include <locale>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvane::decode {

// Bytes from the medium become characters one for one (ISO 8859-1), as UTF-8.
std::string Latin1ToUtf8(ConstBytes bytes);

// --- READ TOC format 0 -------------------------------------------------------
struct TocEntry {
    std::uint8_t adr = 0;
    std::uint8_t control = 0;
    std::uint8_t track = 0; // 0xAA for the lead-out
    // The address as sent: a logical block address, or 0, M, S, F in the MSF form.
    std::uint32_t address = 0;

    std::int32_t Lba() const { return static_cast<std::int32_t>(address); }
    std::uint8_t Minute() const { return static_cast<std::uint8_t>(address >> 16); }
    std::uint8_t Second() const { return static_cast<std::uint8_t>(address >> 8); }
    std::uint8_t Frame() const { return static_cast<std::uint8_t>(address); }
};

struct Toc {
    std::uint8_t firstTrack = 0;
    std::uint8_t lastTrack = 0;
    // Every descriptor slot of the buffer, in order: the answer's descriptors (tracks, then the
    // lead-out), then what the buffer holds beyond them (zeros: buffers are zero-filled before
    // their command), so tracks pair with slots by position as far as the buffer goes.
    std::vector<TocEntry> descriptors;
    // How many of the descriptors the answer's data length covers.
    std::size_t answered = 0;

    // The lead-out: the answered descriptor numbered 0xAA, wherever it stands.
    std::optional<TocEntry> LeadOut() const;
};

constexpr std::uint8_t LeadOutTrack = 0xAA;

// Nothing when the header does not fit.
std::optional<Toc> DecodeToc(ConstBytes response);

// --- READ TOC format 1: session information ----------------------------------
// Nothing unless the data length is that of a session answer (10).
struct SessionInfo {
    std::uint8_t firstSession = 0;
    std::uint8_t lastSession = 0;
    // From the descriptor after the header; 0 when the buffer stops before it.
    std::uint8_t firstTrackOfLastSession = 0;
    std::int32_t startOfLastSession = 0; // logical block address
};
std::optional<SessionInfo> DecodeSessionInfo(ConstBytes response);

// --- READ TOC format 2: full TOC ---------------------------------------------
// What the A0, A1 and A2 points say of one session.
struct SessionLeadOut {
    std::uint8_t session = 0;
    std::uint8_t firstTrack = 0; // A0 PMIN; 0 when the point is missing
    std::uint8_t lastTrack = 0;  // A1 PMIN; 0 when the point is missing
    std::int32_t leadOut = 0;    // A2, as a logical block address
};
// One entry per session that has an A2 point, in the order of the answer.
std::vector<SessionLeadOut> DecodeSessionLeadOuts(ConstBytes response);

// --- READ TOC format 4: ATIP ---------------------------------------------------
// Whether the disc type bit says rewritable; nothing when the answer is too short or is
// no ATIP at all (some drives answer a format-0 TOC instead).
std::optional<bool> DecodeAtipRewritable(ConstBytes response);

// --- READ TOC format 5: CD-Text --------------------------------------------------
// Whether the packs of an answer (after its 4-byte header) are CD-Text: whole packs of
// CD-Text types whose CRCs or sequence numbers hold (some drives answer a format-0 TOC).
bool IsPlausibleCdText(ConstBytes packs);

// --- READ SUB-CHANNEL formats 2 and 3 --------------------------------------------
// The media catalogue number (13 characters) or ISRC (12), when the valid bit is
// set. An all-zero number, which many drives return for a disc without one, is
// no number.
std::optional<std::string> DecodeMcn(ConstBytes response);
std::optional<std::string> DecodeIsrc(ConstBytes response);

// --- READ DISC INFORMATION ----------------------------------------------------------
struct DiscInformation {
    std::uint8_t status = 0;   // 0 empty, 1 incomplete, 2 complete, 3 other
    bool erasable = false;
    std::uint8_t discType = 0; // 0x00 CD-DA/CD-ROM, 0x10 CD-I, 0x20 CD-ROM XA, 0xFF undefined
};
std::optional<DiscInformation> DecodeDiscInformation(ConstBytes response);
// "CD-DA/CD-ROM", "CD-I", "CD-ROM XA", "Undefined", or empty for other values.
std::string DiscFormatName(std::uint8_t discType);

// --- READ CAPACITY ----------------------------------------------------------------
struct Capacity {
    std::uint32_t lastLba = 0;
    std::uint32_t blockLength = 0;
};
std::optional<Capacity> DecodeCapacity(ConstBytes response);

// --- READ DISC STRUCTURE formats 0 and 1 --------------------------------------------
struct DvdPhysical {
    std::uint8_t bookType = 0;
    std::uint8_t layers = 0; // 1 to 4
};
std::optional<DvdPhysical> DecodeDvdPhysical(ConstBytes response);
// "DVD-ROM", "DVD-RAM", "DVD-R", "DVD-RW", "DVD+RW", "DVD+R", or empty for other book types.
std::string DvdBookName(std::uint8_t bookType);
// The regions the disc may be played in: bit n set for region n + 1 (the drive
// reports the regions it may not be played in).
std::optional<std::uint8_t> DecodeDvdRegions(ConstBytes response);

// --- READ TRACK INFORMATION and READ HEADER ------------------------------------------
// The data mode (byte 6, low four bits) of the track information.
std::optional<std::uint8_t> DecodeTrackDataMode(ConstBytes response);
// The data mode (byte 0) of the header of a block.
std::optional<std::uint8_t> DecodeHeaderDataMode(ConstBytes response);

// --- ISO 9660 --------------------------------------------------------------------
struct VolumeDescriptor {
    std::string systemIdentifier;
    std::string volumeIdentifier;
    std::int32_t volumeSpaceSize = 0;
    std::int16_t logicalBlockSize = 0;
    std::int32_t pathTableSize = 0;
    std::int32_t lPathTableLocation = 0;
    std::int32_t optionalLPathTableLocation = 0;
    std::int32_t mPathTableLocation = 0;
    std::int32_t optionalMPathTableLocation = 0;
    std::string volumeSetIdentifier;
    std::string publisherIdentifier;
    std::string dataPreparerIdentifier;
    std::string applicationIdentifier;
    std::string copyrightFileIdentifier;
    std::string abstractFileIdentifier;
    std::string bibliographicFileIdentifier;
    // The 17-byte date fields as recorded.
    std::string creation, modification, expiration, effective;
};

constexpr std::size_t SectorSize = 2048;

// A volume descriptor's type and version: ISO 9660 ("CD001" at byte 1), or High Sierra
// ("CDROM" at byte 9, everything eight bytes later). Nothing for any other block.
struct VolumeDescriptorId {
    std::uint8_t type = 0; // 1 primary, 2 supplementary, 255 terminator
    std::uint8_t version = 0;
    bool highSierra = false;
};
std::optional<VolumeDescriptorId> IdentifyVolumeDescriptor(ConstBytes block);
// Whether a supplementary descriptor announces Joliet (escape sequences %/@, %/C or %/E).
bool IsJoliet(ConstBytes block);
// The primary volume descriptor's fields; nothing unless the block is one (type 1, "CD001").
std::optional<VolumeDescriptor> DecodePrimaryVolumeDescriptor(ConstBytes block);

// The text of a 17-byte ISO 9660 date ("1999123123595900" and a zone byte) in the
// locale's short date and long time formats ("%x %X"); empty when a group of
// digits is not a number, or for the all-zero "not specified" date. Months, days,
// hours, minutes and seconds beyond their ranges roll over into the next unit.
std::string FormatIsoDate(std::string_view field, const std::locale& locale);

// The volume serial number Windows gives a descriptor: four byte lanes summed modulo 256.
std::uint32_t VolumeSerialOfDescriptor(ConstBytes block);
// A TOC in MSF form as Windows' CD file system keeps it for mounting (CdProcessToc in
// Microsoft's published driver source): a CD+ data track after the audio tracks is hidden and
// stands, 2:30 earlier, for the lead-out. Nothing when that driver refuses the TOC (a backwards
// track range, or one that runs past the answer): then the disc gets no serial number.
struct CdfsToc {
    Toc toc;
    bool audioTracks = false;
    bool dataTracks = false;
};
std::optional<CdfsToc> CdfsViewOfToc(Toc msfToc);
// The serial number Windows gives a disc it mounts as audio, from that view of its TOC
// (CdTocSerial in the same source).
std::uint32_t VolumeSerialOfAudioToc(const Toc& cdfsToc);

// --- CDDB -----------------------------------------------------------------------
// The freedb disc id from a TOC in MSF form: digit sums of each track's start
// second, the playing time from the first track to the lead-out (the 0xAA
// descriptor, else the slot after the last track), the number of tracks.
// Nothing when the buffer holds no slot for them.
std::optional<std::uint32_t> CddbId(const Toc& msfToc);
// The sum of the decimal digits; 0 for numbers below 1.
std::int32_t DigitSum(std::int32_t n);

} // namespace tolvane::decode
