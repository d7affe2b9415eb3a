#include "disc/OpticalDisk.h"

#include "disc/Decoders.h"
#include "disc/WavWriter.h"
#include "util/CdText.h"
#include "util/FormatEx.h"

#include <array>
#include <cstdio>
#include <limits>
#include <stdexcept>

namespace tolvane {

namespace {

constexpr const char* InvalidDrive = "Invalid drive";
constexpr std::int32_t RawSectorSize = 2352;
constexpr std::int32_t DataSectorSize = 2048;
constexpr std::int32_t VolumeDescriptorStart = 16;
// Volume descriptors are looked for up to this many blocks past block 16 (Windows has no
// limit; a disc needs a handful).
constexpr std::int32_t VolumeDescriptorLimit = 256;
constexpr std::uint8_t PrimaryType = 1;
constexpr std::uint8_t TerminatorType = 255;
constexpr auto BecomingReadyPoll = std::chrono::milliseconds(250);

// A response buffer: `size` bytes are asked for; some commands are given one byte more.
template <std::size_t N> struct Buffer {
    std::array<std::uint8_t, N> bytes{};
    std::uint8_t* data() { return bytes.data(); }
    ConstBytes First(std::size_t n) const { return ConstBytes(bytes.data(), n); }
};

std::locale UserLocale()
{
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

std::string MsfText(const decode::TocEntry& e)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned{e.Minute()}, unsigned{e.Second()},
                  unsigned{e.Frame()});
    return text;
}

FixedPoint RawSizeOf(std::int32_t blocks, bool audio)
{
    return FixedPoint::FromWhole(blocks) * (audio ? RawSectorSize : DataSectorSize);
}

bool IsBecomingReady(const ScsiResult& r)
{
    return r.transport == TransportOutcome::Delivered && r.status == scsi::StatusCheckCondition &&
           r.SenseKey() == scsi::SenseNotReady && r.Asc() == 0x04 && r.Ascq() == 0x01;
}

// The volume descriptor sequence that starts at block `base` + 16, as Windows' CD file system
// reads it (CdFindPrimaryVd and CdFindActiveVolDescriptor in Microsoft's published driver
// source): the primary descriptor ends the first search; then a Joliet descriptor, when the
// sequence has one, takes its place. A block that cannot be read after the primary one was
// found fails the mount: the primary is found, but there is no serial.
struct DescriptorSearch {
    bool primaryFound = false;
    std::optional<std::uint32_t> serial;
};

DescriptorSearch SearchDescriptors(MMC& mmc, std::int32_t base)
{
    std::array<std::uint8_t, decode::SectorSize> block{};
    const auto read = [&](std::int32_t i) {
        return mmc.Read(base + VolumeDescriptorStart + i, decode::SectorSize, block.data());
    };
    DescriptorSearch search;
    std::uint32_t primary = 0;
    for (std::int32_t i = 0; i < VolumeDescriptorLimit && !search.primaryFound; ++i) {
        if (!read(i)) {
            return search;
        }
        const auto id = decode::IdentifyVolumeDescriptor(block);
        if (!id || id->version != 1 || id->type == TerminatorType) {
            return search;
        }
        if (id->type == PrimaryType) {
            search.primaryFound = true;
            primary = decode::VolumeSerialOfDescriptor(block);
        }
    }
    if (!search.primaryFound) {
        return search;
    }
    for (std::int32_t i = 0; i < VolumeDescriptorLimit; ++i) {
        if (!read(i)) {
            return search;
        }
        const auto id = decode::IdentifyVolumeDescriptor(block);
        if (!id || id->highSierra || id->version != 1 || id->type == TerminatorType) {
            break;
        }
        if (decode::IsJoliet(block)) {
            search.serial = decode::VolumeSerialOfDescriptor(block);
            return search;
        }
    }
    search.serial = primary;
    return search;
}

// What Windows reports as the volume serial number of the disc: its CD file system reads the
// TOC in MSF form first; a disc of audio tracks only gets the TOC's serial; any other disc is
// searched for volume descriptors, from the last session's first track when the disc has
// several sessions (and from the start when that finds none), else from block 0; a disc
// without them that starts with an audio track is mounted as audio after all.
std::optional<std::uint32_t> VolumeSerial(MMC& mmc)
{
    Buffer<804> tocBuffer;
    if (!mmc.ReadTOC(true, 0, 804, tocBuffer.data())) {
        return std::nullopt;
    }
    const auto toc = decode::DecodeToc(tocBuffer.First(804));
    const auto view = toc ? decode::CdfsViewOfToc(*toc) : std::nullopt;
    if (!view) {
        return std::nullopt;
    }
    if (view->dataTracks) {
        std::vector<std::int32_t> bases{0};
        Buffer<12> info;
        if (mmc.ReadTOC(false, 1, 12, info.data())) {
            const auto s = decode::DecodeSessionInfo(info.First(12));
            if (s && s->firstSession != s->lastSession) {
                bases.insert(bases.begin(), s->startOfLastSession);
            }
        }
        for (const std::int32_t base : bases) {
            if (const DescriptorSearch search = SearchDescriptors(mmc, base); search.primaryFound) {
                return search.serial;
            }
        }
    }
    if (!view->audioTracks || (view->toc.descriptors[0].control & 0x4) != 0) {
        return std::nullopt;
    }
    return decode::VolumeSerialOfAudioToc(view->toc);
}

} // namespace

