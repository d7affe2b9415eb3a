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

using PathText = std::function<std::string(const std::string&)>;

struct PathCase {
    const char* operation;
    PathText apply;
    std::string input;
    std::string expected;
};

// A date and time as the calendar says it (month 1 to 12).
std::tm DateTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

PathText WithExtension(const std::string& ext)
{
    return [ext](const std::string& path) { return FileSystem::AddFileExtension(path, ext); };
}

TEST(FileSystemTest, PathTextOperations)
{
    const PathCase cases[] = {
        {"AddFolderBackslash", FileSystem::AddFolderBackslash, "/home/me/Music", "/home/me/Music/"},
        {"AddFolderBackslash", FileSystem::AddFolderBackslash, "/home/me/Music/", "/home/me/Music/"},
        {"AddFolderBackslash", FileSystem::AddFolderBackslash, "", ""},
        {"AddFolderBackslash", FileSystem::AddFolderBackslash, std::string("/music\0/junk", 12), "/music/"},
        {"RemoveFolderBackslash", FileSystem::RemoveFolderBackslash, "/home/me/Music/", "/home/me/Music"},
        {"RemoveFolderBackslash", FileSystem::RemoveFolderBackslash, "/home/me/Music", "/home/me/Music"},
        {"RemoveFolderBackslash", FileSystem::RemoveFolderBackslash, "/", "/"},
        {"AddFileExtension", WithExtension(".wav"), "/cd/Track01", "/cd/Track01.wav"},
        {"AddFileExtension", WithExtension(".wav"), "/cd/Track01.mp3", "/cd/Track01.mp3"},
        {"AddFileExtension", WithExtension(".wav"), "/cd.rip/Track01", "/cd.rip/Track01.wav"},
        {"AddFileExtension", WithExtension(".wav"), "/home/.hidden", "/home/.hidden.wav"},
        {"AddFileExtension", WithExtension(""), "/cd/Track01", "/cd/Track01"},
        {"ExtractFileExtension", FileSystem::ExtractFileExtension, "/a/disc.tar.gz", ".gz"},
        {"ExtractFileExtension", FileSystem::ExtractFileExtension, "/a.b/readme", ""},
        {"ExtractFileExtension", FileSystem::ExtractFileExtension, "/home/.profile", ""},
        {"ExtractFileExtension", FileSystem::ExtractFileExtension, "/home/..", ""},
        {"RemoveFileExtension", FileSystem::RemoveFileExtension, "/cd/Track01.wav", "/cd/Track01"},
        {"RemoveFileExtension", FileSystem::RemoveFileExtension, "/cd.rip/Track01", "/cd.rip/Track01"},
        {"ExtractFileTitle", FileSystem::ExtractFileTitle, "/cd/Track01.wav", "Track01.wav"},
        {"ExtractFileTitle", FileSystem::ExtractFileTitle, "Track01.wav", "Track01.wav"},
        {"ExtractFolderTitle", FileSystem::ExtractFolderTitle, "/home/Music/", "Music/"},
        {"ExtractFolderTitle", FileSystem::ExtractFolderTitle, "/", "/"},
        {"ExtractFolder", FileSystem::ExtractFolder, "/cd/rip/Track01.wav", "/cd/rip"},
        {"ExtractFolder", FileSystem::ExtractFolder, "/cd/rip/", "/cd/rip"},
        {"ExtractFolder", FileSystem::ExtractFolder, "/cd", "/"},
        {"ExtractFolder", FileSystem::ExtractFolder, "cd", ""},
        {"ExtractDrive", FileSystem::ExtractDrive, "/cd/rip", "/"},
        {"ExtractDrive", FileSystem::ExtractDrive, "cd/rip", ""},
        {"AddFileQuotes", FileSystem::AddFileQuotes, "/my music/a.wav", "\"/my music/a.wav\""},
        {"AddFolderQuotes", FileSystem::AddFolderQuotes, "/music", "/music"},
        {"RemoveFileQuotes", FileSystem::RemoveFileQuotes, "\"/my music/a.wav\"", "/my music/a.wav"},
        {"RemoveFolderQuotes", FileSystem::RemoveFolderQuotes, "\"/my music", "\"/my music"},
        {"RemoveFolderQuotes", FileSystem::RemoveFolderQuotes, "\"", "\""},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(std::string(c.operation) + "(" + c.input.c_str() + ")");
        EXPECT_EQ(c.apply(c.input), c.expected);
    }
}

