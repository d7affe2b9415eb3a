#include "util/FileSystem.h"

#include "support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <locale>

namespace tolvane {
namespace {

namespace fs = std::filesystem;
using test::TempDir;
using Paths = std::vector<std::string>;

// A date and time as the calendar says it (month 1 to 12).
std::tm DateTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day;
    t.tm_hour = hour, t.tm_min = minute, t.tm_sec = second;
    return t;
}

TEST(FileSystemTest, PathTextOperations)
{
    using F = FileSystem;
    const auto wav = [](const std::string& p) { return F::AddFileExtension(p, ".wav"); };
    const struct {
        const char* operation;
        std::function<std::string(const std::string&)> apply;
        std::vector<std::pair<std::string, std::string>> cases; // input, expected
    } groups[] = {
        {"AddFolderBackslash",
         F::AddFolderBackslash,
         {{"/home/me/Music", "/home/me/Music/"},
          {"/home/me/Music/", "/home/me/Music/"},
          {std::string("/music\0/junk", 12), "/music/"}}},
        {"RemoveFolderBackslash",
         F::RemoveFolderBackslash,
         {{"/home/me/Music/", "/home/me/Music"}, {"/", "/"}}},
        {"AddFileExtension",
         wav,
         {{"/cd/Track01.mp3", "/cd/Track01.mp3"}, {"/cd.rip/Track01", "/cd.rip/Track01.wav"}}},
        {"ExtractFileExtension",
         F::ExtractFileExtension,
         {{"/a/disc.tar.gz", ".gz"}, {"/a.b/readme", ""}, {"/home/.profile", ""}, {"/home/..", ""}}},
        {"RemoveFileExtension", F::RemoveFileExtension, {{"/cd.rip/Track01", "/cd.rip/Track01"}}},
        {"ExtractFolderTitle", F::ExtractFolderTitle, {{"/home/Music/", "Music/"}, {"/", "/"}}},
        {"ExtractFolder", F::ExtractFolder, {{"/cd/rip/", "/cd/rip"}, {"/cd", "/"}, {"cd", ""}}},
        {"ExtractDrive", F::ExtractDrive, {{"/cd/rip", "/"}, {"cd/rip", ""}}},
        {"RemoveFileQuotes", F::RemoveFileQuotes, {{"\"/my music/a.wav\"", "/my music/a.wav"}}},
        {"RemoveFolderQuotes", F::RemoveFolderQuotes, {{"\"/my music", "\"/my music"}, {"\"", "\""}}}};
    for (const auto& group : groups)
        for (const auto& [input, expected] : group.cases)
            EXPECT_EQ(group.apply(input), expected) << group.operation << "(" << input.c_str() << ")";

    EXPECT_TRUE(F::IsFileExtension("/cd/TRACK01.WAV", "wav"));
    EXPECT_FALSE(F::IsFileExtension("/cd/track01.wave", "wav"));
    EXPECT_FALSE(F::IsFileExtension("/cd.wav/track01", "wav"));
}

TEST(FileSystemTest, ExpandFolderReplacesSetVariablesOnly)
{
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::setenv("TOLVANE_FS_ROOT", "/srv/rips", 1);
    ::setenv("HOME", "/home/tester", 1);
    ::unsetenv("TOLVANE_FS_UNSET");
    const std::pair<std::string, std::string> cases[] = {{"$TOLVANE_FS_ROOT/cd1", "/srv/rips/cd1"},
                                                         {"${TOLVANE_FS_ROOT}cd1", "/srv/ripscd1"},
                                                         {"$TOLVANE_FS_UNSET/cd1", "$TOLVANE_FS_UNSET/cd1"},
                                                         {"~/Music", "/home/tester/Music"},
                                                         {"/a/~b$", "/a/~b$"},
                                                         {"", ""}};
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(FileSystem::ExpandFolder(input), expected) << input;
    home != nullptr ? ::setenv("HOME", savedHome.c_str(), 1) : ::unsetenv("HOME");
}

TEST(FileSystemTest, KindsAttributesAndSizes)
{
    TempDir dir;
    const std::string readOnly = dir.Write("ro.txt", "r"), folder = dir.File("sub"), link = dir.File("link");
    fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(folder);
    fs::create_directory_symlink(folder, link);
    const struct {
        std::string path;
        bool isFile, isFolder;
        std::int32_t attributes, size;
    } cases[] = {{dir.Write("a.wav", std::string(1234, 'x')), true, false, FileSystem::AttributeNormal, 1234},
                 {dir.Write(".hidden", "h"), true, false, FileSystem::AttributeHidden, 1},
                 {readOnly, true, false, FileSystem::AttributeReadOnly, 1},
                 {folder, false, true, FileSystem::AttributeDirectory, -1},
                 {link, false, true, FileSystem::AttributeDirectory | FileSystem::AttributeReparsePoint, -1},
                 {dir.File("missing.wav"), false, false, -1, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileSystem::IsFile(c.path), c.isFile);
        EXPECT_EQ(FileSystem::IsFolder(c.path), c.isFolder);
        EXPECT_EQ(FileSystem::GetFileAttributes(c.path), c.attributes);
        EXPECT_EQ(FileSystem::GetFileSize(c.path), c.size);
    }
}

TEST(FileSystemTest, ReadOnlyGuardsRemovalAndFoldersAreOneLevel)
{
    TempDir dir;
    const std::string file = dir.Write("a.wav", "x");
    FileSystem::SetFileAttributes(file, FileSystem::AttributeReadOnly);
    EXPECT_EQ(FileSystem::GetFileAttributes(file), FileSystem::AttributeReadOnly);
    EXPECT_FALSE(FileSystem::RemoveFile(file));
    EXPECT_TRUE(FileSystem::RemoveFile(file, true));

    const std::string folder = dir.File("ro");
    ASSERT_TRUE(FileSystem::CreateFolder(folder));
    FileSystem::SetFolderAttributes(folder, FileSystem::AttributeReadOnly);
    EXPECT_FALSE(FileSystem::RemoveFolder(folder));
    EXPECT_TRUE(FileSystem::RemoveFolder(folder, true));

    EXPECT_FALSE(FileSystem::CreateFolder(dir.File("a/b")));
    dir.Write("a/x.wav", "x");
    EXPECT_FALSE(FileSystem::RemoveFolder(dir.File("a"), true)) << "not empty";
}

TEST(FileSystemTest, CopyOverwritesAndKeepsTheTimeRenameRefusesAnExistingTarget)
{
    TempDir dir;
    const std::string source = dir.Write("source.wav", "new contents"),
                      target = dir.Write("target.wav", "old");
    ASSERT_TRUE(FileSystem::SetFileDateTime(source, DateTime(2021, 3, 4, 5, 6, 7)));
    EXPECT_TRUE(FileSystem::CopyFile(source, target));
    EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
    EXPECT_EQ(FileSystem::GetFileDateTime(target), FileSystem::GetFileDateTime(source));

    const std::string a = dir.Write("a.wav", "a"), b = dir.Write("b.wav", "b");
    EXPECT_FALSE(FileSystem::RenameFile(a, b));
    EXPECT_EQ(test::ReadBytes(b), std::vector<std::uint8_t>{'b'});
    EXPECT_TRUE(FileSystem::RenameFile(a, dir.File("c.wav")));
}

TEST(FileSystemTest, DateTimeRoundTripsToTheSecondAndOutOfRangeIsRefused)
{
    TempDir dir;
    const std::string file = dir.Write("a.wav", "x"), folder = dir.File("sub");
    fs::create_directory(folder);
    const std::locale classic = std::locale::classic();
    const std::tm when = DateTime(2024, 2, 29, 23, 8, 59), summer = DateTime(1999, 7, 15, 12, 30, 0);
    ASSERT_TRUE(FileSystem::SetFileDateTime(file, when));
    EXPECT_EQ(FileSystem::GetFileDateTime(file, classic), "02/29/24 23:08:59");
    EXPECT_FALSE(FileSystem::SetFileDateTime(folder, summer));
    ASSERT_TRUE(FileSystem::SetFolderDateTime(folder, summer));
    EXPECT_EQ(FileSystem::GetFolderDateTime(folder, classic), "07/15/99 12:30:00");

    ASSERT_TRUE(FileSystem::SetFileDateTime(file, DateTime(2000, 1, 1, 0, 0, 0)));
    const std::string before = FileSystem::GetFileDateTime(file);
    const std::tm outOfRange[] = {
        DateTime(2000, 1, 0, 0, 0, 0),  DateTime(2023, 2, 29, 0, 0, 0), // 2023 is no leap year
        DateTime(2000, 13, 1, 0, 0, 0), DateTime(2000, 1, 1, 24, 0, 0), DateTime(2000, 1, 1, 0, 60, 0),
        DateTime(2000, 1, 1, 0, 0, -1), DateTime(1600, 12, 31, 0, 0, 0)};
    for (std::size_t i = 0; i < std::size(outOfRange); ++i)
        EXPECT_FALSE(FileSystem::SetFileDateTime(file, outOfRange[i])) << "case " << i;
    EXPECT_EQ(FileSystem::GetFileDateTime(file), before);
}

// One folder per level, so the walk order does not depend on the order of directory entries:
//   root: r.wav r.txt .hidden.wav ro.wav  .git/g.wav  A/a.wav  A/B/b.wav  A/B/C/c.wav
class ListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name :
             {"r.wav", "r.txt", ".hidden.wav", ".git/g.wav", "A/a.wav", "A/B/b.wav", "A/B/C/c.wav"})
            dir.Write(name, "");
        fs::permissions(dir.Write("ro.wav", ""), fs::perms::owner_write, fs::perm_options::remove);
    }
    std::string Path(const std::string& relative) const { return dir.Path() + "/" + relative; }
    Paths Of(std::initializer_list<const char*> names) const
    {
        Paths out;
        for (const char* name : names)
            out.push_back(Path(name));
        return out;
    }

    TempDir dir;
    std::int16_t count = 0;
    Paths list;
    const std::int32_t hiddenOrReadOnly = FileSystem::AttributeHidden | FileSystem::AttributeReadOnly;
};