OpticalDisk::OpticalDisk(Platform& platform, std::shared_ptr<Clock> clock)
    : platform_(platform), clock_(clock ? std::move(clock) : std::make_shared<SystemClock>()),
      locale_(UserLocale())
{
}

OpticalDisk::~OpticalDisk() = default;

MMC& OpticalDisk::Transport()
{
    if (!mmc_) {
        mmc_ = std::make_unique<MMC>(platform_);
    }
    return *mmc_;
}

std::shared_ptr<const CD> OpticalDisk::CD()
{
    if (!cd_) {
        cd_ = std::make_shared<tolvane::CD>();
    }
    return cd_;
}

std::shared_ptr<const CDText> OpticalDisk::CDText()
{
    if (!cdText_) {
        cdText_ = std::make_shared<tolvane::CDText>();
    }
    return cdText_;
}

std::shared_ptr<const DVD> OpticalDisk::DVD()
{
    if (!dvd_) {
        dvd_ = std::make_shared<tolvane::DVD>();
    }
    return dvd_;
}

std::shared_ptr<const Track> OpticalDisk::Track(std::int16_t Index)
{
    if (Index < 1 || Index > count_ || static_cast<std::size_t>(Index) >= tracks_.size()) {
        return nullptr;
    }
    auto& slot = tracks_[static_cast<std::size_t>(Index)];
    if (!slot) {
        slot = std::make_shared<tolvane::Track>();
    }
    return slot;
}

void OpticalDisk::DropRecords()
{
    cd_.reset();
    cdText_.reset();
    dvd_.reset();
    count_ = 0;
    firstTrack_ = 0;
    tracks_.clear();
}

bool OpticalDisk::Create(const std::string& drive)
{
    DropRecords();
    errorMessage_.clear();
    drive_.clear();
    MMC& mmc = Transport();
    if (mmc.Create(drive, "")) {
        drive_ = drive;
        return true;
    }
    errorMessage_ = mmc.ErrorMessage();
    return false;
}

void OpticalDisk::Destroy()
{
    DropRecords();
    errorMessage_.clear();
    if (mmc_) {
        mmc_->Destroy();
    }
    drive_.clear();
}

bool OpticalDisk::Check()
{
    errorMessage_.clear();
    if (drive_.empty()) {
        errorMessage_ = InvalidDrive;
        return false;
    }
    MMC& mmc = Transport();
    // A drive spinning a disc up says NOT READY / BECOMING READY; it is asked again
    // until it is ready or the limit has passed.
    const Clock::Duration deadline = clock_->Now() + BecomingReadyLimit;
    for (;;) {
        if (mmc.TestUnitReady()) {
            return true;
        }
        if (!IsBecomingReady(mmc.LastResult()) || clock_->Now() >= deadline) {
            return false;
        }
        clock_->Sleep(BecomingReadyPoll);
    }
}

void OpticalDisk::Eject()
{
    errorMessage_.clear();
    if (drive_.empty()) {
        errorMessage_ = InvalidDrive;
        return;
    }
    Transport().StartStopUnit(false);
}

void OpticalDisk::Load()
{
    errorMessage_.clear();
    if (drive_.empty()) {
        errorMessage_ = InvalidDrive;
        return;
    }
    Transport().StartStopUnit(true);
}

