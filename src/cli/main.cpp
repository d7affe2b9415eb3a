// tolvane-cli: the command-line companion of the main window.
//
// It builds the same objects the window does (the platform with its virtual
// drives, the drive list) and never sends a command block itself.
#include "device/OpticalDrives.h"
#include "device/platform/Platform.h"
#include "device/platform/VirtualDrives.h"
#include "emulator/Attach.h"
#include "util/Clock.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int ExitOk = 0;
constexpr int ExitFailed = 1;

const char* const NoDrivesMessage = "No CD/DVD drives found or ASPI/SPTI not available";

std::string Speeds(std::int16_t maximum, std::int16_t current)
{
    return std::to_string(maximum) + "x / " + std::to_string(current) + "x";
}

int ListDrives(const tolvane::OpticalDrives& drives)
{
    if (drives.Count() < 1) {
        std::cerr << NoDrivesMessage << '\n';
        return ExitFailed;
    }
    // The identification strings are shown as the drive returns them, padding included.
    std::printf("%-7s %-9s %-8s  %-16s  %-4s  %-15s %s\n", "Letter", "Interface", "Vendor", "Product", "Rev.",
                "Read max/cur", "Write max/cur");
    for (std::int16_t i = 0; i < drives.Count(); ++i) {
        const tolvane::OpticalDriveItem* d = drives.Item(i);
        std::printf("%-7s %-9s %-8s  %-16s  %-4s  %-15s %s\n", d->Letter().c_str(), d->Interface().c_str(),
                    d->Manufacturer().c_str(), d->Name().c_str(), d->Revision().c_str(),
                    Speeds(d->ReadMaximumSpeed(), d->ReadCurrentSpeed()).c_str(),
                    Speeds(d->WriteMaximumSpeed(), d->WriteCurrentSpeed()).c_str());
    }
    return ExitOk;
}

// The virtual drives the options ask for, in their order on the command line.
std::vector<tolvane::emulator::DriveRequest> DriveRequests(const CLI::App& app, const CLI::Option* image,
                                                           const CLI::Option* demo, const CLI::Option* empty)
{
    using Kind = tolvane::emulator::DriveRequest::Kind;
    std::vector<tolvane::emulator::DriveRequest> requests;
    std::size_t nextImage = 0;
    // CLI11 records one entry per value taken, so each --image FILE appears once.
    for (const CLI::Option* option : app.parse_order()) {
        if (option == image && nextImage < image->results().size()) {
            requests.push_back({Kind::Image, image->results()[nextImage++]});
        } else if (option == demo) {
            requests.push_back({Kind::Demo, {}});
        } else if (option == empty) {
            requests.push_back({Kind::Empty, {}});
        }
    }
    return requests;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Tolvane: see what an optical drive and its disc hold, and copy audio CDs to WAV files."};
    app.name("tolvane-cli");
    app.set_version_flag("--version", std::string("tolvane-cli ") + TOLVANE_VERSION);
    app.require_subcommand(1);
    app.fallthrough(); // the global options may also follow the command

    std::vector<std::string> images;
    CLI::Option* imageOption =
        app.add_option("--image", images, "Attach a virtual drive holding a disc image (cue, toc or iso)")
            ->expected(1)
            ->take_all()
            ->type_name("FILE");
    int demoCount = 0; // counted so that the flags may repeat; the order comes from the parse order
    int emptyCount = 0;
    CLI::Option* demoOption =
        app.add_flag("--demo", demoCount, "Attach the demo discs: a CD, then a DVD, in two drives");
    CLI::Option* emptyOption = app.add_flag("--empty", emptyCount, "Attach an empty virtual drive");

    CLI::App* drivesCommand =
        app.add_subcommand("drives", "List the drives: letter, interface, identity, speeds");

    CLI11_PARSE(app, argc, argv);

    // Virtual drives take their letters before the drive list is built.
    auto registry = std::make_shared<tolvane::VirtualDriveRegistry>();
    const tolvane::emulator::AttachResult attached =
        tolvane::emulator::AttachDrives(*registry, DriveRequests(app, imageOption, demoOption, emptyOption),
                                        std::make_shared<tolvane::SystemClock>());
    for (const std::string& warning : attached.warnings) {
        std::cerr << warning << '\n';
    }
    if (!attached.ok) {
        std::cerr << attached.error << '\n';
        return ExitFailed;
    }
    std::unique_ptr<tolvane::Platform> platform = tolvane::CreateSystemPlatform(registry);

    if (drivesCommand->parsed()) {
        tolvane::OpticalDrives drives(*platform);
        return ListDrives(drives);
    }
    return ExitFailed;
}
