// tolvane-cli: the command-line companion of the main window.
//
// It builds the same objects the window does (the platform with its virtual
// drives, the drive list, the disc object of the chosen drive) and never sends
// a command block itself.
#include "cli/Commands.h"
#include "cli/FlacSource.h"
#include "cli/Options.h"
#include "device/OpticalDrives.h"
#include "device/platform/Platform.h"
#include "device/platform/VirtualDrives.h"
#include "disc/OpticalDisk.h"
#include "emulator/Attach.h"
#include "emulator/Behaviour.h"
#include "rip/DriveOffsets.h"
#include "util/Clock.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace tolvane::cli;

extern "C" void OnInterrupt(int)
{
    Interrupted = 1;
}

// --verbose: each command block and, for a failed command, its sense, on stderr.
void Trace(std::span<const std::uint8_t> cdb, const tolvane::ScsiResult& result)
{
    std::cerr << "cdb" << tolvane::FormatCdb(cdb) << " -> " << result.Describe() << '\n';
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
    std::string driveText;
    app.add_option("--drive", driveText, "The drive to use, D or D: (default: the first drive found)")
        ->type_name("LETTER");
    bool verbose = false;
    app.add_flag("--verbose", verbose, "Print each command block and the sense of failed commands to stderr");
    std::string virtualRead;
    app.add_option("--virtual-read", virtualRead,
                   "How the virtual drives read audio: offset=N, c2=on|off, cache=BLOCKS, overread")
        ->type_name("SETTINGS");
    std::vector<std::string> virtualDamage;
    app.add_option("--virtual-damage", virtualDamage,
                   "Scratch the virtual drives' discs at LBA[+COUNT][:vary|same|unflagged|fails|lost]")
        ->type_name("BLOCKS");

    CLI::App* drivesCommand =
        app.add_subcommand("drives", "List the drives: letter, interface, identity, speeds");
    CLI::App* infoCommand =
        app.add_subcommand("info", "Disc facts and the track list of the disc in the drive");
    bool json = false;
    infoCommand->add_flag("--json", json, "One JSON object instead of text");
    std::string metadata;
    const auto metadataChoice = CLI::IsMember({"musicbrainz"});
    infoCommand->add_option("--metadata", metadata, "Also show the release MusicBrainz lists for the disc")
        ->check(metadataChoice)
        ->type_name("musicbrainz");
    CLI::App* reportCommand = app.add_subcommand("report", "Write the text report of the disc's facts");
    std::string reportFile;
    reportCommand->add_option("FILE", reportFile, "The report file (replaced if it exists)")->required();
    CLI::App* ripCommand = app.add_subcommand("rip", "Extract audio tracks to WAV or FLAC files");
    std::string trackText;
    std::string folder = ".";
    ripCommand->add_option("--tracks", trackText, "Tracks to extract, as 1,3-5 (default: every audio track)")
        ->type_name("LIST");
    ripCommand
        ->add_option("--out", folder,
                     "Folder for the tracks, rip.cue, rip.log and rip.json (default: the current folder)")
        ->type_name("DIR");
    ripCommand
        ->add_option("--metadata", metadata,
                     "Name (NN - Title.wav) and tag the files from the release MusicBrainz lists")
        ->check(metadataChoice)
        ->type_name("musicbrainz");
    bool noVerify = false;
    ripCommand->add_flag("--no-verify", noVerify, "Do not check the tracks against AccurateRip afterwards");
    std::string accurateRipFile;
    ripCommand
        ->add_option("--accuraterip-file", accurateRipFile,
                     "Check against this saved response, not the network")
        ->type_name("FILE");
    RipOptions ripOptions;
    std::string format = "wav";
    ripCommand->add_option("--format", format, "The files' format: wav or flac (default wav)")
        ->check(CLI::IsMember({"wav", "flac"}))
        ->type_name("wav|flac");
    ripCommand
        ->add_option("--name", ripOptions.nameTemplate,
                     "File names: %N track number (two digits), %n number, %t title, %a artist, %T album, "
                     "%A album artist, %% a percent sign (default: Track %n)")
        ->type_name("TEMPLATE");
    bool burst = false;
    bool noC2 = false;
    bool secure = false;
    ripCommand->add_flag(
        "--secure", secure,
        "Read every sector until the drive confirms it (C2 pointers or two reads that agree; "
        "the default)");
    ripCommand->add_flag("--burst", burst, "Copy what the drive answers, once")->excludes("--secure");
    ripCommand->add_flag("--test", ripOptions.testAndCopy,
                         "Test & copy: read each track once more before copying it and compare the CRCs");
    CLI::Option* offsetOption =
        ripCommand
            ->add_option("--offset", ripOptions.read.offset,
                         "The drive's read offset correction in samples (default: the drive's entry in "
                         "~/.config/tolvane/drive-offsets, else 0)")
            ->type_name("N");
    ripCommand
        ->add_option(
            "--max-reads", ripOptions.read.maxReads,
            "Reads of a sector that cannot be confirmed before the most frequent is kept (default 20)")
        ->check(CLI::Range(2, 1000))
        ->type_name("N");
    ripCommand->add_flag("--overread", ripOptions.read.overread,
                         "The drive reads into the lead-in and lead-out (else samples there are silence)");
    ripCommand->add_flag("--no-c2", noC2,
                         "Do not use the drive's C2 error pointers: read every sector twice");
    CLI::App* verifyCommand =
        app.add_subcommand("verify", "Check extracted tracks (or the disc's own audio) against AccurateRip");
    std::string verifyFolder;
    verifyCommand
        ->add_option("FOLDER", verifyFolder, "Folder of the files Track N.wav (default: read the disc)")
        ->type_name("DIR");
    verifyCommand->add_option("--tracks", trackText, "Tracks to check, as 1,3-5 (default: every audio track)")
        ->type_name("LIST");
    verifyCommand
        ->add_option("--accuraterip-file", accurateRipFile,
                     "A saved response (dBAR-....bin) instead of the network")
        ->type_name("FILE");
    std::string cueSheet;
    verifyCommand
        ->add_option("--cue", cueSheet, "The cue sheet of an earlier rip: its files are the disc to check")
        ->type_name("FILE");
    CLI::App* offsetCommand =
        app.add_subcommand("offset", "Find the drive's read offset from a disc that AccurateRip knows");
    bool saveOffset = false;
    offsetCommand->add_flag("--save", saveOffset,
                            "Keep it in ~/.config/tolvane/drive-offsets for later rips");
    offsetCommand
        ->add_option("--accuraterip-file", accurateRipFile,
                     "The disc's saved AccurateRip response, not the network")
        ->type_name("FILE");
    CLI::App* ejectCommand = app.add_subcommand("eject", "Open the tray");
    CLI::App* loadCommand = app.add_subcommand("load", "Close the tray");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return ExitUsage;
    }

    std::optional<std::vector<int>> tracks;
    if (!trackText.empty()) {
        tracks = ParseTrackList(trackText);
        if (!tracks) {
            std::cerr << "--tracks: not a list of track numbers such as 1,3-5: " << trackText << '\n';
            return ExitUsage;
        }
    }
    std::string wantedDrive;
    if (!driveText.empty()) {
        wantedDrive = NormalizeDrive(driveText);
        if (wantedDrive.empty()) {
            std::cerr << "--drive: not a drive letter: " << driveText << '\n';
            return ExitUsage;
        }
    }

    // Virtual drives take their letters before the drive list is built.
    auto registry = std::make_shared<tolvane::VirtualDriveRegistry>();
    auto clock = std::make_shared<tolvane::SystemClock>();
    auto requests = DriveRequests(app, imageOption, demoOption, emptyOption);
    if (!cueSheet.empty()) {
        // The sheet's audio files play the disc, in a drive of their own that the check uses.
        requests.insert(requests.begin(), {tolvane::emulator::DriveRequest::Kind::Image, cueSheet});
        if (!driveText.empty()) {
            std::cerr << "--cue: the sheet is the disc to check; leave out --drive\n";
            return ExitUsage;
        }
    }
    tolvane::emulator::ReadModel readModel;
    std::vector<tolvane::emulator::DamageRange> damage(virtualDamage.size());
    std::string behaviourError;
    if (!tolvane::emulator::ParseReadModel(virtualRead, readModel, behaviourError)) {
        std::cerr << "--virtual-read: " << behaviourError << '\n';
        return ExitUsage;
    }
    for (std::size_t i = 0; i < virtualDamage.size(); ++i) {
        if (!tolvane::emulator::ParseDamage(virtualDamage[i], damage[i], behaviourError)) {
            std::cerr << "--virtual-damage: " << behaviourError << '\n';
            return ExitUsage;
        }
    }
    // Sheets of FLAC rips play in the virtual drive as sheets of WAV rips do.
    tolvane::emulator::LoadOptions loadOptions;
    loadOptions.decodeAudio = OpenFlacSource;
    const tolvane::emulator::AttachResult attached =
        tolvane::emulator::AttachDrives(*registry, requests, clock, loadOptions);
    for (const std::string& warning : attached.warnings) {
        std::cerr << warning << '\n';
    }
    if (!attached.ok) {
        std::cerr << attached.error << '\n';
        return ExitFailed;
    }
    for (const auto& virtualDrive : attached.drives) {
        virtualDrive->SetReadModel(readModel);
        for (const auto& d : damage) {
            virtualDrive->DamageAt(d.first, d.count, d.damage, 1 + static_cast<std::uint64_t>(d.first));
        }
    }
    std::unique_ptr<tolvane::Platform> platform = tolvane::CreateSystemPlatform(registry);
    const tolvane::OpticalDrives drives(*platform);
    if (drivesCommand->parsed()) {
        return ListDrives(drives);
    }
    if (drives.Count() < 1) {
        std::cerr << "No CD/DVD drives found or ASPI/SPTI not available\n";
        return ExitFailed;
    }

    // The first drive found, as the main window opens it, unless another is named.
    const tolvane::OpticalDriveItem* drive = drives.Item(0);
    if (!wantedDrive.empty()) {
        drive = nullptr;
        for (std::int16_t i = 0; i < drives.Count(); ++i) {
            if (drives.Item(i)->Letter() == wantedDrive) {
                drive = drives.Item(i);
            }
        }
        if (!drive) {
            std::cerr << "--drive: no drive " << wantedDrive << " (see tolvane-cli drives)\n";
            return ExitUsage;
        }
    }

    tolvane::OpticalDisk disc(*platform, clock);
    if (verbose) {
        disc.Transport().SetCommandObserver(Trace);
    }
    if (!disc.Create(drive->Letter())) {
        std::cerr << "Error accessing device\n";
        return ExitFailed;
    }
    std::signal(SIGINT, OnInterrupt);

    Online online;
    online.enabled = !noVerify;
    online.accurateRipFile = accurateRipFile;
    online.musicBrainz = metadata == "musicbrainz";
    online.services = tolvane::net::Services::FromEnvironment();
    int status = ExitFailed;
    if (infoCommand->parsed()) {
        status = Info(disc, *drive, json, online, verbose);
    } else if (reportCommand->parsed()) {
        status = Report(disc, reportFile, verbose);
    } else if (ripCommand->parsed() || verifyCommand->parsed()) {
        ripOptions.read.useC2 = !noC2;
        ripOptions.secure = !burst;
        ripOptions.clock = clock;
        if (offsetOption->count() > 0) {
            ripOptions.offsetSource = "given";
        } else if (ripCommand->parsed()) {
            // The user's own table of drives; a drive not in it reads uncorrected.
            tolvane::rip::OffsetTable table;
            std::string tableError;
            const std::string path = tolvane::rip::DefaultOffsetTablePath();
            if (!tolvane::rip::LoadOffsetTable(path, table, tableError)) {
                std::cerr << tableError << '\n';
                return ExitUsage;
            }
            if (const auto known = tolvane::rip::FindOffset(table, drive->Manufacturer(), drive->Name())) {
                ripOptions.read.offset = *known;
                ripOptions.offsetSource = "from " + path;
            } else {
                ripOptions.offsetSource = "not known for this drive";
            }
        }
        ripOptions.format = format == "flac" ? AudioFormat::Flac : AudioFormat::Wav;
        ripOptions.drive = drive->Manufacturer() + " " + drive->Name() + " " + drive->Revision() + " (" +
                           drive->Letter() + ")";
        status = ripCommand->parsed() ? Rip(disc, tracks, folder, online, ripOptions, verbose)
                                      : Verify(disc, tracks, verifyFolder, online, verbose);
    } else if (offsetCommand->parsed()) {
        status = FindOffset(disc, *drive, online, saveOffset, verbose);
    } else if (ejectCommand->parsed()) {
        status = Eject(disc);
    } else if (loadCommand->parsed()) {
        status = Load(disc);
    }
    disc.Destroy();
    return status;
}
