// The pass-through on 32-bit Windows: GetDriveType, CreateFile and
// DeviceIoControl (SPTI) on \\.\X:, and the ASPI layer of WnAspi32.dll.
//
// The registry's virtual drives are served here too, ahead of the machine's
// drives: a virtual drive's letter hides a real drive of the same letter, so
// images and the demo discs can be opened on Windows as well.
#include "device/platform/Platform.h"

#include "device/DLL.h"
#include "device/platform/RequestRecords.h"
#include "device/platform/VirtualDrives.h"
#include "util/ByteOrder.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <utility>

#include <windows.h>

namespace tolvane {

// The request records carry pointers and handles as 32-bit fields.
static_assert(sizeof(void*) == 4, "the request records are the 32-bit Windows layouts");

namespace {

// ntddscsi.h
constexpr DWORD IoctlScsiPassThroughDirect = 0x4D014;
constexpr DWORD IoctlScsiGetAddress = 0x41018;

constexpr std::size_t MaxCdbLength = 16;

std::uint32_t AddressOf(const void* pointer)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// The upper-case letter of a drive string ("d", "D:", "D:\"), or 0.
char LetterOf(std::string_view drive)
{
    if (drive.empty() || (drive.size() > 1 && drive[1] != ':')) {
        return 0;
    }
    const char c = drive[0];
    if (c >= 'a' && c <= 'z') {
        return static_cast<char>(c - 'a' + 'A');
    }
    return c >= 'A' && c <= 'Z' ? c : 0;
}

class SptiDeviceHandle final : public DeviceHandle {
public:
    explicit SptiDeviceHandle(HANDLE handle) : handle_(handle) {}
    ~SptiDeviceHandle() override { CloseHandle(handle_); }
    SptiDeviceHandle(const SptiDeviceHandle&) = delete;
    SptiDeviceHandle& operator=(const SptiDeviceHandle&) = delete;

    bool GetScsiAddress(ScsiAddress& address) override
    {
        namespace a = records::address;
        std::array<std::uint8_t, a::Size> record{};
        DWORD returned = 0;
        if (!DeviceIoControl(handle_, IoctlScsiGetAddress, nullptr, 0, record.data(), record.size(),
                             &returned, nullptr)) {
            return false;
        }
        address.PortNumber = record[a::OffPortNumber];
        address.PathId = record[a::OffPathId];
        address.TargetId = record[a::OffTargetId];
        address.Lun = record[a::OffLun];
        // The pass-through record names the device by the same path, target and unit.
        address_ = address;
        return true;
    }

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override
    {
        namespace s = records::spti;
        if (cdb.empty() || cdb.size() > MaxCdbLength || dataIn.size() > INT32_MAX) {
            return ScsiResult{};
        }
        const auto requested = static_cast<std::int32_t>(dataIn.size());
        s::Record record = s::Build(address_.PathId, address_.TargetId, address_.Lun, cdb, requested,
                                    AddressOf(dataIn.data()));
        DWORD returned = 0;
        if (!DeviceIoControl(handle_, IoctlScsiPassThroughDirect, record.data(), record.size(), record.data(),
                             record.size(), &returned, nullptr)) {
            ScsiResult result;
            result.transport = TransportOutcome::OsError;
            result.osError = static_cast<int>(GetLastError());
            return result;
        }
        return s::Outcome(record, cdb[0], requested);
    }

private:
    HANDLE handle_;
    ScsiAddress address_;
};

class VirtualDeviceHandle final : public DeviceHandle {
public:
    explicit VirtualDeviceHandle(std::shared_ptr<VirtualDrive> drive, char letter)
        : drive_(std::move(drive)), letter_(letter)
    {
    }

    // A port number no real adapter has, like the Linux platform gives.
    bool GetScsiAddress(ScsiAddress& address) override
    {
        address = ScsiAddress{};
        address.PortNumber = static_cast<std::uint8_t>(0x80 + (letter_ - VirtualDriveRegistry::FirstLetter));
        return true;
    }

    ScsiResult Execute(std::span<const std::uint8_t> cdb, std::span<std::uint8_t> dataIn) override
    {
        return drive_->Execute(cdb, dataIn);
    }

