// USB mass storage, Bulk-Only Transport: the wrappers a host sends and expects around
// each command block, and a target that answers them from a virtual drive. Pure: the
// program that moves the bytes over real endpoints (tolvane-gadget) lives elsewhere.
#pragma once

#include "device/platform/VirtualDrives.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tolvane::emulator::bot {

constexpr std::size_t CbwLength = 31;
constexpr std::size_t CswLength = 13;
constexpr std::uint32_t CbwSignature = 0x43425355; // "USBC", little-endian
constexpr std::uint32_t CswSignature = 0x53425355; // "USBS"

// Class requests on the control endpoint.
constexpr std::uint8_t RequestGetMaxLun = 0xFE;
constexpr std::uint8_t RequestReset = 0xFF;

enum class CswStatus : std::uint8_t { Passed = 0, Failed = 1, PhaseError = 2 };

struct CommandBlockWrapper {
    std::uint32_t tag = 0;
    std::uint32_t dataLength = 0; // what the host expects to move in the data stage
    bool dataIn = false;          // direction: device to host
    std::uint8_t lun = 0;
    std::vector<std::uint8_t> cdb;
};

// A wrapper is meaningful only when it is 31 bytes, signed "USBC", with a command
// block of 1-16 bytes; anything else the host must recover from with a reset.
std::optional<CommandBlockWrapper> ParseCbw(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, CswLength> MakeCsw(std::uint32_t tag, std::uint32_t residue, CswStatus status);

// What to send back for one command: the data stage (to the host; always the full
// length the host asked for, padded with zeros, so no endpoint ever has to stall)
// and the status wrapper whose residue says how much of it was real.
struct Reply {
    std::vector<std::uint8_t> dataIn;
    std::array<std::uint8_t, CswLength> csw{};
};

// Runs one wrapped command on the drive. A data-out stage must have been read by the
// caller already; a virtual drive takes nothing from the host, so it is only accounted for.
// Sense data stays with the drive: the host's REQUEST SENSE after a failure goes to
// the drive like any other command, as on a USB drive with an ATAPI bridge.
Reply Execute(VirtualDrive& drive, const CommandBlockWrapper& cbw);

} // namespace tolvane::emulator::bot