bool OpticalDisk::Read()
{
    DropRecords();
    errorMessage_.clear();
    if (drive_.empty()) {
        errorMessage_ = InvalidDrive;
        return false;
    }
    try {
        return ReadSteps();
    } catch (const std::exception& e) {
        errorMessage_ = e.what();
    } catch (...) {
        errorMessage_ = "Unknown error";
    }
    DropRecords();
    return false;
}

bool OpticalDisk::ReadSteps()
{
    MMC& mmc = Transport();
    cd_ = std::make_shared<tolvane::CD>();
    dvd_ = std::make_shared<tolvane::DVD>();
    tolvane::CD& cd = *cd_;

    // 1. The volume serial number, as Windows' CD file system gives it when it mounts the disc.
    if (const auto serial = VolumeSerial(mmc)) {
        cd.SetSerialNumber(FormatEx::FormatSerialNumber(static_cast<std::int32_t>(*serial)));
    }

    // 2. Disc information.
    {
        Buffer<34> b;
        if (mmc.ReadDiscInformation(34, b.data())) {
            if (const auto info = decode::DecodeDiscInformation(b.First(34))) {
                cd.SetDiscStatus(info->status);
                cd.SetDiscFormat(decode::DiscFormatName(info->discType));
                cd.SetErasable(info->erasable);
            }
        }
    }

    // 3. The primary volume descriptor at block 16.
    {
        Buffer<decode::SectorSize> b;
        if (mmc.Read(VolumeDescriptorStart, decode::SectorSize, b.data())) {
            if (const auto vd = decode::DecodePrimaryVolumeDescriptor(b.First(decode::SectorSize))) {
                cd.SetSystemIdentifier(vd->systemIdentifier);
                cd.SetVolumeIdentifier(vd->volumeIdentifier);
                cd.SetVolumeSpaceSize(vd->volumeSpaceSize);
                cd.SetLogicalBlockSize(vd->logicalBlockSize);
                cd.SetPathTableSize(vd->pathTableSize);
                cd.SetLPathTableLocation(vd->lPathTableLocation);
                cd.SetOptionalLPathTableLocation(vd->optionalLPathTableLocation);
                cd.SetMPathTableLocation(vd->mPathTableLocation);
                cd.SetOptionalMPathTableLocation(vd->optionalMPathTableLocation);
                cd.SetVolumeSetIdentifier(vd->volumeSetIdentifier);
                cd.SetPublisherIdentifier(vd->publisherIdentifier);
                cd.SetDataPreparerIdentifier(vd->dataPreparerIdentifier);
                cd.SetApplicationIdentifier(vd->applicationIdentifier);
                cd.SetCopyrightFileIdentifier(vd->copyrightFileIdentifier);
                cd.SetAbstractFileIdentifier(vd->abstractFileIdentifier);
                cd.SetBibliographicalFileIdentifier(vd->bibliographicFileIdentifier);
                cd.SetVolumeCreation(decode::FormatIsoDate(vd->creation, locale_));
                cd.SetVolumeModification(decode::FormatIsoDate(vd->modification, locale_));
                cd.SetVolumeExpiration(decode::FormatIsoDate(vd->expiration, locale_));
                cd.SetVolumeEffective(decode::FormatIsoDate(vd->effective, locale_));
            }
        }
    }

    // 4. Capacity.
    {
        Buffer<8> b;
        if (mmc.ReadCapacity(8, b.data())) {
            if (const auto c = decode::DecodeCapacity(b.First(8))) {
                // Both numbers are signed 32-bit: an address of 0x80000000 or more reads as
                // negative; only the largest positive one cannot be counted up.
                const auto last = static_cast<std::int32_t>(c->lastLba);
                if (last == std::numeric_limits<std::int32_t>::max()) {
                    throw std::overflow_error("Overflow: last logical block address " + std::to_string(last));
                }
                const std::int32_t blocks = last + 1;
                cd.SetTotalLogicalBlocks(blocks);
                cd.SetTotalRawSize(FixedPoint::FromWhole(blocks) *
                                   std::int64_t{static_cast<std::int32_t>(c->blockLength)});
            }
        }
    }

    // 5. DVD physical format.
    {
        Buffer<2053> b;
        if (mmc.ReadDiscStructure(0, 2052, b.data())) {
            if (const auto p = decode::DecodeDvdPhysical(b.First(2052))) {
                if (const std::string name = decode::DvdBookName(p->bookType); !name.empty()) {
                    cd.SetDiscType(name);
                }
                dvd_->SetLayers(p->layers);
            }
        }
    }

    // 6. DVD region.
    {
        Buffer<9> b;
        if (mmc.ReadDiscStructure(1, 8, b.data())) {
            if (const auto regions = decode::DecodeDvdRegions(b.First(8))) {
                dvd_->SetRegion(*regions);
            }
        }
    }

    // 7. Media catalogue number.
    {
        Buffer<25> b;
        if (mmc.ReadSubChannel(2, 0, 24, b.data())) {
            if (const auto mcn = decode::DecodeMcn(b.First(24))) {
                cd.SetUPC(*mcn);
            }
        }
    }

    // 8. The tracks of the table of contents.
    std::uint8_t firstTrack = 0;
    {
        Buffer<804> b;
        if (mmc.ReadTOC(false, 0, 804, b.data())) {
            const auto toc = decode::DecodeToc(b.First(804));
            if (toc) {
                firstTrack = toc->firstTrack;
                firstTrack_ = toc->firstTrack;
                count_ = toc->lastTrack;
                tracks_.assign(std::size_t{count_} + 1, nullptr);
                const std::optional<decode::TocEntry> leadOut = toc->LeadOut();
                for (std::uint32_t n = toc->firstTrack; n <= toc->lastTrack && n != 0; ++n) {
                    // Descriptors pair with tracks by their position after the first
                    // track, so a disc that starts at track 4 reads right; the last track
                    // ends at the lead-out, the descriptor numbered 0xAA. An answer shorter
                    // than its track range leaves zeros in the slots it did not fill.
                    const std::size_t k = n - toc->firstTrack;
                    const bool last = n == toc->lastTrack && leadOut;
                    if (k + (last ? 0 : 1) >= toc->descriptors.size()) {
                        throw std::out_of_range("The table of contents holds no descriptor for track " +
                                                std::to_string(n));
                    }
                    const decode::TocEntry& own = toc->descriptors[k];
                    const decode::TocEntry& next = last ? *leadOut : toc->descriptors[k + 1];

                    auto track = std::make_shared<tolvane::Track>();
                    auto text = std::make_shared<tolvane::CDText>();
                    track->SetCDText(text);
                    const bool data = (own.control & 0x4) != 0;
                    std::string mode = data ? "" : "Audio";
                    if (data) {
                        Buffer<28> info;
                        if (mmc.ReadTrackInformation(static_cast<std::uint8_t>(n), 28, info.data())) {
                            const auto m = decode::DecodeTrackDataMode(info.First(28));
                            if (m == std::optional<std::uint8_t>{1}) {
                                mode = "Mode 1";
                            } else if (m == std::optional<std::uint8_t>{2}) {
                                mode = "Mode 2";
                            }
                        }
                        Buffer<8> header;
                        if (mmc.ReadHeader(true, own.Lba(), 8, header.data())) {
                            const auto m = decode::DecodeHeaderDataMode(header.First(8));
                            if (m == std::optional<std::uint8_t>{1}) {
                                mode = "Mode 1";
                            } else if (m == std::optional<std::uint8_t>{2}) {
                                mode = "Mode 2";
                            }
                        }
                    }
                    track->SetMode(mode);
                    track->SetDigitalCopy((own.control & 0x2) != 0);
                    track->SetPreemphasis2((own.control & 0x1) != 0);
                    track->SetPreemphasis4((own.control & 0x9) == 0x9);
                    track->SetLBA(own.Lba());
                    const std::int64_t length = std::int64_t{next.Lba()} - own.Lba();
                    if (length < std::numeric_limits<std::int32_t>::min() ||
                        length > std::numeric_limits<std::int32_t>::max()) {
                        throw std::overflow_error("Overflow: length of track " + std::to_string(n));
                    }
                    track->SetLogicalBlocks(static_cast<std::int32_t>(length));
                    track->SetRawSize(RawSizeOf(track->LogicalBlocks(), mode == "Audio"));

                    Buffer<25> sub;
                    if (mmc.ReadSubChannel(3, static_cast<std::uint8_t>(n), 24, sub.data())) {
                        if (const auto isrc = decode::DecodeIsrc(sub.First(24))) {
                            track->SetISRC(*isrc);
                        }
                    }
                    tracks_[n] = std::move(track);
                }
            }
        }
    }

    // 9. Start times as minutes:seconds:frames, and the CDDB id.
    {
        Buffer<804> b;
        if (mmc.ReadTOC(true, 0, 804, b.data())) {
            if (const auto toc = decode::DecodeToc(b.First(804))) {
                if (tracks_.empty() && toc->lastTrack >= toc->firstTrack && toc->lastTrack != 0) {
                    throw std::logic_error(
                        "The table of contents in MSF form lists tracks the first one did not");
                }
                for (std::uint32_t n = toc->firstTrack; n <= toc->lastTrack && n != 0; ++n) {
                    const std::size_t k = n - toc->firstTrack;
                    if (k >= toc->descriptors.size() || n >= tracks_.size()) {
                        throw std::out_of_range("The table of contents holds no descriptor for track " +
                                                std::to_string(n));
                    }
                    if (tracks_[n]) {
                        tracks_[n]->SetMSF(MsfText(toc->descriptors[k]));
                    }
                }
                if (const auto id = decode::CddbId(*toc)) {
                    cd.SetCDDB(FormatEx::FormatHex(static_cast<std::int32_t>(*id), 8));
                }
            }
        }
    }

    // 10. Sessions; on a disc of several, each session's last track ends at that
    // session's own lead-out, not 11,400 blocks later at the next session's start.
    {
        Buffer<9> b;
        if (mmc.ReadTOC(false, 1, 9, b.data())) {
            if (const auto info = decode::DecodeSessionInfo(b.First(9))) {
                cd.SetSessions(info->lastSession);
                if (info->lastSession > 1) {
                    Buffer<4 + 11 * 256> full;
                    if (mmc.ReadTOC(false, 2, static_cast<std::int16_t>(full.bytes.size()), full.data())) {
                        for (const auto& s : decode::DecodeSessionLeadOuts(full.First(full.bytes.size()))) {
                            if (s.lastTrack == 0 || s.lastTrack >= tracks_.size() || !tracks_[s.lastTrack]) {
                                continue;
                            }
                            tolvane::Track& last = *tracks_[s.lastTrack];
                            last.SetLogicalBlocks(s.leadOut - last.LBA());
                            last.SetRawSize(RawSizeOf(last.LogicalBlocks(), last.Mode() == "Audio"));
                        }
                    }
                }
            }
        }
    }

    // 11. A recordable CD has an ATIP.
    {
        Buffer<28> b;
        if (mmc.ReadTOC(false, 4, 28, b.data())) {
            if (const auto rw = decode::DecodeAtipRewritable(b.First(28))) {
                cd.SetDiscType(*rw ? "CD-RW" : "CD-R");
            }
        }
    }

    // 12. CD-Text: titles and performers of the first language block.
    {
        Buffer<1805> b;
        if (!mmc.ReadTOC(false, 5, 1804, b.data())) {
            return true;
        }
        const std::size_t announced = std::size_t{Be16(b.First(2), 0)} + 2;
        const std::size_t end = std::min<std::size_t>(announced, 1804);
        const ConstBytes packs = end > 4 ? b.First(end).subspan(4) : ConstBytes{};
        // An answer that is no CD-Text counts as a failed command.
        if (!packs.empty() && !decode::IsPlausibleCdText(packs)) {
            return true;
        }
        const cdtext::Decoded decoded = cdtext::Decode(packs);
        cdText_ = std::make_shared<tolvane::CDText>();
        if (!decoded.blocks.empty()) {
            const cdtext::Block& block = decoded.blocks.front();
            const auto text = [&block](std::uint8_t type, std::size_t i) {
                const std::string& raw = block.Text(type, i);
                return decode::Latin1ToUtf8(
                    ConstBytes(reinterpret_cast<const std::uint8_t*>(raw.data()), raw.size()));
            };
            cdText_->SetTitle(text(cdtext::Title, 0));
            cdText_->SetArtist(text(cdtext::Performer, 0));
            for (std::size_t n = firstTrack; n < tracks_.size() && n != 0; ++n) {
                if (!tracks_[n]) {
                    continue;
                }
                auto record = std::make_shared<tolvane::CDText>();
                record->SetTitle(text(cdtext::Title, n - firstTrack + 1));
                record->SetArtist(text(cdtext::Performer, n - firstTrack + 1));
                tracks_[n]->SetCDText(std::move(record));
            }
        }
    }
    return true;
}

