// Writes the seed corpora of the fuzz targets, one folder per target under the corpus root:
//   fuzz_seeds TESTDATA CORPUS
// The loaders get the sheets and images of the shared test data (each sheet also with its file
// names changed to the data.bin / data.wav / data.cdt that the loader targets put beside it)
// and a few written here;
// the decoders get the answers the virtual drive gives for the demo discs, the fuzz discs and
// every image of the test data that loads; the drive and transport targets get command
// sequences that survey each fuzz disc. File names are content hashes, so repeats collapse.
#include "FuzzSupport.h"

#include "emulator/ImageLoader.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>

namespace {

using namespace tolvane;
namespace fs = std::filesystem;

class Corpora {
public:
    explicit Corpora(fs::path root) : root_(std::move(root)) {}

    void Add(const std::string& target, ConstBytes bytes)
    {
        if (bytes.empty())
            return;
        std::uint64_t hash = 14695981039346656037ULL; // FNV-1a
        for (const std::uint8_t b : bytes)
            hash = (hash ^ b) * 1099511628211ULL;
        char name[17];
        std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(hash));
        const fs::path folder = root_ / target;
        fs::create_directories(folder);
        if (fs::exists(folder / name))
            return;
        fuzz::WriteFile(folder / name, bytes);
        ++counts_[target];
    }
    void Add(const std::string& target, const std::string& text)
    {
        Add(target, ConstBytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    }

    const std::map<std::string, int>& Counts() const { return counts_; }

private:
    fs::path root_;
    std::map<std::string, int> counts_;
};

std::string ReadAll(const fs::path& path, std::size_t limit = SIZE_MAX)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    bytes.resize(std::min<std::size_t>(limit, fs::file_size(path)));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// The sheet with every file it names changed to the companions the loader targets provide: the
// long ones when it names one file, the short ones when it names several (a file per track).
std::string PointAtCompanions(const std::string& sheet)
{
    static const std::regex file(R"(^(\s*(?:FILE|AUDIOFILE|DATAFILE)\s+)("[^"]*"|\S+))", std::regex::icase);
    static const std::regex cdText(R"(^(\s*CDTEXTFILE\s+)("[^"]*"|\S+))", std::regex::icase);
    static const std::regex wave(R"(\.wav"?$|\sWAVE\s*$)", std::regex::icase);
    std::istringstream in(sheet);
    std::vector<std::string> lines;
    int files = 0;
    for (std::string line; std::getline(in, line);) {
        files += std::regex_search(line, file) ? 1 : 0;
        lines.push_back(line);
    }
    const std::string stem = files > 1 ? "short" : "data";
    std::string out;
    for (std::string& line : lines) {
        std::smatch m;
        if (std::regex_search(line, m, file)) {
            const bool isWave = std::regex_search(m[2].str(), wave) || std::regex_search(line, wave);
            line = m[1].str() + "\"" + stem + (isWave ? ".wav\"" : ".bin\"") + m.suffix().str();
        } else if (std::regex_search(line, m, cdText)) {
            line = m[1].str() + "\"data.cdt\"" + m.suffix().str();
        }
        out += line + '\n';
    }
    return out;
}

// Sheets for what the shared test data lacks: sessions, gaps, WAVE and big-endian files, data
// modes, CD-Text files and blocks, and files left to be synthesized.
const char* const HandWrittenCues[] = {
    R"(CATALOG 0123456789012
CDTEXTFILE "data.cdt"
TITLE "Disc"
PERFORMER "Someone"
FILE "data.bin" BINARY
  TRACK 01 AUDIO
    FLAGS DCP PRE 4CH SCMS
    ISRC USXYZ9900001
    TITLE "One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    PREGAP 00:02:00
    INDEX 01 00:01:00
    INDEX 02 00:02:00
    POSTGAP 00:01:00
REM SESSION 02
FILE "data.bin" BINARY
  TRACK 03 MODE1/2352
    INDEX 01 00:00:00
)",
    R"(FILE "data.wav" WAVE
  TRACK 01 AUDIO
    INDEX 00 00:00:00
    INDEX 01 00:00:32
  TRACK 02 AUDIO
    INDEX 01 00:02:00
)",
    R"(FILE "data.bin" MOTOROLA
  TRACK 01 AUDIO
    INDEX 01 00:00:00
FILE "data.bin" BINARY
  TRACK 02 MODE1/2048
    INDEX 01 00:00:00
FILE "data.bin" BINARY
  TRACK 03 MODE2/2336
    INDEX 01 00:00:00
