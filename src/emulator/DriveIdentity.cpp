#include "emulator/DriveImpl.h"

namespace tolvane::emulator {

namespace {

// GET CONFIGURATION profiles.
namespace profile {
constexpr std::uint16_t None = 0x0000;
constexpr std::uint16_t CdRom = 0x0008;
constexpr std::uint16_t CdR = 0x0009;
constexpr std::uint16_t CdRw = 0x000A;
constexpr std::uint16_t DvdRom = 0x0010;
constexpr std::uint16_t DvdR = 0x0011;
constexpr std::uint16_t DvdRam = 0x0012;
constexpr std::uint16_t DvdRwSequential = 0x0014;
constexpr std::uint16_t DvdPlusRw = 0x001A;
constexpr std::uint16_t DvdPlusR = 0x001B;
// The profiles a reader of CDs and DVDs offers, most capable first.
constexpr std::array<std::uint16_t, 9> Supported{
    DvdPlusR, DvdPlusRw, DvdRwSequential, DvdRam, DvdR, DvdRom, CdRw, CdR, CdRom};
} // namespace profile

std::uint16_t ProfileOf(MediaKind kind)
{
    switch (kind) {
    case MediaKind::PressedCd:
        return profile::CdRom;
    case MediaKind::CdR:
    case MediaKind::BlankCdR:
        return profile::CdR;
    case MediaKind::CdRw:
    case MediaKind::BlankCdRw:
        return profile::CdRw;
    case MediaKind::DvdRom:
        return profile::DvdRom;
    case MediaKind::DvdR:
        return profile::DvdR;
    case MediaKind::DvdRw:
        // A DVD-RW in sequential recording, as one written like a DVD-R is.
        return profile::DvdRwSequential;
    case MediaKind::DvdPlusR:
        return profile::DvdPlusR;
    case MediaKind::DvdPlusRw:
        return profile::DvdPlusRw;
    case MediaKind::DvdRam:
        return profile::DvdRam;
    }
    return profile::None;
}

} // namespace

Outcome EmulatedDrive::Impl::Inquiry(const Request& r)
{
    if ((r.cdb[1] & 0x01) != 0 || r.cdb[2] != 0) {
        return Outcome::Fail(sense::InvalidField); // no vital product data pages
    }
    Bytes a = Answer(36);
    a[0] = 0x05;   // peripheral qualifier 0, device type 5: CD/DVD device
    a[1] = 0x80;   // RMB: removable medium
    a[2] = 0x05;   // version: SPC-3
    a[3] = 0x02;   // response data format 2
    a[4] = 36 - 5; // additional length
    PutPadded(a, 8, 8, identity.vendor);
    PutPadded(a, 16, 16, identity.product);
    PutPadded(a, 32, 4, identity.revision);
    return Outcome::Built(a.size());
}

Outcome EmulatedDrive::Impl::ModeSense(const Request& r)
{
    const std::uint8_t pageControl = r.cdb[2] >> 6;
    const std::uint8_t page = r.cdb[2] & 0x3F;
    if (pageControl == 3) {
        return Outcome::Fail(sense::SavingNotSupported);
    }
    if ((page != 0x2A && page != 0x3F) || r.cdb[3] != 0) {
        return Outcome::Fail(sense::InvalidField);
    }
    constexpr std::size_t HeaderSize = 8; // mode parameter header (10), no block descriptors
    constexpr std::size_t PageSize = 32;  // bytes 0-31 of page 2Ah, no write speed descriptors
    Bytes a = Answer(HeaderSize + PageSize);
    PutBe16(a, 0, static_cast<std::uint16_t>(a.size() - 2)); // mode data length
    Bytes p = a.subspan(HeaderSize);
    p[0] = 0x2A;                                    // PS 0, page code
    p[1] = static_cast<std::uint8_t>(PageSize - 2); // page length
    if (pageControl == 1) {
        return Outcome::Built(a.size()); // nothing is changeable
    }
    // Offsets of the CD/DVD capabilities and mechanical status page (MMC-3
    // layout; MMC-5 keeps the speed fields at the same offsets as obsolete
    // ones, and drive lists still read them there).
    p[2] = 0x3F; // reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R, DVD-RAM
    p[3] = 0x00; // writes nothing
    p[4] = 0x71; // multi-session, Mode 2 form 2, form 1, audio play
    // UPC, ISRC, C2 pointers (when the read model gives them), R-W de-interleaved, R-W, CD-DA
    // stream accurate, CD-DA commands.
    p[5] = readModel.c2 ? 0x7F : 0x6F;
    p[6] =
        static_cast<std::uint8_t>(0x29 | (removalPrevented ? 0x02 : 0)); // tray (001b); eject; lock, locked
    PutBe16(p, 8, identity.readMaximum);                                 // 8-9: maximum read speed, kB/s
    PutBe16(p, 10, 256);                                                 // 10-11: volume levels
    PutBe16(p, 12, 2048);                                                // 12-13: buffer size, KB
    PutBe16(p, 14, identity.readCurrent);                                // 14-15: current read speed
    PutBe16(p, 18, identity.writeMaximum);                               // 18-19: maximum write speed
    PutBe16(p, 20, identity.writeCurrent);                               // 20-21: current write speed
    PutBe16(p, 28, identity.writeCurrent); // 28-29: current write speed selected
    return Outcome::Built(a.size());
}

Outcome EmulatedDrive::Impl::GetConfiguration(const Request& r)
{
    const std::uint8_t rt = r.cdb[1] & 0x03;
    const std::uint16_t startFeature = Be16(r.cdb, 2);
    if (rt == 3) {
        return Outcome::Fail(sense::InvalidField);
    }
    const std::uint16_t current = MediumPresent() ? ProfileOf(disc->media) : profile::None;
    const bool cd = current >= profile::CdRom && current <= profile::CdRw;
    const bool dvd = current >= profile::DvdRom && current <= profile::DvdPlusR;

    struct Feature {
        std::uint16_t code;
        bool current;
        std::size_t size; // with its 4-byte header
    };
    const std::array<Feature, 4> features{{
        {0x0000, true, 4 + 4 * profile::Supported.size()}, // profile list
        {0x0001, true, 12},                                // core
        {0x001E, cd, 8},                                   // CD read
        {0x001F, dvd, 4},                                  // DVD read
    }};
    const auto wanted = [&](const Feature& f) {
        switch (rt) {
        case 0:
            return f.code >= startFeature;
        case 1:
            return f.code >= startFeature && f.current;
        default:
            return f.code == startFeature;
        }
    };
    std::size_t size = 8;
    for (const Feature& f : features) {
        size += wanted(f) ? f.size : 0;
    }
    Bytes a = Answer(size);
    PutBe32(a, 0, static_cast<std::uint32_t>(size - 4)); // data length
    PutBe16(a, 6, current);                              // current profile
    std::size_t off = 8;
    for (const Feature& f : features) {
        if (!wanted(f)) {
            continue;
        }
        PutBe16(a, off, f.code);
        a[off + 3] = static_cast<std::uint8_t>(f.size - 4); // additional length
        switch (f.code) {
        case 0x0000:
            a[off + 2] = 0x03; // version 0, persistent, current
            for (std::size_t k = 0; k < profile::Supported.size(); ++k) {
                PutBe16(a, off + 4 + 4 * k, profile::Supported[k]);
                a[off + 6 + 4 * k] = profile::Supported[k] == current ? 0x01 : 0x00; // current profile
            }
            break;
        case 0x0001:
            a[off + 2] = 0x0B;         // version 2, persistent, current
            PutBe32(a, off + 4, 0x02); // physical interface: ATAPI
            break;
        case 0x001E:
            a[off + 2] = static_cast<std::uint8_t>(0x08 | (f.current ? 1 : 0)); // version 2
            a[off + 4] = readModel.c2 ? 0x03 : 0x01;                            // C2 flags, CD-Text
            break;
        default:
            a[off + 2] = static_cast<std::uint8_t>(f.current ? 1 : 0); // version 0
            break;
        }
        off += f.size;
    }
    return Outcome::Built(a.size());
}

} // namespace tolvane::emulator
