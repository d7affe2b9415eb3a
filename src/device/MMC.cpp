#include "device/MMC.h"

#include "device/platform/RequestRecords.h"
#include "device/platform/ScsiOpcodes.h"
#include "util/ByteOrder.h"

#include <algorithm>
#include <array>
#include <exception>

namespace tolvane {

namespace {

constexpr const char* AspiLibrary = "WnAspi32.dll";
constexpr int AspiTargetsPerAdapter = 8;

namespace op = scsi::op;

constexpr std::uint8_t MsfBit = 0x02;

template <std::size_t N> using Cdb = std::array<std::uint8_t, N>;

template <std::size_t N> constexpr std::uint8_t LengthOf(const Cdb<N>&)
{
    static_assert(N <= 16);
    return static_cast<std::uint8_t>(N);
}

// The allocation length field carries the buffer size as it stands; callers keep it non-negative.
std::uint16_t AllocationLength(std::int16_t outputbuffersize)
{
    return static_cast<std::uint16_t>(outputbuffersize);
}

// The ASPI record has a 32-bit buffer pointer. Where pointers are wider the layer
// points the record at the buffer itself (see AspiLayer::Send).
std::uint32_t AddressOf(const std::uint8_t* buffer)
{
    if constexpr (sizeof(void*) == sizeof(std::uint32_t)) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
    } else {
        return 0;
    }
}

bool AspiAvailable(Platform& platform)
{
    // Both routines are asked for, as the library may export only one of them.
    const bool supportInfo = platform.IsLibraryAvailable(AspiLibrary, "GetASPI32SupportInfo");
    const bool sendCommand = platform.IsLibraryAvailable(AspiLibrary, "SendASPI32Command");
    return supportInfo && sendCommand;
}

// What an execute-command record says about the command, in the terms of the pass-through.
ScsiResult FromAspiRecord(const records::aspi::Exec& srb)
{
    namespace aspi = records::aspi;
    ScsiResult result;
    result.status = srb[aspi::OffTargStat];
    if (result.status == scsi::StatusCheckCondition) {
        std::copy_n(srb.begin() + aspi::OffSenseArea, aspi::SenseLen, result.sense.begin());
        result.senseLength = aspi::SenseLen;
    }
    if (srb[aspi::OffStatus] == aspi::SS_COMP ||
        (srb[aspi::OffHaStat] == 0 && result.status != scsi::StatusGood)) {
        result.transport = TransportOutcome::Delivered;
    } else if (srb[aspi::OffHaStat] != 0) {
        result.transport = TransportOutcome::HostError;
    } else {
        // Aborted, still pending or refused by the layer: the drive gave no verdict.
        result.transport = TransportOutcome::DriverError;
    }
    return result;
}

} // namespace

MMC::MMC(Platform& platform) : platform_(platform)
{
}

MMC::~MMC() = default;

bool MMC::Create(const std::string& drive, const std::string& interfaceName)
{
    errorMessage_.clear();
    // Checked before anything is reset, so that the drive already open keeps its
    // interface and address and stays usable.
    if (handle_) {
        errorMessage_ = "Handle already open";
        return false;
    }
    interface_.clear();
    pathId_ = 0;
    targetId_ = 0;
    lun_ = 0;
    try {
        return CreateChecked(drive, interfaceName);
    } catch (const std::exception& e) {
        errorMessage_ = e.what();
    } catch (...) {
        errorMessage_ = "Unknown error";
    }
    handle_.reset();
    return false;
}

