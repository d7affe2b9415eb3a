// tolvane-gadget: serves a virtual drive as a USB CD-ROM drive (mass storage class, SCSI
// transparent command set, Bulk-Only Transport) through the kernel's FunctionFS. A Linux
// host's usb-storage and sr drivers then present it as /dev/srN, so audio CDs, which no
// emulated controller can hold, travel through the kernel's real CD-ROM stack. With the
// dummy_hcd module the host is the same machine (make test-vm runs it that way).
//
//   mount -t functionfs NAME DIR      (after creating the ffs.NAME function in configfs)
//   tolvane-gadget DIR (--image FILE | --demo-cd | --demo-dvd | --empty) [--verbose]
//   then bind the gadget to a UDC; the program serves until it is stopped.

#include "emulator/BulkOnly.h"
#include "emulator/DemoDiscs.h"
#include "emulator/EmulatedDrive.h"
#include "emulator/ImageLoader.h"
#include "util/ByteOrder.h"

#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace tolvane;
using namespace tolvane::emulator;

bool verbose = false;

// Little-endian fields appended to a descriptor blob, as FunctionFS reads them.
void Put16(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.resize(b.size() + 2);
    PutLe16(b, b.size() - 2, v);
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    b.resize(b.size() + 4);
    PutLe32(b, b.size() - 4, v);
}