TEST(FileSystemTest, ExpandFolderReplacesSetVariablesOnly)
{
    const char* home = std::getenv("HOME");
    const std::string savedHome = home != nullptr ? home : "";
    ::setenv("TOLVANE_FS_ROOT", "/srv/rips", 1);
    ::setenv("HOME", "/home/tester", 1);
    ::unsetenv("TOLVANE_FS_UNSET");
    const std::pair<std::string, std::string> cases[] = {
        {"$TOLVANE_FS_ROOT/cd1", "/srv/rips/cd1"},
        {"${TOLVANE_FS_ROOT}cd1", "/srv/ripscd1"},
        {"$TOLVANE_FS_UNSET/cd1", "$TOLVANE_FS_UNSET/cd1"},
        {"${TOLVANE_FS_ROOT", "${TOLVANE_FS_ROOT"},
        {"~/Music", "/home/tester/Music"},
        {"/a/~b$", "/a/~b$"},
        {"", ""},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(FileSystem::ExpandFolder(input), expected) << input;
    }
    if (home != nullptr) {
        ::setenv("HOME", savedHome.c_str(), 1);
    } else {
        ::unsetenv("HOME");
    }
}

TEST(FileSystemTest, IsFileExtensionIgnoresCase)
{
    EXPECT_TRUE(FileSystem::IsFileExtension("/cd/TRACK01.WAV", "wav"));
    EXPECT_TRUE(FileSystem::IsFileExtension("/cd.wav/a.b.wav", "wav"));
    EXPECT_FALSE(FileSystem::IsFileExtension("/cd/track01.wave", "wav"));
    EXPECT_FALSE(FileSystem::IsFileExtension("/cd.wav/track01", "wav"));
}