bool MMC::CreateChecked(const std::string& drive, const std::string& interfaceName)
{
    if (!platform_.IsOpticalDrive(drive)) {
        errorMessage_ = "Error accessing drive";
        return false;
    }

    if (interfaceName.empty()) {
        interface_ = AspiAvailable(platform_) ? InterfaceAspi : InterfaceSpti;
    } else if (interfaceName == InterfaceAspi) {
        if (AspiAvailable(platform_)) {
            interface_ = InterfaceAspi;
        }
    } else if (interfaceName == InterfaceSpti) {
        interface_ = InterfaceSpti;
    }

    if (interface_ == InterfaceAspi) {
        if (FindAspiDevice(drive)) {
            return true;
        }
        errorMessage_ = "Error accessing drive";
        return false;
    }
    if (interface_ == InterfaceSpti) {
        return OpenSpti(drive);
    }
    errorMessage_ = "Error accessing driver";
    return false;
}

bool MMC::FindAspiDevice(const std::string& drive)
{
    namespace aspi = records::aspi;
    AspiLayer* layer = platform_.Aspi();
    if (!layer) {
        return false;
    }
    const std::uint32_t supportInfo = layer->GetSupportInfo();
    if (supportInfo / 256 == 0) {
        return false;
    }
    const int adapters = static_cast<int>(supportInfo & 0xFF);

    for (int a = 0; a < adapters; ++a) {
        const auto adapter = static_cast<std::uint8_t>(a);
        auto inquiry = aspi::BuildHaInquiry(adapter);
        if (!layer->Send(inquiry, {}) || inquiry[aspi::OffStatus] != aspi::SS_COMP) {
            continue;
        }
        for (int t = 0; t < AspiTargetsPerAdapter; ++t) {
            const auto target = static_cast<std::uint8_t>(t);
            auto devType = aspi::BuildDevType(adapter, target);
            if (!layer->Send(devType, {}) || devType[aspi::OffStatus] != aspi::SS_COMP ||
                devType[aspi::OffDeviceType] != aspi::DTYPE_CDROM) {
                continue;
            }
            // ASPI numbers devices its own way; the drive's Windows address tells
            // which of its CD-ROM devices is the one behind this drive letter.
            handle_ = platform_.Open(drive);
            if (!handle_) {
                return false;
            }
            ScsiAddress address;
            if (!handle_->GetScsiAddress(address)) {
                handle_.reset();
                return false;
            }
            if (address.PortNumber == adapter && address.TargetId == target) {
                hostAdapter_ = adapter;
                aspiTarget_ = target;
                return true;
            }
            handle_.reset();
        }
    }
    return false;
}

bool MMC::OpenSpti(const std::string& drive)
{
    handle_ = platform_.Open(drive);
    if (!handle_) {
        errorMessage_ = "Invalid handle";
        return false;
    }
    ScsiAddress address;
    if (!handle_->GetScsiAddress(address)) {
        errorMessage_ = "Error reading SCSI address";
        handle_.reset();
        return false;
    }
    pathId_ = address.PathId;
    targetId_ = address.TargetId;
    lun_ = address.Lun;
    return true;
}

void MMC::Destroy()
{
    errorMessage_.clear();
    handle_.reset();
}

bool MMC::ExecuteCommand(std::uint8_t cdbLength, const std::uint8_t* cdb, std::int32_t bufferSize,
                         std::uint8_t* bufferAddress)
{
    const std::span<const std::uint8_t> block(cdb, cdbLength);
    ScsiResult result; // NotSent
    if (bufferSize >= 0 && (bufferAddress != nullptr || bufferSize == 0)) {
        const std::span<std::uint8_t> data =
            bufferSize > 0 ? std::span<std::uint8_t>(bufferAddress, static_cast<std::size_t>(bufferSize))
                           : std::span<std::uint8_t>();
        // A changed medium or a reset is reported to the next command, and several
        // may be pending; only the answer after them counts.
        for (int attempt = 0; attempt <= UnitAttentionRetries; ++attempt) {
            // A short answer must not leave the previous contents behind for the decoders.
            std::ranges::fill(data, std::uint8_t{0});
            result = SendOnce(block, data);
            if (!result.IsUnitAttention()) {
                break;
            }
        }
    }
    lastResult_ = result;
    if (observer_) {
        observer_(block, lastResult_);
    }
    return lastResult_.Good();
}