FILE "data.bin" BINARY
  TRACK 04 MODE2/2352
    INDEX 01 00:00:00
)",
    R"(FILE "missing.bin" BINARY
  TRACK 01 MODE1/2352
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    INDEX 00 01:00:00
    INDEX 01 01:02:00
)",
};

const char* const HandWrittenTocs[] = {
    R"(CD_ROM_XA
CATALOG "0123456789012"
CD_TEXT {
  LANGUAGE_MAP { 0 : EN }
  LANGUAGE 0 {
    TITLE "Disc"
    PERFORMER "Someone"
    GENRE { 0 3 }
  }
}
TRACK AUDIO
COPY
PRE_EMPHASIS
FOUR_CHANNEL_AUDIO
ISRC "USXYZ9900001"
CD_TEXT { LANGUAGE 0 { TITLE "One" } }
SILENCE 00:02:00
FILE "data.wav" 0 00:01:00
START 00:01:00
TRACK AUDIO
AUDIOFILE "data.bin" #0 00:01:00
INDEX 00:00:30
TRACK MODE1
DATAFILE "data.bin" 00:01:00
ZERO 00:00:10
TRACK MODE2_FORM_MIX
DATAFILE "missing.bin" 00:01:00
)",
    R"(CD_DA
TRACK AUDIO
NO COPY
PREGAP 00:02:00
FILE "data.bin" 0
TRACK AUDIO SWAP
FILE "data.bin" 00:01:00 00:01:00
TRACK MODE1_RAW
DATAFILE "data.bin"
TRACK MODE2_RAW RW_RAW
DATAFILE "missing.bin" 00:00:20
)",
};

// Which target's corpus the answer to a survey command seeds.
std::string TargetOf(const std::string& command)
{
    const auto starts = [&](const char* prefix) { return command.rfind(prefix, 0) == 0; };
    if (starts("toc0") || starts("toc1") || starts("toc2"))
        return "decode_toc";
    if (starts("subq2") || starts("subq3"))
        return "decode_subchannel";
    if (starts("discinfo") || starts("capacity") || starts("structure") || starts("toc4") ||
        starts("trackinfo") || starts("header"))
        return "decode_responses";
    if (starts("read10"))
        return "decode_iso9660";
    if (starts("toc5"))
        return "cdtext";
    return {};
}

// The loader targets read their first byte as options: each sheet goes in with and without
// synthesized files.
void AddSheet(Corpora& corpora, const std::string& target, const std::string& sheet)
{
    for (const char options : {'\0', '\1'})
        corpora.Add(target, options + sheet);
}

void RecordAnswers(Corpora& corpora, const std::shared_ptr<const emulator::Disc>& disc)
{
    emulator::EmulatedDrive drive;
    drive.Insert(disc);
    std::vector<std::uint8_t> buffer;
    fuzz::ExecuteChecked(drive, std::vector<std::uint8_t>(12, 0), buffer); // the unit attention
    for (const fuzz::Command& c : fuzz::SurveyCommands(*disc)) {
        const std::string target = TargetOf(c.name);
        if (target.empty())
            continue;
        buffer.assign(c.dataIn, 0);
        const ScsiResult result = fuzz::ExecuteChecked(drive, c.cdb, buffer);
        if (!result.Good())
            continue;
        ConstBytes answer =
            ConstBytes(buffer).first(buffer.size() - static_cast<std::size_t>(result.residual));
        if (target == "cdtext")
            answer = answer.size() > 4 ? answer.subspan(4) : ConstBytes{}; // the packs without the header
        corpora.Add(target, answer);
    }
}

