// Where the tests find the shared test data (images, sheets and goldens made by other tools), and a
// scratch folder for files a test writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::test {

// `relative` inside $TOLVANE_TESTDATA, else inside ../shared/testdata beside the repository.
std::string TestDataPath(const std::string& relative);
// A file of this repository, by its path from the top folder ("tests/disc/golden/x.txt").
std::string SourcePath(const std::string& relative);

// A fresh folder under the system's temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const; // Path() + "/" + name
    // Writes a file in the folder (creating sub-folders) and returns its path.
    std::string Write(const std::string& name, const std::string& contents) const;
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& contents) const;
    // Copies a file of the shared test data into the folder under `name`.
    std::string CopyTestData(const std::string& relative, const std::string& name) const;

private:
    std::string path_;
};

// A whole file's bytes; empty when it cannot be read.
std::vector<std::uint8_t> ReadBytes(const std::string& path);

// What a peer's program prints for a shell command line, when it exits with 0; nothing when the
// program is missing or fails. Tests use peers as oracles and skip when they are not installed.
std::optional<std::string> PeerOutput(const std::string& command);

} // namespace tolvane::test