std::shared_ptr<const tolvane::Track> OpticalDisk::ExtractableTrack(std::uint8_t trk)
{
    if (drive_.empty()) {
        errorMessage_ = InvalidDrive;
        return nullptr;
    }
    if (trk == 0 || trk > count_) {
        errorMessage_ = "Track out of range";
        return nullptr;
    }
    auto track = Track(trk);
    if (track->Mode() != "Audio") {
        errorMessage_ = "Invalid mode";
        return nullptr;
    }
    return track;
}

bool OpticalDisk::Extract(std::uint8_t trk, const std::string& file)
{
    errorMessage_.clear();
    try {
        const auto track = ExtractableTrack(trk);
        return track && ExtractSectors(*track, file);
    } catch (const std::exception& e) {
        errorMessage_ = e.what();
    } catch (...) {
        errorMessage_ = "Unknown error";
    }
    return false;
}

bool OpticalDisk::ExtractSectors(const tolvane::Track& track, const std::string& file)
{
    WavWriter wav;
    if (!wav.Open(file)) {
        errorMessage_ = "Invalid handle";
        return false;
    }
    const std::int32_t sectors = std::max(track.LogicalBlocks(), 0);
    // Each chunk of the header that cannot be started ends the copy with its own message,
    // leaving the header as far as it got.
    const char* headerError = nullptr;
    if (!wav.StartRiff()) {
        headerError = "Error creating RIFF chunk";
    } else if (!wav.StartFormat()) {
        headerError = "Error creating fmt chunk";
    } else if (!wav.StartData(static_cast<std::uint32_t>(sectors) * RawSectorSize)) {
        headerError = "Error creating data chunk";
    }
    if (headerError) {
        errorMessage_ = headerError;
        wav.Abandon();
        return false;
    }

    const bool result = CopySectors(track, [&wav](ConstBytes sector) { return wav.Write(sector); });
    if (!wav.Complete() && errorMessage_.empty()) {
        errorMessage_ = "Error writing file";
        return false;
    }
    return result;
}