// One interface (mass storage, SCSI, Bulk-Only) with a bulk IN and a bulk OUT endpoint,
// at full speed (64-byte packets) and high speed (512). FunctionFS names the endpoint
// files after their order here: ep1 is IN, ep2 is OUT.
std::vector<std::uint8_t> Descriptors()
{
    std::vector<std::uint8_t> speed;
    const auto describe = [&speed](std::uint16_t packet) {
        speed.insert(speed.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, 2, USB_CLASS_MASS_STORAGE,
                                   0x06 /* SCSI transparent */, 0x50 /* Bulk-Only */, 1});
        for (const std::uint8_t address : {std::uint8_t{1 | USB_DIR_IN}, std::uint8_t{2 | USB_DIR_OUT}}) {
            speed.insert(speed.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, address, USB_ENDPOINT_XFER_BULK});
            Put16(speed, packet);
            speed.push_back(0);
        }
    };
    describe(64);
    describe(512);
    std::vector<std::uint8_t> b;
    Put32(b, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    Put32(b, static_cast<std::uint32_t>(4 * 5 + speed.size()));
    Put32(b, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    Put32(b, 3); // descriptors at full speed
    Put32(b, 3); // and at high speed
    b.insert(b.end(), speed.begin(), speed.end());
    return b;
}

std::vector<std::uint8_t> Strings()
{
    static constexpr char Name[] = "Tolvane virtual CD-ROM drive";
    std::vector<std::uint8_t> b;
    Put32(b, FUNCTIONFS_STRINGS_MAGIC);
    Put32(b, static_cast<std::uint32_t>(16 + 2 + sizeof Name));
    Put32(b, 1); // strings per language
    Put32(b, 1); // languages
    Put16(b, 0x0409);
    b.insert(b.end(), Name, Name + sizeof Name);
    return b;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    // FunctionFS queues one request per write: 64 KiB pieces (a multiple of every packet
    // size) make one transfer on the host's side, ended by the last, shorter piece.
    constexpr std::size_t Piece = 64 * 1024;
    while (size > 0) {
        const ssize_t n = ::write(fd, data, std::min(size, Piece));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The control endpoint: GET MAX LUN (one unit) and the class reset; anything else stalls.
void ServeControl(int ep0)
{
    usb_functionfs_event events[4];
    for (;;) {
        const ssize_t n = ::read(ep0, events, sizeof events);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::fprintf(stderr, "tolvane-gadget: control endpoint: %s\n", std::strerror(errno));
            return;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof events[0]; ++i) {
            const usb_functionfs_event& e = events[i];
            if (e.type != FUNCTIONFS_SETUP) {
                if (verbose) {
                    static const char* const Names[] = {"bind", "unbind", "enable", "disable", "setup", "suspend",
                                                        "resume"};
                    std::fprintf(stderr, "tolvane-gadget: %s\n", e.type < 7 ? Names[e.type] : "event");
                }
                continue;
            }
            const usb_ctrlrequest& s = e.u.setup;
            const bool in = (s.bRequestType & USB_DIR_IN) != 0;
            const bool classRequest = (s.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
            std::uint8_t zero = 0;
            if (classRequest && in && s.bRequest == bot::RequestGetMaxLun) {
                (void)!::write(ep0, &zero, 1);
            } else if (classRequest && !in && s.bRequest == bot::RequestReset) {
                (void)!::read(ep0, &zero, 0); // acknowledges the status stage
            } else if (in) {
                (void)!::read(ep0, &zero, 0); // the wrong direction stalls the request
            } else {
                (void)!::write(ep0, &zero, 0);
            }
        }
    }
}

// The bulk endpoints: a command wrapper, its data stage, the status wrapper, for ever.
int ServeBulk(int in, int out, VirtualDrive& drive)
{
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(out, buffer.data(), 512);
        if (n < 0 && (errno == EINTR || errno == ESHUTDOWN || errno == ECONNRESET)) {
            continue; // the host went away or reset the function: wait for the next enable
        }
        if (n < 0) {
            std::fprintf(stderr, "tolvane-gadget: bulk OUT endpoint: %s\n", std::strerror(errno));
            return 1;
        }
        const auto cbw = bot::ParseCbw({buffer.data(), static_cast<std::size_t>(n)});
        if (!cbw) {
            std::fprintf(stderr, "tolvane-gadget: ignored a %zd-byte packet that is no command wrapper\n", n);
            continue;
        }
        if (!cbw->dataIn) {
            for (std::uint32_t left = cbw->dataLength; left > 0;) {
                const ssize_t got = ::read(out, buffer.data(), std::min<std::size_t>(left, buffer.size()));
                if (got <= 0) {
                    break;
                }
                left -= static_cast<std::uint32_t>(got);
            }
        }
        const bot::Reply reply = bot::Execute(drive, *cbw);
        if (verbose) {
            const char* name = EmulatedDrive::CommandName(cbw->cdb[0]);
            std::fprintf(stderr, "tolvane-gadget:%s  %s, %u bytes, status %u\n", FormatCdb(cbw->cdb).c_str(),
                         name != nullptr ? name : "unknown command", cbw->dataLength, reply.csw[12]);
        }
        if (!WriteAll(in, reply.dataIn.data(), reply.dataIn.size()) ||
            !WriteAll(in, reply.csw.data(), reply.csw.size())) {
            if (errno == ESHUTDOWN || errno == ECONNRESET) {
                continue;
            }
            std::fprintf(stderr, "tolvane-gadget: bulk IN endpoint: %s\n", std::strerror(errno));
            return 1;
        }
    }
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: tolvane-gadget FUNCTIONFS-DIR (--image FILE | --demo-cd | --demo-dvd | --empty) [--verbose]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        return Usage();
    }
    const std::string dir = argv[1];
    std::shared_ptr<const Disc> disc;
    bool empty = false;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--image" && i + 1 < argc) {
            LoadResult loaded = LoadImage(argv[++i]);
            for (const std::string& w : loaded.warnings) {
                std::fprintf(stderr, "tolvane-gadget: %s\n", w.c_str());
            }
            if (!loaded) {
                std::fprintf(stderr, "tolvane-gadget: %s\n", loaded.error.c_str());
                return 1;
            }
            disc = loaded.disc;
        } else if (a == "--demo-cd") {
            disc = MakeDemoCd();
        } else if (a == "--demo-dvd") {
            disc = MakeDemoDvd();
        } else if (a == "--empty") {
            empty = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else {
            return Usage();
        }
    }
    if (!disc && !empty) {
        return Usage();
    }
    EmulatedDrive drive;
    if (disc) {
        drive.Insert(disc);
    }

    const int ep0 = ::open((dir + "/ep0").c_str(), O_RDWR);
    if (ep0 < 0) {
        std::fprintf(stderr, "tolvane-gadget: %s/ep0: %s (is FunctionFS mounted there?)\n", dir.c_str(),
                     std::strerror(errno));
        return 1;
    }
    const std::vector<std::uint8_t> descriptors = Descriptors();
    const std::vector<std::uint8_t> strings = Strings();
    if (::write(ep0, descriptors.data(), descriptors.size()) != static_cast<ssize_t>(descriptors.size()) ||
        ::write(ep0, strings.data(), strings.size()) != static_cast<ssize_t>(strings.size())) {
        std::fprintf(stderr, "tolvane-gadget: the kernel refused the descriptors: %s\n", std::strerror(errno));
        return 1;
    }
    const int in = ::open((dir + "/ep1").c_str(), O_RDWR);
    const int out = ::open((dir + "/ep2").c_str(), O_RDWR);
    if (in < 0 || out < 0) {
        std::fprintf(stderr, "tolvane-gadget: %s/ep1, ep2: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    std::thread control(ServeControl, ep0);
    control.detach();
    std::printf("tolvane-gadget: ready\n");
    std::fflush(stdout);
    return ServeBulk(in, out, drive);
}