TEST(FileSystemTest, KindsAttributesAndSizes)
{
    TempDir dir;
    const std::string file = dir.Write("a.wav", std::string(1234, 'x'));
    const std::string hidden = dir.Write(".hidden", "h");
    const std::string readOnly = dir.Write("ro.txt", "r");
    fs::permissions(readOnly, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string folder = dir.File("sub");
    fs::create_directory(folder);
    const std::string link = dir.File("link");
    fs::create_directory_symlink(folder, link);
    const std::string missing = dir.File("missing.wav");

    struct Case {
        std::string path;
        bool isFile;
        bool isFolder;
        std::int32_t attributes;
        std::int32_t size;
    } const cases[] = {
        {file, true, false, FileSystem::AttributeNormal, 1234},
        {hidden, true, false, FileSystem::AttributeHidden, 1},
        {readOnly, true, false, FileSystem::AttributeReadOnly, 1},
        {folder, false, true, FileSystem::AttributeDirectory, -1},
        {link, false, true, FileSystem::AttributeDirectory | FileSystem::AttributeReparsePoint, -1},
        {missing, false, false, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileSystem::IsFile(c.path), c.isFile);
        EXPECT_EQ(FileSystem::IsFolder(c.path), c.isFolder);
        EXPECT_EQ(FileSystem::GetFileAttributes(c.path), c.attributes);
        EXPECT_EQ(FileSystem::GetFileSize(c.path), c.size);
    }
}

TEST(FileSystemTest, ReadOnlyAttributeRoundTripsAndGuardsRemoval)
{
    TempDir dir;
    const std::string file = dir.Write("a.wav", "x");
    FileSystem::SetFileAttributes(file, FileSystem::AttributeReadOnly);
    EXPECT_EQ(FileSystem::GetFileAttributes(file), FileSystem::AttributeReadOnly);

    EXPECT_FALSE(FileSystem::RemoveFile(file));
    EXPECT_TRUE(FileSystem::IsFile(file));
    EXPECT_TRUE(FileSystem::RemoveFile(file, true));
    EXPECT_FALSE(FileSystem::IsFile(file));
    EXPECT_FALSE(FileSystem::RemoveFile(file, true));

    const std::string folder = dir.File("ro");
    ASSERT_TRUE(FileSystem::CreateFolder(folder));
    FileSystem::SetFolderAttributes(folder, FileSystem::AttributeReadOnly);
    EXPECT_FALSE(FileSystem::RemoveFolder(folder));
    EXPECT_TRUE(FileSystem::RemoveFolder(folder, true));
    EXPECT_FALSE(FileSystem::IsFolder(folder));
}

TEST(FileSystemTest, CreateAndRemoveFolderOneLevelOnly)
{
    TempDir dir;
    EXPECT_FALSE(FileSystem::CreateFolder(dir.File("a/b")));
    ASSERT_TRUE(FileSystem::CreateFolder(dir.File("a")));
    EXPECT_FALSE(FileSystem::CreateFolder(dir.File("a")));
    dir.Write("a/x.wav", "x");
    EXPECT_FALSE(FileSystem::RemoveFolder(dir.File("a"), true));
    EXPECT_FALSE(FileSystem::RemoveFile(dir.File("a"), true));
}

TEST(FileSystemTest, CopyFileOverwritesAndKeepsTheTime)
{
    TempDir dir;
    const std::string source = dir.Write("source.wav", "new contents");
    const std::string target = dir.Write("target.wav", "old");
    const std::tm when = DateTime(2021, 3, 4, 5, 6, 7);
    ASSERT_TRUE(FileSystem::SetFileDateTime(source, when));

    EXPECT_TRUE(FileSystem::CopyFile(source, target));
    EXPECT_EQ(test::ReadBytes(target), test::ReadBytes(source));
    EXPECT_EQ(FileSystem::GetFileDateTime(target), FileSystem::GetFileDateTime(source));

    EXPECT_FALSE(FileSystem::CopyFile(dir.File("missing.wav"), target));
    fs::create_directory(dir.File("folder"));
    EXPECT_FALSE(FileSystem::CopyFile(dir.File("folder"), dir.File("copy")));
    EXPECT_EQ(test::ReadBytes(target).size(), std::size_t{12});
}

TEST(FileSystemTest, RenameRefusesAnExistingTarget)
{
    TempDir dir;
    const std::string a = dir.Write("a.wav", "a");
    const std::string b = dir.Write("b.wav", "b");
    EXPECT_FALSE(FileSystem::RenameFile(a, b));
    EXPECT_EQ(test::ReadBytes(b), std::vector<std::uint8_t>{'b'});
    EXPECT_TRUE(FileSystem::RenameFile(a, dir.File("c.wav")));
    EXPECT_FALSE(FileSystem::IsFile(a));
    EXPECT_TRUE(FileSystem::IsFile(dir.File("c.wav")));
}

TEST(FileSystemTest, DateTimeRoundTripsToTheSecond)
{
    TempDir dir;
    const std::string file = dir.Write("a.wav", "x");
    const std::string folder = dir.File("sub");
    fs::create_directory(folder);
    const std::locale classic = std::locale::classic();

    const std::tm when = DateTime(2024, 2, 29, 23, 8, 59);
    ASSERT_TRUE(FileSystem::SetFileDateTime(file, when));
    EXPECT_EQ(FileSystem::GetFileDateTime(file, classic), "02/29/24 23:08:59");
    EXPECT_EQ(FileSystem::GetFolderDateTime(file, classic), "02/29/24 23:08:59");

    const std::tm summer = DateTime(1999, 7, 15, 12, 30, 0);
    EXPECT_FALSE(FileSystem::SetFileDateTime(folder, summer));
    ASSERT_TRUE(FileSystem::SetFolderDateTime(folder, summer));
    EXPECT_EQ(FileSystem::GetFolderDateTime(folder, classic), "07/15/99 12:30:00");
    EXPECT_EQ(FileSystem::GetFileDateTime(folder, classic), "");

    EXPECT_EQ(FileSystem::GetFileDateTime(dir.File("missing")), "");
    EXPECT_FALSE(FileSystem::SetFileDateTime(dir.File("missing"), when));
}

TEST(FileSystemTest, DateTimeOutOfRangeIsRefused)
{
    TempDir dir;
    const std::string file = dir.Write("a.wav", "x");
    const std::tm valid = DateTime(2000, 1, 1, 0, 0, 0);
    ASSERT_TRUE(FileSystem::SetFileDateTime(file, valid));
    const std::string before = FileSystem::GetFileDateTime(file);

    const std::tm outOfRange[] = {
        DateTime(2000, 1, 0, 0, 0, 0),  DateTime(2023, 2, 29, 0, 0, 0), // 2023 is no leap year
        DateTime(2000, 13, 1, 0, 0, 0), DateTime(2000, 1, 1, 24, 0, 0),  DateTime(2000, 1, 1, 0, 60, 0),
        DateTime(2000, 1, 1, 0, 0, -1), DateTime(1600, 12, 31, 0, 0, 0),
    };
    for (std::size_t i = 0; i < std::size(outOfRange); ++i) {
        EXPECT_FALSE(FileSystem::SetFileDateTime(file, outOfRange[i])) << "case " << i;
    }
    EXPECT_EQ(FileSystem::GetFileDateTime(file), before);
}

TEST(FileSystemTest, SearchLooksOnlyDirectlyInTheStartFolder)
{
    TempDir dir;
    dir.Write("a.wav", "a");
    dir.Write("sub/deep.wav", "d");
    const std::string root = fs::canonical(dir.Path()).string();

    EXPECT_EQ(FileSystem::SearchFile(root, "a.wav"), root + "/a.wav");
    EXPECT_EQ(FileSystem::SearchFile(root + "/", "a.wav"), root + "/a.wav");
    EXPECT_EQ(FileSystem::SearchFile(root, "deep.wav"), "");
    EXPECT_EQ(FileSystem::SearchFile(root, ""), "");
    EXPECT_EQ(FileSystem::SearchFolder(root, "sub"), root + "/sub");

    // A relative start folder still gives a full path.
    const std::string previous = FileSystem::GetCurrentFolder();
    ASSERT_TRUE(FileSystem::ChangeFolder(root));
    EXPECT_EQ(FileSystem::GetCurrentFolder(), root);
    EXPECT_EQ(FileSystem::SearchFile("sub", "deep.wav"), root + "/sub/deep.wav");
    EXPECT_EQ(FileSystem::SearchFile("", "a.wav"), root + "/a.wav");
    ASSERT_TRUE(FileSystem::ChangeFolder(previous));
    EXPECT_FALSE(FileSystem::ChangeFolder(dir.File("missing")));
}

// A tree whose walk order does not depend on the order of directory entries: one folder per level.
//   root: r.wav r.txt .hidden.wav ro.wav  .git/g.wav  A/a.wav  A/B/b.wav  A/B/C/c.wav
class ListingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir.Write("r.wav", "");
        dir.Write("r.txt", "");
        dir.Write(".hidden.wav", "");
        const std::string readOnly = dir.Write("ro.wav", "");
        fs::permissions(readOnly, fs::perms::owner_write, fs::perm_options::remove);
        dir.Write(".git/g.wav", "");
        dir.Write("A/a.wav", "");
        dir.Write("A/B/b.wav", "");
        dir.Write("A/B/C/c.wav", "");
    }

    std::string Path(const std::string& relative) const { return dir.Path() + "/" + relative; }

    static std::vector<std::string> Sorted(std::vector<std::string> list)
    {
        std::sort(list.begin(), list.end());
        return list;
    }

    TempDir dir;
};

