// A scriptable platform for tests of the transport and of everything above it: drives at letters
// answer command blocks from a script, a handler or per-opcode answers, and the fake
// records every command block that reaches a drive (over SPTI or ASPI), every library probe and how
// many handles are open.
#pragma once

#include "device/platform/Platform.h"
#include "device/platform/VirtualDrives.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tolvane::fake {

// One answer of a fake drive: its outcome and the bytes it puts at the start of the data buffer.
struct Answer {
    ScsiResult result = ScsiResult::Success();
    std::vector<std::uint8_t> data;
};

// A command block as it reached a drive.
struct SentCommand {
    char letter = 0;               // drive letter ('E'); 0 for an ASPI address with no fake drive
    std::vector<std::uint8_t> cdb; // exactly the bytes the drive received
    std::size_t dataLength = 0;    // size of the data-in buffer (SRB_BufLen over ASPI)
    bool dataWasZero = true;       // every byte of the buffer was 0 when the command arrived
};

class FakeDrive {
public:
    bool optical = true;       // GetDriveType: CD-ROM
    bool openFails = false;    // Open gives no handle
    bool addressFails = false; // IOCTL_SCSI_GET_ADDRESS fails
    std::string addressThrows; // when set, GetScsiAddress throws std::runtime_error with it
    ScsiAddress address;

    // Tried in this order: queued answers (one per command), the handler, the answer per opcode, GOOD.
    std::deque<Answer> script;
    std::function<ScsiResult(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data)> handler;
    std::map<std::uint8_t, Answer> byOpcode;

    FakeDrive& Queue(ScsiResult result, std::vector<std::uint8_t> data = {});
    FakeDrive& RespondTo(std::uint8_t opcode, ScsiResult result, std::vector<std::uint8_t> data = {});
    FakeDrive& RespondTo(std::uint8_t opcode, std::vector<std::uint8_t> data)
    {
        return RespondTo(opcode, ScsiResult::Success(), std::move(data));
    }
    ScsiResult Respond(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> data);
};

// An ASPI CD-ROM device at host adapter / target (logical unit 0).
struct AspiDevice {
    std::uint8_t adapter = 0;
    std::uint8_t target = 0;
    char letter = 0; // the fake drive that answers its commands
};

class FakePlatform;

// The ASPI layer: host adapter inquiries succeed below adapterCount outside failingAdapters; device-type
// queries report the devices; an execute-command record goes to the device's drive and the answer is
// written back into the record as a real layer does.
class FakeAspi : public AspiLayer {
public:
    explicit FakeAspi(FakePlatform& platform) : platform_(platform) {}

    int adapterCount = 0;
    std::set<std::uint8_t> failingAdapters;
    std::vector<AspiDevice> devices;

    std::uint32_t GetSupportInfo() override;
    bool Send(std::span<std::uint8_t> srb, std::span<std::uint8_t> data) override;

private:
    const AspiDevice* FindDevice(std::uint8_t adapter, std::uint8_t target) const;
    bool Execute(std::span<std::uint8_t> srb, std::span<std::uint8_t> data);

    FakePlatform& platform_;
};

class FakePlatform : public Platform {
public:
    FakePlatform() : aspi(*this) {}
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    // A CD-ROM drive at the letter (the same object when called again); other letters are no drives.
    FakeDrive& AddDrive(char letter);
    // A drive whose Windows address is port `adapter`, target `target`, with an ASPI CD-ROM device there.
    FakeDrive& AddAspiDrive(char letter, std::uint8_t adapter, std::uint8_t target);
    FakeDrive* Drive(char letter);

    // Which routines WnAspi32.dll exports; both false (the default) means the library is absent.
    void SetAspiLibrary(bool getSupportInfo, bool sendCommand);
    FakeAspi aspi;

    const std::vector<SentCommand>& Commands() const { return commands_; }
    // (file, routine) of every library probe
    const std::vector<std::pair<std::string, std::string>>& Probes() const { return probes_; }
    int OpenHandles() const { return openHandles_; }
    int Opens() const { return opens_; }

    bool IsOpticalDrive(std::string_view drive) override;
    std::unique_ptr<DeviceHandle> Open(std::string_view drive) override;
    bool IsLibraryAvailable(const std::string& file, const std::string& routine) override;
    AspiLayer* Aspi() override { return &aspi; }

    // Used by the fake handles and the fake ASPI layer.
    void Record(char letter, std::span<const std::uint8_t> cdb, std::span<const std::uint8_t> data);
    void HandleClosed() { --openHandles_; }

private:
    std::map<char, std::unique_ptr<FakeDrive>> drives_;
    std::set<std::string> aspiRoutines_;
    std::vector<SentCommand> commands_;
    std::vector<std::pair<std::string, std::string>> probes_;
    int openHandles_ = 0;
    int opens_ = 0;
};

} // namespace tolvane::fake
