#include "support/TestData.h"

#include <cstdio>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tolvane::test {

namespace fs = std::filesystem;

std::string TestDataPath(const std::string& relative)
{
    if (const char* env = std::getenv("TOLVANE_TESTDATA"); env != nullptr && *env != '\0')
        return (fs::path(env) / relative).string();
    // The folder CMake was told (an absolute path: __FILE__ may be relative under a compiler cache).
    return (fs::path(TOLVANE_DEFAULT_TESTDATA) / relative).lexically_normal().string();
}

std::string SourcePath(const std::string& relative)
{
    return (fs::path(TOLVANE_SOURCE_DIR) / relative).string();
}

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tolvane-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        ADD_FAILURE() << "cannot create a temporary folder";
    else
        path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!path_.empty())
        fs::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const
{
    return (fs::path(path_) / name).string();
}

std::string TempDir::Write(const std::string& name, const std::string& contents) const
{
    const fs::path path = fs::path(path_) / name;
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path.string();
    return path.string();
}

std::string TempDir::Write(const std::string& name, const std::vector<std::uint8_t>& contents) const
{
    return Write(name, std::string(contents.begin(), contents.end()));
}

std::string TempDir::CopyTestData(const std::string& relative, const std::string& name) const
{
    const fs::path target = fs::path(path_) / name;
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (!fs::copy_file(TestDataPath(relative), target, fs::copy_options::overwrite_existing, ec))
        ADD_FAILURE() << "cannot copy " << relative << ": " << ec.message();
    // The shared data is read-only; a copy the test may overwrite must not be.
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, ec);
    return target.string();
}

std::vector<std::uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::optional<std::string> PeerOutput(const std::string& command)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string out;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        out.append(chunk, n);
    }
    return ::pclose(pipe) == 0 ? std::optional<std::string>(out) : std::nullopt;
}

} // namespace tolvane::test
