// A virtual MMC drive: answers command blocks from a Disc the way a real drive
// does, with the same response layouts, allocation lengths honoured, and
// failures as CHECK CONDITION with the sense a real drive gives.
#pragma once

#include "device/platform/VirtualDrives.h"
#include "emulator/Disc.h"
#include "util/Clock.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace tolvane::emulator {

struct DriveIdentity {
    std::string vendor = "TOLVANE";        // INQUIRY bytes 8-15, padded with spaces
    std::string product = "VIRTUAL DRIVE"; // bytes 16-31
    std::string revision = "1.0";          // bytes 32-35
    // Capabilities page 0x2A, in kB/s: a 40x reader that does not write.
    std::uint16_t readMaximum = 7056;
    std::uint16_t readCurrent = 7056;
    std::uint16_t writeMaximum = 0;
    std::uint16_t writeCurrent = 0;
    // READ TOC takes its format from the old place only, bits 6-7 of the control byte
    // (byte 9), and ignores byte 2, as older ATAPI drives and QEMU's ATAPI CD-ROM do:
    // asked for the ATIP or CD-Text, such a drive answers a format-0 TOC.
    bool tocFormatInControlByte = false;
};

// Modelled time a real drive takes: a fixed cost per command plus a cost per sector read.
struct TimingModel {
    Clock::Duration perCommand{0};
    Clock::Duration perSector{0};
};

// How the drive reads audio, beyond giving the disc's bytes: the habits of real drives that a
// secure rip has to work around. The default is an ideal drive.
struct ReadModel {
    // The read offset, as the correction a ripper applies, in samples: with +6 the drive gives
    // sample k - 6 where sample k belongs, so sample k is read at position k + 6.
    int offset = 0;
    // Audio reads may reach into the lead-in and lead-out (which give silence); otherwise blocks
    // outside the disc's tracks are out of range.
    bool overread = false;
    // READ CD gives C2 error pointers; without them a read that asks for them is refused.
    bool c2 = true;
    // Blocks the read cache holds: a block read again while it is still there is answered from
    // the cache (its earlier bytes, no disc time). 0: every read goes to the disc.
    std::int32_t cacheSectors = 0;
};

// A scratched audio block: every read of it from the disc (not from the cache) gives the right
// bytes only by chance; a wrong read changes a run of bytes fixed for the block.
struct Damage {
    double readsRight = 0.5; // the chance one read gives the right bytes
    bool sameWrong = false;  // every wrong read gives the same wrong bytes (else they vary)
    bool flagged = true;     // the C2 error pointers flag the wrong bytes
    bool fails = false;      // a wrong read ends the command with a MEDIUM ERROR instead
};

class EmulatedDrive final : public VirtualDrive {
public:
    enum class Tray : std::uint8_t { Open, Closed };

    // clock: the clock shared with the program (spin-up, timing); a VirtualClock when null.
    explicit EmulatedDrive(std::shared_ptr<Clock> clock = nullptr, DriveIdentity identity = {});

    // Puts a disc in and closes the tray: the next command (other than INQUIRY,
    // REQUEST SENSE, GET CONFIGURATION and GET EVENT STATUS NOTIFICATION, which
    // MMC exempts) is answered with UNIT ATTENTION, and the drive is becoming
    // ready for the spin-up time.
    void Insert(std::shared_ptr<const Disc> disc);
    // Takes the disc out (the tray stays as it is).
    void Remove();
    std::shared_ptr<const Disc> CurrentDisc() const;
    Tray TrayState() const;

    // Time from closing the tray until the drive is ready (0 by default).
    void SetSpinUpTime(Clock::Duration d);

    // --- Faults, for tests ---
    // Fails the next `times` commands with this opcode (-1: always) with the given sense.
    void FailCommand(std::uint8_t opcode, int times, std::uint8_t key = 0x04, std::uint8_t asc = 0x44,
                     std::uint8_t ascq = 0x00);
    // Reads that touch these blocks fail with MEDIUM ERROR / UNRECOVERED READ ERROR (03/11/00).
    void FailReadsAt(std::int32_t lba, std::int32_t count = 1);
    // XORs byte `offset` of every answer for block `lba` (READ CD, READ(10)) with mask.
    void CorruptAt(std::int32_t lba, std::size_t offset, std::uint8_t mask);
    // Damages blocks [lba, lba + count); which reads go wrong, and how, follows from `seed` and
    // each block's count of reads, so a test repeats exactly.
    void DamageAt(std::int32_t lba, std::int32_t count, Damage damage, std::uint64_t seed = 1);
    void ClearFaults();

    void SetReadModel(const ReadModel& model);

    // --- Timing ---
    void SetTiming(TimingModel model);
    // Modelled time charged since the drive was made (or since ResetStatistics).
    Clock::Duration ModelledTime() const;
    std::uint64_t CommandCount() const;
    std::uint64_t SectorCount() const;
    void ResetStatistics();

    const DriveIdentity& Identity() const { return identity_; }

    // The name of a command the drive answers ("READ CD"), for diagnostics; null for others.
    static const char* CommandName(std::uint8_t opcode);

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override;

private:
    struct Impl;
    std::shared_ptr<Impl> impl_; // the dispatch table's handlers live in the .cpp
    DriveIdentity identity_;
};

} // namespace tolvane::emulator