// Command sequences for the drive target (one per fuzz disc, and one with no disc).
void WriteDriveSeeds(Corpora& corpora)
{
    const auto& discs = fuzz::Discs();
    for (std::size_t pick = 0; pick <= discs.size(); ++pick) {
        std::vector<std::uint8_t> seed{static_cast<std::uint8_t>(pick)};
        const auto add = [&](std::size_t dataIn, const std::vector<std::uint8_t>& cdb) {
            seed.push_back(fuzz::DataInCode(dataIn));
            seed.insert(seed.end(), cdb.begin(), cdb.end());
        };
        add(0, std::vector<std::uint8_t>(12, 0));
        const emulator::Disc& surveyed = *discs[std::min(pick, discs.size() - 1)];
        for (const fuzz::Command& c : fuzz::SurveyCommands(surveyed))
            add(c.dataIn, c.cdb);
        add(0, {0x1B, 0, 0, 0, 0x02, 0, 0, 0, 0, 0, 0, 0}); // eject
        add(0, {0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        add(0, {0x1B, 0, 0, 0, 0x03, 0, 0, 0, 0, 0, 0, 0}); // load
        add(18, {0x03, 0, 0, 0, 18, 0, 0, 0, 0, 0, 0, 0});
        corpora.Add("drive", seed);
    }
}

// Call sequences for the transport target: every call with its usual parameters.
void WriteMmcSeeds(Corpora& corpora)
{
    using fuzz::MmcCall;
    struct Call {
        MmcCall call;
        std::uint8_t param;
        std::int32_t lba;
        std::size_t length;
    };
    const std::vector<Call> calls{
        {MmcCall::TestUnitReady, 0, 0, 0},     {MmcCall::TestUnitReady, 0, 0, 0},
        {MmcCall::Inquiry, 0, 0, 36},          {MmcCall::ModeSense, 0x2A, 0, 64},
        {MmcCall::EventStatus, 0x10, 0, 8},    {MmcCall::ReadCapacity, 0, 0, 8},
        {MmcCall::Toc, 0x00, 0, 804},          {MmcCall::Toc, 0x82, 0, 2048},
        {MmcCall::Toc, 0x01, 0, 12},           {MmcCall::Toc, 0x05, 0, 4096},
        {MmcCall::Toc, 0x84, 0, 28},           {MmcCall::DiscInformation, 0, 0, 34},
        {MmcCall::SubChannel, 0x02, 0, 24},    {MmcCall::SubChannel, 0x03, 1, 24},
        {MmcCall::TrackInformation, 1, 0, 36}, {MmcCall::DiscStructure, 0, 0, 2052},
        {MmcCall::DiscStructure, 1, 0, 8},     {MmcCall::Header, 0, 16, 8},
        {MmcCall::Read, 0, 16, 2048},          {MmcCall::ReadCd, 0, 0, 2352},
        {MmcCall::ReadCdBurst, 27, 0, 63504},  {MmcCall::ReadCdBurst, 1, 150, 2352},
        {MmcCall::StartStop, 0, 0, 0},         {MmcCall::StartStop, 1, 0, 0},
    };
    for (std::size_t pick = 0; pick <= fuzz::Discs().size(); ++pick) {
        std::vector<std::uint8_t> seed{static_cast<std::uint8_t>(pick)};
        for (const Call& c : calls) {
            seed.push_back(static_cast<std::uint8_t>(c.call));
            seed.push_back(c.param);
            for (int shift = 24; shift >= 0; shift -= 8)
                seed.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(c.lba) >> shift));
            seed.push_back(fuzz::DataInCode(c.length));
        }
        corpora.Add("mmc", seed);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds TESTDATA CORPUS\n");
        return 2;
    }
    const fs::path testdata = argv[1];
    Corpora corpora(argv[2]);

    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(testdata))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());

    for (const fs::path& path : files) {
        const std::string ext = path.extension().string();
        if (ext == ".cue" || ext == ".toc") {
            const std::string target = ext == ".cue" ? "load_cue" : "load_toc";
            const std::string sheet = ReadAll(path);
            AddSheet(corpora, target, sheet);
            AddSheet(corpora, target, PointAtCompanions(sheet));
        } else if (ext == ".iso") {
            // The system area and the first descriptors are what matters; the rest only slows runs.
            corpora.Add("load_iso", ReadAll(path, 20 * 2048));
        } else if (ext == ".cdt") {
            std::string packs = ReadAll(path);
            if (packs.size() % cdtext::PackSize == 4)
                packs.erase(0, 4); // the header of READ TOC format 5
            corpora.Add("cdtext", packs);
        }
        if (ext == ".cue" || ext == ".toc" || ext == ".iso") {
            emulator::LoadOptions options;
            options.synthesizeMissingData = true;
            const auto loaded = emulator::LoadImage(path.string(), options);
            if (loaded.disc)
                RecordAnswers(corpora, loaded.disc);
        }
    }
    for (const char* sheet : HandWrittenCues)
        AddSheet(corpora, "load_cue", sheet);
    for (const char* sheet : HandWrittenTocs)
        AddSheet(corpora, "load_toc", sheet);
    for (const auto& disc : fuzz::Discs())
        RecordAnswers(corpora, disc);
    WriteDriveSeeds(corpora);
    WriteMmcSeeds(corpora);

    for (const auto& [target, count] : corpora.Counts())
        std::printf("%-18s %d new seeds\n", target.c_str(), count);
    return 0;
}