    std::size_t MaxTransferBytes() override { return VirtualDriveRegistry::MaxTransfer; }

private:
    std::shared_ptr<VirtualDrive> drive_;
    char letter_;
};

// WnAspi32.dll with its two entry points bound; the library stays loaded while
// this object lives.
class WindowsAspi final : public AspiLayer {
public:
    static std::unique_ptr<WindowsAspi> Bind()
    {
        HMODULE module = LoadLibraryA("WnAspi32.dll");
        if (module == nullptr) {
            return nullptr;
        }
        // The detour through void (*)() keeps -Wcast-function-type quiet about FARPROC.
        auto supportInfo = reinterpret_cast<GetSupportInfoProc>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "GetASPI32SupportInfo")));
        auto sendCommand = reinterpret_cast<SendCommandProc>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "SendASPI32Command")));
        if (supportInfo == nullptr || sendCommand == nullptr) {
            FreeLibrary(module);
            return nullptr;
        }
        return std::unique_ptr<WindowsAspi>(new WindowsAspi(module, supportInfo, sendCommand));
    }

    ~WindowsAspi() override { FreeLibrary(module_); }
    WindowsAspi(const WindowsAspi&) = delete;
    WindowsAspi& operator=(const WindowsAspi&) = delete;

    std::uint32_t GetSupportInfo() override { return supportInfo_(); }

    bool Send(std::span<std::uint8_t> srb, std::span<std::uint8_t> data) override
    {
        namespace a = records::aspi;
        if (srb.size() < a::ExecSize || srb[a::OffCmd] != a::SC_EXEC_SCSI_CMD) {
            // Inquiries complete before SendASPI32Command returns.
            sendCommand_(srb.data());
            return true;
        }
        // Unnamed, auto-reset, not signalled: the layer sets it when the command ends.
        HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (event == nullptr) {
            return false;
        }
        PutLe32(srb, a::OffPostProc, AddressOf(event));
        PutLe32(srb, a::OffBufPointer, AddressOf(data.data()));
        sendCommand_(srb.data());
        // The layer writes the final status before it signals, and signals once,
        // so one wait is enough; a second one could block forever.
        if (srb[a::OffStatus] == a::SS_PENDING) {
            WaitForSingleObject(event, INFINITE);
        }
        CloseHandle(event);
        return true;
    }

private:
    // wnaspi32.h declares both entry points __cdecl.
    using GetSupportInfoProc = DWORD(__cdecl*)();
    using SendCommandProc = DWORD(__cdecl*)(void*);

    WindowsAspi(HMODULE module, GetSupportInfoProc supportInfo, SendCommandProc sendCommand)
        : module_(module), supportInfo_(supportInfo), sendCommand_(sendCommand)
    {
    }

    HMODULE module_;
    GetSupportInfoProc supportInfo_;
    SendCommandProc sendCommand_;
};

class WindowsPlatform final : public Platform {
public:
    explicit WindowsPlatform(std::shared_ptr<VirtualDriveRegistry> registry) : registry_(std::move(registry))
    {
    }

    bool IsOpticalDrive(std::string_view drive) override
    {
        const char letter = LetterOf(drive);
        if (letter == 0) {
            return false;
        }
        if (FindVirtual(letter) != nullptr) {
            return true;
        }
        const char root[] = {letter, ':', '\\', '\0'};
        return GetDriveTypeA(root) == DRIVE_CDROM;
    }

    std::unique_ptr<DeviceHandle> Open(std::string_view drive) override
    {
        const char letter = LetterOf(drive);
        if (auto virtualDrive = FindVirtual(letter)) {
            return std::make_unique<VirtualDeviceHandle>(std::move(virtualDrive), letter);
        }
        // \\.\ and the first two characters of the drive string.
        const std::string path = "\\\\.\\" + std::string(drive.substr(0, 2));
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            return nullptr;
        }
        return std::make_unique<SptiDeviceHandle>(handle);
    }

    bool IsLibraryAvailable(const std::string& file, const std::string& routine) override
    {
        return DLL().IsAvailable(file, routine);
    }

    AspiLayer* Aspi() override
    {
        if (!aspi_) {
            aspi_ = WindowsAspi::Bind();
        }
        return aspi_.get();
    }

private:
    std::shared_ptr<VirtualDrive> FindVirtual(char letter) const
    {
        if (!registry_ || letter == 0) {
            return nullptr;
        }
        return registry_->Find(std::string{letter, ':'});
    }

    std::shared_ptr<VirtualDriveRegistry> registry_;
    std::unique_ptr<WindowsAspi> aspi_;
};

} // namespace

std::unique_ptr<Platform> CreateSystemPlatform(std::shared_ptr<VirtualDriveRegistry> registry)
{
    return std::make_unique<WindowsPlatform>(std::move(registry));
}

} // namespace tolvane
