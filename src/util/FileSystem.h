// File and folder operations: path text, existence and attributes, copying, renaming and removing,
// file times and folder listings.
//
// Paths are UTF-8 and use the operating system's own form: "/" and a single root "/" on Linux,
// drive letters, "\" and \\server\share roots on Windows (where they are handed to the system in
// its ANSI code page). Every operation works on a copy of its argument cut at its first NUL.
// Nothing throws and nothing keeps a message: failures show as false, -1 or an empty string.
#pragma once

#include <cstdint>
#include <ctime>
#include <locale>
#include <string>
#include <vector>

namespace tolvane {

class FileSystem {
public:
    // The Windows file attribute bits. On Linux they are derived from the file's mode and name:
    // read-only means the owner has no write permission, hidden means the name starts with ".",
    // and an entry with no other bit is "normal".
    static constexpr std::int32_t AttributeReadOnly = 0x01;
    static constexpr std::int32_t AttributeHidden = 0x02;
    static constexpr std::int32_t AttributeSystem = 0x04;
    static constexpr std::int32_t AttributeDirectory = 0x10;
    static constexpr std::int32_t AttributeArchive = 0x20;
    static constexpr std::int32_t AttributeNormal = 0x80;
    // A symbolic link (Linux) or junction (Windows); the other bits describe its target.
    static constexpr std::int32_t AttributeReparsePoint = 0x400;

    // The folder separator of this system.
#ifdef _WIN32
    static constexpr char Separator = '\\';
#else
    static constexpr char Separator = '/';
#endif

    // --- Path text ---

    // `file` + `ext` (given with its dot) when `file` has no extension yet, else `file`. An empty
    // `ext` adds nothing.
    static std::string AddFileExtension(const std::string& file, const std::string& ext);
    // The path in double quotes when it holds a space.
    static std::string AddFileQuotes(const std::string& file);
    // `folder` with a separator at its end; an empty text stays empty.
    static std::string AddFolderBackslash(const std::string& folder);
    static std::string AddFolderQuotes(const std::string& folder);
    // Environment variables expanded (%NAME% on Windows; $NAME, ${NAME} and a leading ~ on
    // Linux, where an unset variable stays as written); empty when the expansion is empty.
    static std::string ExpandFolder(const std::string& folder);
    // The root of the path: "C:\" or "\\server\share" on Windows, "/" for an absolute path on
    // Linux; empty for a relative path.
    static std::string ExtractDrive(const std::string& file);
    // The extension with its dot (".wav"), or empty. On Linux the leading dot of a hidden name
    // (".profile") is no extension.
    static std::string ExtractFileExtension(const std::string& file);
    // The last path component; a trailing separator stays with it ("Music/" of "/home/Music/").
    static std::string ExtractFileTitle(const std::string& file);
    // The path without its last component and the separator before it; a root keeps its
    // separator ("/" of "/tmp"), a bare name gives an empty text.
    static std::string ExtractFolder(const std::string& folder);
    static std::string ExtractFolderTitle(const std::string& folder);
    static std::string RemoveFileExtension(const std::string& file);
    // Removes a pair of enclosing double quotes.
    static std::string RemoveFileQuotes(const std::string& file);
    // Removes one trailing separator; a root keeps it.
    static std::string RemoveFolderBackslash(const std::string& folder);
    static std::string RemoveFolderQuotes(const std::string& folder);

    // --- Tests and queries ---

