// The command transport to one drive and the MMC commands sent through it.
//
// Create chooses the interface ("ASPI" when WnAspi32.dll and both of its entry
// points are there, else "SPTI", the operating system's pass-through), opens
// the drive and learns its SCSI address. Each command builds its command block,
// zero-fills the caller's buffer and sends the block through ExecuteCommand;
// it reports only whether the drive answered with status GOOD. The decoding of
// answers lives with their users.
#pragma once

#include "device/platform/Platform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace tolvane {

class MMC {
public:
    // The interface names kept in Interface().
    static constexpr const char* InterfaceAspi = "ASPI";
    static constexpr const char* InterfaceSpti = "SPTI";

    // A command that ends with UNIT ATTENTION is sent again up to this many times
    // (a changed medium or a reset may leave several pending).
    static constexpr int UnitAttentionRetries = 3;

    // The platform outlives the transport.
    explicit MMC(Platform& platform);
    ~MMC();
    MMC(const MMC&) = delete;
    MMC& operator=(const MMC&) = delete;

    bool Create(const std::string& drive, const std::string& interfaceName);
    void Destroy();

    const std::string& ErrorMessage() const { return errorMessage_; }
    const std::string& Interface() const { return interface_; }
    std::uint8_t HostAdapter() const { return hostAdapter_; }
    std::uint8_t AspiTarget() const { return aspiTarget_; }
    std::uint8_t PathId() const { return pathId_; }
    std::uint8_t TargetId() const { return targetId_; }
    std::uint8_t Lun() const { return lun_; }
    // Whether a drive handle is open (DriveHandle is not the invalid value).
    bool IsOpen() const { return handle_ != nullptr; }
    // The most bytes one command may transfer through the drive's host.
    std::size_t MaxTransferBytes() const
    {
        return handle_ != nullptr ? handle_->MaxTransferBytes() : DeviceHandle::DefaultMaxTransfer;
    }

    // The answer to the last command sent (for diagnostics: sense, transport outcome).
    const ScsiResult& LastResult() const { return lastResult_; }

    // Called after every command block that was sent, with the final answer (--verbose).
    using CommandObserver = std::function<void(std::span<const std::uint8_t> cdb, const ScsiResult& result)>;
    void SetCommandObserver(CommandObserver observer) { observer_ = std::move(observer); }

    // The commands. outputbuffersize is the buffer's size in bytes (and the
    // allocation length where the command has one); outputbufferptr points at
    // caller-owned memory of at least that many bytes.
    bool GetEventStatusNotification(std::uint8_t req, std::int16_t outputbuffersize,
                                    std::uint8_t* outputbufferptr);
    bool Inquiry(std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool ModeSense(std::uint8_t pcode, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool Read(std::int32_t logicalblockaddr, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool ReadCapacity(std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool ReadCD(std::int32_t logicalblockaddr, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    // READ CD of `blocks` consecutive CD-DA blocks into a buffer whose size does not
    // fit 16 bits (27 blocks are 63,504 bytes): the burst form used by extraction.
    bool ReadCD(std::int32_t logicalblockaddr, std::int32_t blocks, std::int32_t outputbuffersize,
                std::uint8_t* outputbufferptr);
    // The same with each block's 294 bytes of C2 error bits after its 2,352 bytes of audio (a bit
    // for each byte the drive could not correct), for secure extraction.
    static constexpr std::int32_t C2Size = 294;
    bool ReadCDWithC2(std::int32_t logicalblockaddr, std::int32_t blocks, std::int32_t outputbuffersize,
                      std::uint8_t* outputbufferptr);
    // READ CD of each block's formatted Q sub-channel (16 bytes: control and ADR, nine bytes of Q
    // data, its CRC, four pad bytes) of any sector type, alone or after the block's 2,352 bytes
    // (some drives give Q only with the main channel), for finding gaps, indexes and codes.
    static constexpr std::int32_t QSize = 16;
    bool ReadCDSubQ(std::int32_t logicalblockaddr, std::int32_t blocks, bool withMainChannel,
                    std::int32_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool ReadDiscInformation(std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool ReadDiscStructure(std::uint8_t fmt, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool ReadHeader(bool msfmode, std::int32_t logicalblockaddr, std::int16_t outputbuffersize,
                    std::uint8_t* outputbufferptr);
    bool ReadSubChannel(std::uint8_t fmt, std::uint8_t trk, std::int16_t outputbuffersize,
                        std::uint8_t* outputbufferptr);
    bool ReadTOC(bool msfmode, std::uint8_t fmt, std::int16_t outputbuffersize,
                 std::uint8_t* outputbufferptr);
    bool ReadTrackInformation(std::uint8_t trk, std::int16_t outputbuffersize, std::uint8_t* outputbufferptr);
    bool StartStopUnit(bool start);
    bool TestUnitReady();

private:
    bool CreateChecked(const std::string& drive, const std::string& interfaceName);
    bool FindAspiDevice(const std::string& drive);
    bool ReadCdBlocks(std::int32_t logicalblockaddr, std::int32_t blocks, std::uint8_t fields,
                      std::int32_t outputbuffersize, std::uint8_t* outputbufferptr,
                      std::uint8_t sectorType = 0x04, std::uint8_t subChannel = 0);
    bool OpenSpti(const std::string& drive);

    // Sends the first cdbLength bytes of cdb with bufferSize bytes of data in.
    bool ExecuteCommand(std::uint8_t cdbLength, const std::uint8_t* cdb, std::int32_t bufferSize,
                        std::uint8_t* bufferAddress);
    ScsiResult SendOnce(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data);
    ScsiResult SendAspi(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data);

    Platform& platform_;
    std::unique_ptr<DeviceHandle> handle_;
    std::string errorMessage_;
    std::string interface_;
    std::uint8_t hostAdapter_ = 0;
    std::uint8_t aspiTarget_ = 0;
    std::uint8_t pathId_ = 0;
    std::uint8_t targetId_ = 0;
    std::uint8_t lun_ = 0;
    ScsiResult lastResult_;
    CommandObserver observer_;
};

} // namespace tolvane