TEST_F(ListingTest, FilesMatchThePatternAndSkipExcludedAttributes)
{
    std::int16_t count = 5;
    std::vector<std::string> files{"stale"};
    FileSystem::EnumerateFiles(dir.Path(), 0, count, files, "*.wav");
    EXPECT_EQ(count, 3);
    EXPECT_EQ(Sorted(files), (std::vector<std::string>{Path(".hidden.wav"), Path("r.wav"), Path("ro.wav")}));

    FileSystem::EnumerateFiles(dir.Path() + "/", FileSystem::AttributeHidden | FileSystem::AttributeReadOnly,
                               count, files, "*.wav");
    EXPECT_EQ(files, std::vector<std::string>{Path("r.wav")});
    EXPECT_EQ(count, 1);

    FileSystem::EnumerateFiles(dir.Path(), 0, count, files);
    EXPECT_EQ(count, 4); // every file, none of the folders

    FileSystem::EnumerateFiles(Path("missing"), 0, count, files);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(files.empty());
}

TEST_F(ListingTest, FoldersNeverIncludeDotNames)
{
    std::int16_t count = 0;
    std::vector<std::string> folders;
    FileSystem::EnumerateFolders(dir.Path(), 0, count, folders);
    EXPECT_EQ(folders, std::vector<std::string>{Path("A")});
    EXPECT_EQ(count, 1);

    FileSystem::EnumerateFolders(dir.Path(), FileSystem::AttributeDirectory, count, folders);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(folders.empty());
}

