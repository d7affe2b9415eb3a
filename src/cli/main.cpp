// tolvane-cli: the command-line companion of the main window.
//
// It builds the same objects the window does (the platform with its virtual
// drives, the drive list) and never sends a command block itself.
#include "device/OpticalDrives.h"
#include "device/platform/Platform.h"
#include "device/platform/VirtualDrives.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

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

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Tolvane: see what an optical drive and its disc hold, and copy audio CDs to WAV files."};
    app.name("tolvane-cli");
    app.set_version_flag("--version", std::string("tolvane-cli ") + TOLVANE_VERSION);
    app.require_subcommand(1);

    CLI::App* drivesCommand =
        app.add_subcommand("drives", "List the drives: letter, interface, identity, speeds");

    CLI11_PARSE(app, argc, argv);

    auto registry = std::make_shared<tolvane::VirtualDriveRegistry>();
    std::unique_ptr<tolvane::Platform> platform = tolvane::CreateSystemPlatform(registry);

    if (drivesCommand->parsed()) {
        tolvane::OpticalDrives drives(*platform);
        return ListDrives(drives);
    }
    return ExitFailed;
}
