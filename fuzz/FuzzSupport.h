// What the fuzz targets share: a scratch folder per process, the discs the
// virtual drive is fuzzed with, the commands that survey a disc, and checks
// that stop the run (libFuzzer reports an abort as a crash, with its input).
#pragma once

#include "emulator/Disc.h"
#include "emulator/EmulatedDrive.h"
#include "util/ByteOrder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tolvane::fuzz {

[[noreturn]] void Fail(const char* condition, const char* file, int line);

#define TOLVANE_FUZZ_CHECK(condition)                                                                        \
    do {                                                                                                     \
        if (!(condition))                                                                                    \
            ::tolvane::fuzz::Fail(#condition, __FILE__, __LINE__);                                           \
    } while (false)

// /tmp/tolvane-fuzz-<pid>, made on first use and removed when the process exits normally.
const std::string& ScratchFolder();
void WriteFile(const std::string& path, ConstBytes bytes);

// The files the seed sheets name after their rewriting, beside a sheet: data.bin (zeros) and
// data.wav (a WAVE file of silence), sparse and as long as a full CD; short.bin and short.wav,
// two minutes long; data.cdt (CD-Text packs).
void WriteSheetCompanions(const std::string& folder);

// The discs the drive is fuzzed with: the demo CD, an Enhanced CD (three audio tracks with
// ISRCs, CD-Text and an INDEX 02, then a data track in a second session), the demo DVD. Built once.
const std::vector<std::shared_ptr<const emulator::Disc>>& Discs();

// The data-in size a length byte stands for: 0-127 as they are, then steps of 512 up to 64 KiB.
std::size_t DataInSize(std::uint8_t code);
// The smallest code whose size is at least `size`.
std::uint8_t DataInCode(std::size_t size);

// Caps the transfer length of READ(10) and READ CD at what the buffer holds plus two blocks.
// The drive produces every block asked for, as a real one does, so one command block could
// otherwise ask for a whole disc and stall the run; the paths past the buffer's end are still
// taken.
void LimitTransferLength(std::vector<std::uint8_t>& cdb, std::size_t bufferSize);

// Runs one command with a data-in buffer of exactly `buffer.size()` bytes (so that a write past
// it is an AddressSanitizer report) and checks the shape of the answer: a verdict, a residual
// within the buffer, no more bytes than the allocation length and the answer's header allow.
ScsiResult ExecuteChecked(emulator::EmulatedDrive& drive, ConstBytes cdb, std::vector<std::uint8_t>& buffer);

struct Command {
    std::string name; // for seed file names: "toc0-lba", "trackinfo-3" ...
    std::vector<std::uint8_t> cdb;
    std::size_t dataIn = 0;
};

// The commands a reader sends to learn a disc: every READ TOC format, the sub-channel codes,
// disc and track information, capacity, DVD structures, headers and the first blocks of each
// track, and block 16 of a data disc.
std::vector<Command> SurveyCommands(const emulator::Disc& disc);

// The calls of the transport target, by the byte that selects them (modulo Count).
enum class MmcCall : std::uint8_t {
    EventStatus,
    Inquiry,
    ModeSense,
    Read,
    ReadCapacity,
    ReadCd,
    ReadCdBurst, // the one call whose buffer length is not 16 bits
    DiscInformation,
    DiscStructure,
    Header,
    SubChannel,
    Toc,
    TrackInformation,
    StartStop,
    TestUnitReady,
    Count
};

// Checks what the drive relies on in a disc a loader returned, then serves the survey from it.
void CheckLoadedDisc(const std::shared_ptr<const emulator::Disc>& disc);

} // namespace tolvane::fuzz