ScsiResult MMC::SendOnce(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data)
{
    if (interface_ == InterfaceSpti) {
        return handle_ ? handle_->Execute(cdb, data) : ScsiResult{};
    }
    if (interface_ == InterfaceAspi) {
        return SendAspi(cdb, data);
    }
    return {};
}

ScsiResult MMC::SendAspi(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data)
{
    // After Destroy the command still goes to the adapter and target last matched:
    // ASPI needs no handle.
    AspiLayer* layer = platform_.Aspi();
    if (!layer) {
        return {};
    }
    auto srb = records::aspi::BuildExec(hostAdapter_, aspiTarget_, cdb,
                                        static_cast<std::int32_t>(data.size()), AddressOf(data.data()), 0);
    if (!layer->Send(srb, data)) {
        return {};
    }
    return FromAspiRecord(srb);
}

// --- The command set ---------------------------------------------------------------

bool MMC::GetEventStatusNotification(std::uint8_t req, std::int16_t outputbuffersize,
                                     std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::GetEventStatusNotification;
    cdb[1] = 0x01;                                       // polled
    cdb[4] = req;                                        // notification class request
    PutBe16(cdb, 7, AllocationLength(outputbuffersize)); // 7-8: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::Inquiry(std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<6> cdb{};
    cdb[0] = op::Inquiry;                                // standard data (EVPD 0, page 0)
    PutBe16(cdb, 3, AllocationLength(outputbuffersize)); // 3-4: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ModeSense(std::uint8_t pcode, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::ModeSense10;
    cdb[2] = pcode;                                      // page control 0 (current values), page code
    PutBe16(cdb, 7, AllocationLength(outputbuffersize)); // 7-8: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::Read(std::int32_t logicalblockaddr, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::Read10;
    PutBe32(cdb, 2, static_cast<std::uint32_t>(logicalblockaddr)); // 2-5: logical block address
    cdb[8] = 1;                                                    // transfer length: one block
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadCapacity(std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::ReadCapacity; // the answer is always 8 bytes: no allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadCD(std::int32_t logicalblockaddr, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<12> cdb{};
    cdb[0] = op::ReadCd;
    cdb[1] = 0x04;                                                 // expected sector type: CD-DA
    PutBe32(cdb, 2, static_cast<std::uint32_t>(logicalblockaddr)); // 2-5: logical block address
    cdb[8] = 1;                                                    // 6-8: transfer length, one block
    cdb[9] = 0xF8; // sync, all header codes, user data, EDC/ECC; no C2 error field
    cdb[10] = 0;   // no sub-channel data
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadCD(std::int32_t logicalblockaddr, std::int32_t blocks, std::int32_t outputbuffersize,
                 std::uint8_t* outputbufferptr)
{
    // Sync, all header codes, user data, EDC/ECC; no C2 error field.
    return ReadCdBlocks(logicalblockaddr, blocks, 0xF8, outputbuffersize, outputbufferptr);
}

bool MMC::ReadCDWithC2(std::int32_t logicalblockaddr, std::int32_t blocks, std::int32_t outputbuffersize,
                       std::uint8_t* outputbufferptr)
{
    // The same fields and the C2 error bits (code 01b in bits 1-2).
    return ReadCdBlocks(logicalblockaddr, blocks, 0xFA, outputbuffersize, outputbufferptr);
}

bool MMC::ReadCDSubQ(std::int32_t logicalblockaddr, std::int32_t blocks, bool withMainChannel,
                     std::int32_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    // Any sector type (000b), so the pregap of a track after a data track can be read too;
    // sub-channel selection 010b: formatted Q.
    return ReadCdBlocks(logicalblockaddr, blocks, withMainChannel ? 0xF8 : 0x00, outputbuffersize,
                        outputbufferptr, 0x00, 0x02);
}

bool MMC::ReadCdBlocks(std::int32_t logicalblockaddr, std::int32_t blocks, std::uint8_t fields,
                       std::int32_t outputbuffersize, std::uint8_t* outputbufferptr, std::uint8_t sectorType,
                       std::uint8_t subChannel)
{
    if (blocks < 1 || blocks > 0xFFFF || outputbuffersize < 0) {
        lastResult_ = ScsiResult{};
        return false;
    }
    Cdb<12> cdb{};
    cdb[0] = op::ReadCd;
    cdb[1] = sectorType;                                           // expected sector type, bits 2-4
    PutBe32(cdb, 2, static_cast<std::uint32_t>(logicalblockaddr)); // 2-5: logical block address
    PutBe24(cdb, 6, static_cast<std::uint32_t>(blocks));           // 6-8: transfer length in blocks
    cdb[9] = fields;
    cdb[10] = subChannel;
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadDiscInformation(std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::ReadDiscInformation;                    // data type 0: standard disc information
    PutBe16(cdb, 7, AllocationLength(outputbuffersize)); // 7-8: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadDiscStructure(std::uint8_t fmt, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<12> cdb{};
    cdb[0] = op::ReadDiscStructure;                      // media type DVD; address, layer number and AGID 0
    cdb[7] = fmt;                                        // format code
    PutBe16(cdb, 8, AllocationLength(outputbuffersize)); // 8-9: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadHeader(bool msfmode, std::int32_t logicalblockaddr, std::int16_t outputbuffersize,
                     std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::ReadHeader;
    cdb[1] = msfmode ? MsfBit : 0;                                 // MSF: address of the answer as M:S:F
    PutBe32(cdb, 2, static_cast<std::uint32_t>(logicalblockaddr)); // 2-5: logical block address
    PutBe16(cdb, 7, AllocationLength(outputbuffersize));           // 7-8: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadSubChannel(std::uint8_t fmt, std::uint8_t trk, std::int16_t outputbuffersize,
                         std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::ReadSubChannel; // MSF 0: addresses come back as logical block addresses
    cdb[2] = 0x40;               // SubQ: return sub-channel data
    cdb[3] = fmt;                // sub-channel data format
    cdb[6] = trk;                // track number
    PutBe16(cdb, 7, AllocationLength(outputbuffersize)); // 7-8: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadTOC(bool msfmode, std::uint8_t fmt, std::int16_t outputbuffersize,
                  std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::ReadToc;
    cdb[1] = msfmode ? MsfBit : 0;                       // MSF: addresses as M:S:F
    cdb[2] = fmt;                                        // format
    cdb[6] = 0;                                          // starting track/session: from the first
    PutBe16(cdb, 7, AllocationLength(outputbuffersize)); // 7-8: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::ReadTrackInformation(std::uint8_t trk, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr)
{
    Cdb<10> cdb{};
    cdb[0] = op::ReadTrackInformation;
    cdb[1] = 0x01;                                       // address type: logical track number
    PutBe32(cdb, 2, trk);                                // 2-5: track number
    PutBe16(cdb, 7, AllocationLength(outputbuffersize)); // 7-8: allocation length
    return ExecuteCommand(LengthOf(cdb), cdb.data(), outputbuffersize, outputbufferptr);
}

bool MMC::StartStopUnit(bool start)
{
    Cdb<6> cdb{};
    cdb[0] = op::StartStopUnit;
    cdb[4] = start ? 0x03 : 0x02; // LoEj with Start loads the medium, LoEj alone ejects it
    return ExecuteCommand(LengthOf(cdb), cdb.data(), 0, nullptr);
}

bool MMC::TestUnitReady()
{
    Cdb<6> cdb{}; // all bytes 0
    cdb[0] = op::TestUnitReady;
    return ExecuteCommand(LengthOf(cdb), cdb.data(), 0, nullptr);
}

} // namespace tolvane
