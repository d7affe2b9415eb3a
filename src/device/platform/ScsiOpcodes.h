// Operation codes of the SCSI and MMC commands the program sends and its virtual drive answers.
#pragma once

#include <cstdint>

namespace tolvane::scsi::op {

constexpr std::uint8_t TestUnitReady = 0x00;
constexpr std::uint8_t RequestSense = 0x03;
constexpr std::uint8_t Inquiry = 0x12;
constexpr std::uint8_t StartStopUnit = 0x1B;
constexpr std::uint8_t PreventAllowMediumRemoval = 0x1E;
constexpr std::uint8_t ReadCapacity = 0x25;
constexpr std::uint8_t Read10 = 0x28;
constexpr std::uint8_t ReadSubChannel = 0x42;
constexpr std::uint8_t ReadToc = 0x43;
constexpr std::uint8_t ReadHeader = 0x44;
constexpr std::uint8_t GetConfiguration = 0x46;
constexpr std::uint8_t GetEventStatusNotification = 0x4A;
constexpr std::uint8_t ReadDiscInformation = 0x51;
constexpr std::uint8_t ReadTrackInformation = 0x52;
constexpr std::uint8_t ModeSense10 = 0x5A;
constexpr std::uint8_t ReadDiscStructure = 0xAD;
constexpr std::uint8_t SetCdSpeed = 0xBB;
constexpr std::uint8_t ReadCd = 0xBE;

} // namespace tolvane::scsi::op