    static bool IsFile(const std::string& file);
    static bool IsFolder(const std::string& folder);
    // True when `file` matches "*." + `ext`, ignoring case.
    static bool IsFileExtension(const std::string& file, const std::string& ext);
    // The current folder; empty when it cannot be read.
    static std::string GetCurrentFolder();
    // The attribute bits, -1 when the path does not exist.
    static std::int32_t GetFileAttributes(const std::string& file);
    static std::int32_t GetFolderAttributes(const std::string& folder);
    // The low 32 bits of the file's size; -1 when it cannot be opened for reading or is a folder.
    static std::int32_t GetFileSize(const std::string& file);
    // The file's time in local time as "<short date> <time>" of the user's locale (or of
    // `locale`); empty when it cannot be read. Windows reports the last of the creation, access
    // and write times that the system fills in, which is the last-write time; Linux reports the
    // last-write time. GetFileDateTime refuses a folder, GetFolderDateTime takes either.
    static std::string GetFileDateTime(const std::string& file);
    static std::string GetFileDateTime(const std::string& file, const std::locale& locale);
    static std::string GetFolderDateTime(const std::string& folder);
    static std::string GetFolderDateTime(const std::string& folder, const std::locale& locale);
    // The full path of `file` (`folder`) when it is found directly in `startfolder`, without
    // descending into subfolders; empty otherwise.
    static std::string SearchFile(const std::string& startfolder, const std::string& file);
    static std::string SearchFolder(const std::string& startfolder, const std::string& folder);

    // --- Changes (true when the system carried them out) ---

    static bool ChangeFolder(const std::string& folder);
    // Copies the contents and the last-write time, overwriting an existing destination.
    static bool CopyFile(const std::string& sourcefile, const std::string& destinationfile);
    // One level only.
    static bool CreateFolder(const std::string& folder);
    // A read-only file or folder is not removed unless `IgnoreReadonly` clears its attributes
    // first (also on Linux, where the system itself would not object). RemoveFolder removes an
    // empty folder only.
    static bool RemoveFile(const std::string& file, bool IgnoreReadonly = false);
    static bool RemoveFolder(const std::string& folder, bool IgnoreReadonly = false);
    // Fails when the new name exists; a file may move to another file system.
    static bool RenameFile(const std::string& oldfile, const std::string& newfile);
    static bool RenameFolder(const std::string& oldfolder, const std::string& newfolder);
    // Only the read-only bit has an effect on Linux (it clears or restores the owner's write
    // permission).
    static void SetFileAttributes(const std::string& file, std::int32_t attr);
    static void SetFolderAttributes(const std::string& folder, std::int32_t attr);
    // Sets the file's times to `datetime` taken as local time: its year, month, day, hour, minute
    // and second (tm_year, tm_mon ... tm_sec; the other fields are not read). False when a field
    // is out of range or the path cannot be opened (SetFileDateTime refuses a folder).
    static bool SetFileDateTime(const std::string& file, const std::tm& datetime);
    static bool SetFolderDateTime(const std::string& folder, const std::tm& datetime);

    // --- Listing ---
    // Entries come as full paths (the folder, a separator, the name) in the order the file system
    // returns them. An entry is taken only when it has none of the bits of `excludeattr`. A count
    // holds at most 32767 entries: an entry that would take it further is left out.

    // The files of `startfolder` whose names match `pattern` (case-sensitive on Linux).
    static void EnumerateFiles(const std::string& startfolder, std::int32_t excludeattr,
                               std::int16_t& numberfiles, std::vector<std::string>& files,
                               const std::string& pattern = "*");
    // The subfolders of `startfolder`, leaving out every name that starts with ".".
    static void EnumerateFolders(const std::string& startfolder, std::int32_t excludeattr,
                                 std::int16_t& numberfolders, std::vector<std::string>& folders);
    // Every folder below `startfolder`, each before its own subfolders, appended at index
    // `numberfolders` to what the caller passes in. Linked folders are listed but not entered, so
    // a link that points back up the tree cannot make a walk endless.
    static void EnumerateRecursiveFolders(const std::string& startfolder, std::int32_t excludeattr,
                                          std::int16_t& numberfolders, std::vector<std::string>& folders);
    // The matching files of the whole tree, appended to what the caller passes in: the files of
    // each subfolder's tree first, the files of `startfolder` itself last.
    static void EnumerateRecursiveFiles(const std::string& startfolder, std::int32_t excludeattr,
                                        std::int16_t& numberfiles, std::vector<std::string>& files,
                                        const std::string& pattern = "*");
};

} // namespace tolvane