TEST_F(ListingTest, FilesMatchThePatternFoldersNeverIncludeDotNames)
{
    count = 5;
    list = {"stale"};
    FileSystem::EnumerateFiles(dir.Path(), 0, count, list, "*.wav");
    EXPECT_EQ(count, 3);
    std::sort(list.begin(), list.end());
    EXPECT_EQ(list, Of({".hidden.wav", "r.wav", "ro.wav"}));
    FileSystem::EnumerateFiles(dir.Path() + "/", hiddenOrReadOnly, count, list, "*.wav");
    EXPECT_EQ(list, Of({"r.wav"}));
    EXPECT_EQ(count, 1);
    FileSystem::EnumerateFiles(Path("missing"), 0, count, list);
    EXPECT_EQ(std::tuple(count, list.empty()), std::tuple(0, true));

    FileSystem::EnumerateFolders(dir.Path(), 0, count, list);
    EXPECT_EQ(list, Of({"A"}));
    EXPECT_EQ(count, 1);
}

// A linked folder is listed but not entered: the files below it are not found twice.
TEST_F(ListingTest, RecursiveFoldersArePreOrderFilesPostOrderLinksNotEntered)
{
    fs::create_directory_symlink(dir.Path(), Path("A/B/C/up"));
    // The count says where appending starts: "stale" beyond it is overwritten.
    count = 1;
    list = {"kept", "stale"};
    FileSystem::EnumerateRecursiveFolders(dir.Path(), 0, count, list);
    EXPECT_EQ(list, (Paths{"kept", Path("A"), Path("A/B"), Path("A/B/C"), Path("A/B/C/up")}));
    EXPECT_EQ(count, 5);

    count = 0;
    FileSystem::EnumerateRecursiveFiles(dir.Path(), hiddenOrReadOnly, count, list, "*.wav");
    EXPECT_EQ(list, Of({"A/B/C/c.wav", "A/B/b.wav", "A/a.wav", "r.wav"}));
    EXPECT_EQ(count, 4);
}

} // namespace
} // namespace tolvane