bool OpticalDisk::CopySectors(const tolvane::Track& track, const std::function<bool(ConstBytes)>& write)
{
    const std::int32_t sectors = std::max(track.LogicalBlocks(), 0);
    MMC& mmc = Transport();
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(BurstSectors) * RawSectorSize);
    std::int64_t extracted = WavWriter::HeaderSize;
    bool result = false;
    bool stop = false;
    for (std::int32_t done = 0; done < sectors && !stop;) {
        const std::int32_t burst = std::min(BurstSectors, sectors - done);
        const std::int32_t lba = track.LBA() + done;
        std::int32_t readable = burst;
        if (!mmc.ReadCD(lba, burst, burst * RawSectorSize, buffer.data())) {
            // Read the burst again one sector at a time, so that the sectors before
            // a bad one still reach the file.
            readable = 0;
            while (readable < burst &&
                   mmc.ReadCD(lba + readable, static_cast<std::int16_t>(RawSectorSize),
                              buffer.data() + static_cast<std::ptrdiff_t>(readable) * RawSectorSize)) {
                ++readable;
            }
        }
        for (std::int32_t i = 0; i < readable; ++i) {
            extracted += RawSectorSize;
            if (extracted > std::numeric_limits<std::int32_t>::max()) {
                throw std::overflow_error("Overflow: track too long for a WAV file");
            }
            bool cancel = false;
            if (change_) {
                change_(static_cast<std::int32_t>(extracted), cancel);
            }
            if (cancel) {
                stop = true;
                break;
            }
            const ConstBytes sector(buffer.data() + static_cast<std::ptrdiff_t>(i) * RawSectorSize,
                                    RawSectorSize);
            if (!write(sector)) {
                errorMessage_ = "Error writing file";
                result = false;
                stop = true;
                break;
            }
            if (audio_) {
                audio_(sector);
            }
            result = true;
        }
        if (!stop && readable < burst) {
            errorMessage_ = "Error reading bytes";
            result = false;
            stop = true;
        }
        done += burst;
    }
    return result;
}

bool OpticalDisk::ExtractTo(std::uint8_t trk, const std::function<bool(ConstBytes sector)>& write)
{
    errorMessage_.clear();
    try {
        const auto track = ExtractableTrack(trk);
        return track && CopySectors(*track, write);
    } catch (const std::exception& e) {
        errorMessage_ = e.what();
    } catch (...) {
        errorMessage_ = "Unknown error";
    }
    return false;
}

} // namespace tolvane