TEST_F(ListingTest, RecursiveFoldersArePreOrderAndAppendAtTheCount)
{
    // The count says where appending starts: "stale" beyond it is overwritten.
    std::int16_t count = 1;
    std::vector<std::string> folders{"kept", "stale"};
    FileSystem::EnumerateRecursiveFolders(dir.Path(), 0, count, folders);
    EXPECT_EQ(folders, (std::vector<std::string>{"kept", Path("A"), Path("A/B"), Path("A/B/C")}));
    EXPECT_EQ(count, 4);
}

TEST_F(ListingTest, RecursiveFilesArePostOrderAndAppendEachCall)
{
    const std::vector<std::string> once{Path("A/B/C/c.wav"), Path("A/B/b.wav"), Path("A/a.wav"),
                                        Path("r.wav")};
    std::int16_t count = 0;
    std::vector<std::string> files;
    const std::int32_t exclude = FileSystem::AttributeHidden | FileSystem::AttributeReadOnly;
    FileSystem::EnumerateRecursiveFiles(dir.Path(), exclude, count, files, "*.wav");
    EXPECT_EQ(files, once);
    EXPECT_EQ(count, 4);

    FileSystem::EnumerateRecursiveFiles(dir.Path(), exclude, count, files, "*.wav");
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(files, twice);
    EXPECT_EQ(count, 8);
}

TEST_F(ListingTest, FullCountLeavesEntriesOutAndTheWalkGoesOn)
{
    std::int16_t count = 32766;
    std::vector<std::string> folders(32766, "x");
    FileSystem::EnumerateRecursiveFolders(dir.Path(), 0, count, folders);
    EXPECT_EQ(count, 32767);
    ASSERT_EQ(folders.size(), std::size_t{32767});
    EXPECT_EQ(folders.back(), Path("A"));

    std::vector<std::string> files(32766, "x");
    count = 32766;
    FileSystem::EnumerateRecursiveFiles(dir.Path(), 0, count, files, "*.wav");
    EXPECT_EQ(count, 32767);
    ASSERT_EQ(files.size(), std::size_t{32767});
    EXPECT_EQ(files.back(), Path("A/B/C/c.wav"));
}

TEST_F(ListingTest, LinkedFoldersAreListedButNotEntered)
{
    fs::create_directory_symlink(dir.Path(), Path("A/B/C/up"));
    std::int16_t count = 0;
    std::vector<std::string> folders;
    FileSystem::EnumerateRecursiveFolders(dir.Path(), 0, count, folders);
    EXPECT_EQ(folders, (std::vector<std::string>{Path("A"), Path("A/B"), Path("A/B/C"), Path("A/B/C/up")}));

    std::vector<std::string> files;
    count = 0;
    FileSystem::EnumerateRecursiveFiles(dir.Path(), 0, count, files, "c.wav");
    EXPECT_EQ(files, std::vector<std::string>{Path("A/B/C/c.wav")});
}

} // namespace
} // namespace tolvane
