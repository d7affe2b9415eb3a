#include "util/FileSystem.h"

#include <algorithm>
#include <functional>
#include <iomanip>
#include <limits>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>

#include <shlwapi.h> // after windows.h, which it needs
// windows.h maps these names to their A/W entry points; our members carry the plain names.
#undef CopyFile
#undef GetFileAttributes
#undef SetFileAttributes
#else
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tolvane {

namespace {

constexpr std::int16_t MaxCount = std::numeric_limits<std::int16_t>::max();

// Paths cross to the system as C strings, so anything after a NUL never existed for it.
std::string Cut(const std::string& text)
{
    return text.substr(0, text.find('\0'));
}

// Stores `entry` at index `count` and counts it; a full 16-bit count leaves it out.
void Append(std::int16_t& count, std::vector<std::string>& list, const std::string& entry)
{
    if (count >= MaxCount) {
        return;
    }
    count = std::max<std::int16_t>(count, 0);
    list.resize(static_cast<std::size_t>(count));
    list.push_back(entry);
    ++count;
}

std::locale UserLocale()
{
    try {
        return std::locale("");
    } catch (const std::runtime_error&) {
        return std::locale::classic();
    }
}

std::string FormatLocalTime(const std::tm& local, const std::locale& locale)
{
    std::ostringstream out;
    out.imbue(locale);
    out << std::put_time(&local, "%x") << ' ' << std::put_time(&local, "%X");
    return out.str();
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The range a Windows system time record accepts, so both systems refuse the same values.
bool IsValidDateTime(const std::tm& t)
{
    static constexpr int Days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int year = t.tm_year + 1900;
    if (year < 1601 || year > 30827 || t.tm_mon < 0 || t.tm_mon > 11) {
        return false;
    }
    const int days = Days[t.tm_mon] + (t.tm_mon == 1 && IsLeapYear(year) ? 1 : 0);
    return t.tm_mday >= 1 && t.tm_mday <= days && t.tm_hour >= 0 && t.tm_hour <= 23 && t.tm_min >= 0 &&
           t.tm_min <= 59 && t.tm_sec >= 0 && t.tm_sec <= 59;
}

// Calls `visit` with the name and attribute bits of each entry of `folder` (which ends with a
// separator, or is empty for the current folder) whose name matches `pattern`, in the order the
// system returns them.
using EntryVisitor = std::function<void(const std::string& name, std::int32_t attributes)>;
void ListFolder(const std::string& folder, const std::string& pattern, const EntryVisitor& visit);

bool IsLinkedFolder(const std::string& folder)
{
    const std::int32_t attributes = FileSystem::GetFolderAttributes(folder);
    return attributes != -1 && (attributes & FileSystem::AttributeReparsePoint) != 0;
}

} // namespace

// --- Shared by both systems ---

std::string FileSystem::AddFolderQuotes(const std::string& folder)
{
    return AddFileQuotes(folder);
}

std::string FileSystem::ExtractFolderTitle(const std::string& folder)
{
    return ExtractFileTitle(folder);
}

std::string FileSystem::RemoveFolderQuotes(const std::string& folder)
{
    return RemoveFileQuotes(folder);
}

std::int32_t FileSystem::GetFolderAttributes(const std::string& folder)
{
    return GetFileAttributes(folder);
}

void FileSystem::SetFolderAttributes(const std::string& folder, std::int32_t attr)
{
    SetFileAttributes(folder, attr);
}

std::string FileSystem::GetFileDateTime(const std::string& file)
{
    return GetFileDateTime(file, UserLocale());
}

std::string FileSystem::GetFolderDateTime(const std::string& folder)
{
    return GetFolderDateTime(folder, UserLocale());
}

std::string FileSystem::SearchFolder(const std::string& startfolder, const std::string& folder)
{
    return SearchFile(startfolder, folder);
}

bool FileSystem::RenameFolder(const std::string& oldfolder, const std::string& newfolder)
{
    return RenameFile(oldfolder, newfolder);
}

void FileSystem::EnumerateFiles(const std::string& startfolder, std::int32_t excludeattr,
                                std::int16_t& numberfiles, std::vector<std::string>& files,
                                const std::string& pattern)
{
    numberfiles = 0;
    files.clear();
    const std::string folder = AddFolderBackslash(startfolder);
    ListFolder(folder, Cut(pattern), [&](const std::string& name, std::int32_t attributes) {
        if ((attributes & AttributeDirectory) == 0 && (attributes & excludeattr) == 0) {
            Append(numberfiles, files, folder + name);
        }
    });
}

void FileSystem::EnumerateFolders(const std::string& startfolder, std::int32_t excludeattr,
                                  std::int16_t& numberfolders, std::vector<std::string>& folders)
{
    numberfolders = 0;
    folders.clear();
    const std::string folder = AddFolderBackslash(startfolder);
    ListFolder(folder, "*", [&](const std::string& name, std::int32_t attributes) {
        if ((attributes & AttributeDirectory) != 0 && (attributes & excludeattr) == 0 &&
            name.front() != '.') {
            Append(numberfolders, folders, folder + name);
        }
    });
}

void FileSystem::EnumerateRecursiveFolders(const std::string& startfolder, std::int32_t excludeattr,
                                           std::int16_t& numberfolders, std::vector<std::string>& folders)
{
    std::int16_t count = 0;
    std::vector<std::string> subfolders;
    EnumerateFolders(startfolder, excludeattr, count, subfolders);
    for (const std::string& subfolder : subfolders) {
        Append(numberfolders, folders, subfolder);
        if (!IsLinkedFolder(subfolder)) {
            EnumerateRecursiveFolders(subfolder, excludeattr, numberfolders, folders);
        }
    }
}

void FileSystem::EnumerateRecursiveFiles(const std::string& startfolder, std::int32_t excludeattr,
                                         std::int16_t& numberfiles, std::vector<std::string>& files,
                                         const std::string& pattern)
{
    std::int16_t count = 0;
    std::vector<std::string> subfolders;
    EnumerateFolders(startfolder, excludeattr, count, subfolders);
    for (const std::string& subfolder : subfolders) {
        if (!IsLinkedFolder(subfolder)) {
            EnumerateRecursiveFiles(subfolder, excludeattr, numberfiles, files, pattern);
        }
    }
    std::vector<std::string> own;
    EnumerateFiles(startfolder, excludeattr, count, own, pattern);
    for (const std::string& file : own) {
        Append(numberfiles, files, file);
    }
}

#ifdef _WIN32

// --- Windows: the shell's path functions and the kernel's file calls, in the ANSI code page ---

namespace {

constexpr DWORD PathBuffer = MAX_PATH;

std::string Convert(const std::string& text, UINT from, UINT to)
{
    if (text.empty()) {
        return {};
    }
    const int wideLength =
        MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wideLength <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
    const int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string result(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(to, 0, wide.data(), wideLength, result.data(), length, nullptr, nullptr);
    return result;
}

std::string ToAnsi(const std::string& utf8)
{
    return Convert(Cut(utf8), CP_UTF8, CP_ACP);
}

std::string FromAnsi(const char* ansi)
{
    return Convert(ansi, CP_ACP, CP_UTF8);
}

// Runs one of the in-place path functions on a MAX_PATH buffer holding `path`. The functions
// refuse (and leave the text alone) when their result would not fit.
template <typename Edit> std::string EditPath(const std::string& path, Edit edit)
{
    const std::string ansi = ToAnsi(path);
    std::vector<char> buffer(std::max<std::size_t>(ansi.size() + 1, PathBuffer), '\0');
    std::copy(ansi.begin(), ansi.end(), buffer.begin());
    edit(buffer.data());
    return FromAnsi(buffer.data());
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (Valid()) {
            CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

HANDLE OpenExisting(const std::string& path, DWORD access, DWORD flags)
{
    return CreateFileA(ToAnsi(path).c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
}

std::string FileTimeText(const std::string& path, DWORD flags, const std::locale& locale)
{
    Handle file(OpenExisting(path, GENERIC_READ, flags));
    if (!file.Valid()) {
        return {};
    }
    // One record for all three times: it ends up holding the last one the system writes.
    FILETIME time{};
    FILETIME local{};
    SYSTEMTIME system{};
    if (!GetFileTime(file.Get(), &time, &time, &time) || !FileTimeToLocalFileTime(&time, &local) ||
        !FileTimeToSystemTime(&local, &system)) {
        return {};
    }
    std::tm tm{};
    tm.tm_year = system.wYear - 1900;
    tm.tm_mon = system.wMonth - 1;
    tm.tm_mday = system.wDay;
    tm.tm_hour = system.wHour;
    tm.tm_min = system.wMinute;
    tm.tm_sec = system.wSecond;
    tm.tm_wday = system.wDayOfWeek;
    return FormatLocalTime(tm, locale);
}

bool SetFileTimeTo(const std::string& path, DWORD flags, const std::tm& datetime)
{
    if (!IsValidDateTime(datetime)) {
        return false;
    }
    Handle file(OpenExisting(path, GENERIC_WRITE, flags));
    if (!file.Valid()) {
        return false;
    }
    SYSTEMTIME system{};
    system.wYear = static_cast<WORD>(datetime.tm_year + 1900);
    system.wMonth = static_cast<WORD>(datetime.tm_mon + 1);
    system.wDay = static_cast<WORD>(datetime.tm_mday);
    system.wHour = static_cast<WORD>(datetime.tm_hour);
    system.wMinute = static_cast<WORD>(datetime.tm_min);
    system.wSecond = static_cast<WORD>(datetime.tm_sec);
    FILETIME local{};
    FILETIME time{};
    if (!SystemTimeToFileTime(&system, &local) || !LocalFileTimeToFileTime(&local, &time)) {
        return false;
    }
    return SetFileTime(file.Get(), &time, &time, &time) != FALSE;
}

void ListFolder(const std::string& folder, const std::string& pattern, const EntryVisitor& visit)
{
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA(ToAnsi(folder + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        visit(FromAnsi(data.cFileName), static_cast<std::int32_t>(data.dwFileAttributes));
    } while (FindNextFileA(find, &data));
    FindClose(find);
}

} // namespace

std::string FileSystem::AddFileExtension(const std::string& file, const std::string& ext)
{
    // The system would add ".exe" for an empty extension; here it adds nothing.
    if (Cut(ext).empty()) {
        return EditPath(file, [](char*) {});
    }
    const std::string ansiExt = ToAnsi(ext);
    return EditPath(file, [&](char* path) { PathAddExtensionA(path, ansiExt.c_str()); });
}

std::string FileSystem::AddFileQuotes(const std::string& file)
{
    return EditPath(file, [](char* path) { PathQuoteSpacesA(path); });
}

std::string FileSystem::AddFolderBackslash(const std::string& folder)
{
    return EditPath(folder, [](char* path) { PathAddBackslashA(path); });
}

std::string FileSystem::ExpandFolder(const std::string& folder)
{
    const std::string ansi = ToAnsi(folder);
    std::vector<char> buffer(PathBuffer, '\0');
    DWORD length = ExpandEnvironmentStringsA(ansi.c_str(), buffer.data(), PathBuffer);
    if (length > PathBuffer) {
        // Longer than a path buffer: expand in full rather than cut.
        buffer.assign(length, '\0');
        length = ExpandEnvironmentStringsA(ansi.c_str(), buffer.data(), length);
    }
    if (length < 2 || length > buffer.size()) {
        return {};
    }
    return FromAnsi(buffer.data());
}

std::string FileSystem::ExtractDrive(const std::string& file)
{
    return EditPath(file, [](char* path) { PathStripToRootA(path); });
}

std::string FileSystem::ExtractFileExtension(const std::string& file)
{
    const std::string ansi = ToAnsi(file);
    return FromAnsi(PathFindExtensionA(ansi.c_str()));
}

std::string FileSystem::ExtractFileTitle(const std::string& file)
{
    return EditPath(file, [](char* path) { PathStripPathA(path); });
}

std::string FileSystem::ExtractFolder(const std::string& folder)
{
    return EditPath(folder, [](char* path) { PathRemoveFileSpecA(path); });
}

std::string FileSystem::RemoveFileExtension(const std::string& file)
{
    return EditPath(file, [](char* path) { PathRemoveExtensionA(path); });
}

std::string FileSystem::RemoveFileQuotes(const std::string& file)
{
    return EditPath(file, [](char* path) { PathUnquoteSpacesA(path); });
}

std::string FileSystem::RemoveFolderBackslash(const std::string& folder)
{
    return EditPath(folder, [](char* path) { PathRemoveBackslashA(path); });
}

bool FileSystem::IsFile(const std::string& file)
{
    const std::string ansi = ToAnsi(file);
    return PathFileExistsA(ansi.c_str()) == TRUE && PathIsDirectoryA(ansi.c_str()) == 0;
}

bool FileSystem::IsFolder(const std::string& folder)
{
    const std::string ansi = ToAnsi(folder);
    return PathFileExistsA(ansi.c_str()) == TRUE &&
           PathIsDirectoryA(ansi.c_str()) == static_cast<BOOL>(FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSystem::IsFileExtension(const std::string& file, const std::string& ext)
{
    const std::string pattern = "*." + ToAnsi(ext);
    return PathMatchSpecA(ToAnsi(file).c_str(), pattern.c_str()) != FALSE;
}

std::string FileSystem::GetCurrentFolder()
{
    std::vector<char> buffer(PathBuffer, '\0');
    const DWORD length = GetCurrentDirectoryA(PathBuffer, buffer.data());
    if (length == 0 || length >= PathBuffer) {
        return {};
    }
    return FromAnsi(buffer.data());
}

std::int32_t FileSystem::GetFileAttributes(const std::string& file)
{
    return static_cast<std::int32_t>(::GetFileAttributesA(ToAnsi(file).c_str()));
}

std::int32_t FileSystem::GetFileSize(const std::string& file)
{
    Handle handle(OpenExisting(file, GENERIC_READ, FILE_ATTRIBUTE_NORMAL));
    if (!handle.Valid()) {
        return -1;
    }
    return static_cast<std::int32_t>(::GetFileSize(handle.Get(), nullptr));
}

std::string FileSystem::GetFileDateTime(const std::string& file, const std::locale& locale)
{
    return FileTimeText(file, FILE_ATTRIBUTE_NORMAL, locale);
}

std::string FileSystem::GetFolderDateTime(const std::string& folder, const std::locale& locale)
{
    return FileTimeText(folder, FILE_FLAG_BACKUP_SEMANTICS, locale);
}

std::string FileSystem::SearchFile(const std::string& startfolder, const std::string& file)
{
    std::vector<char> buffer(PathBuffer, '\0');
    const DWORD length = SearchPathA(ToAnsi(startfolder).c_str(), ToAnsi(file).c_str(), nullptr, PathBuffer,
                                     buffer.data(), nullptr);
    if (length == 0 || length >= PathBuffer) {
        return {};
    }
    return FromAnsi(buffer.data());
}

bool FileSystem::ChangeFolder(const std::string& folder)
{
    return SetCurrentDirectoryA(ToAnsi(folder).c_str()) != FALSE;
}

bool FileSystem::CopyFile(const std::string& sourcefile, const std::string& destinationfile)
{
    return ::CopyFileA(ToAnsi(sourcefile).c_str(), ToAnsi(destinationfile).c_str(), FALSE) != FALSE;
}

bool FileSystem::CreateFolder(const std::string& folder)
{
    return CreateDirectoryA(ToAnsi(folder).c_str(), nullptr) != FALSE;
}

bool FileSystem::RemoveFile(const std::string& file, bool IgnoreReadonly)
{
    const std::string ansi = ToAnsi(file);
    if (IgnoreReadonly) {
        ::SetFileAttributesA(ansi.c_str(), 0);
    }
    return DeleteFileA(ansi.c_str()) != FALSE;
}

bool FileSystem::RemoveFolder(const std::string& folder, bool IgnoreReadonly)
{
    const std::string ansi = ToAnsi(folder);
    if (IgnoreReadonly) {
        ::SetFileAttributesA(ansi.c_str(), 0);
    }
    return RemoveDirectoryA(ansi.c_str()) != FALSE;
}

bool FileSystem::RenameFile(const std::string& oldfile, const std::string& newfile)
{
    return MoveFileA(ToAnsi(oldfile).c_str(), ToAnsi(newfile).c_str()) != FALSE;
}

void FileSystem::SetFileAttributes(const std::string& file, std::int32_t attr)
{
    ::SetFileAttributesA(ToAnsi(file).c_str(), static_cast<DWORD>(attr));
}

bool FileSystem::SetFileDateTime(const std::string& file, const std::tm& datetime)
{
    return SetFileTimeTo(file, FILE_ATTRIBUTE_NORMAL, datetime);
}

bool FileSystem::SetFolderDateTime(const std::string& folder, const std::tm& datetime)
{
    return SetFileTimeTo(folder, FILE_FLAG_BACKUP_SEMANTICS, datetime);
}

#else

// --- Linux: POSIX calls, with the Windows attribute bits derived from the file's mode ---

namespace {

namespace fs = std::filesystem;

// Where the last component of `path` starts.
std::size_t NameStart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

// The position of the extension's dot in `path`, or npos. A name that starts with its only dot
// (".profile"), "." and ".." have none.
std::size_t ExtensionDot(const std::string& path)
{
    const std::size_t start = NameStart(path);
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start || path.compare(start, std::string::npos, "..") == 0) {
        return std::string::npos;
    }
    return dot;
}

bool IsNameCharacter(char c, bool first)
{
    return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (!first && c >= '0' && c <= '9');
}

bool Stat(const std::string& path, struct stat& status)
{
    return ::stat(Cut(path).c_str(), &status) == 0;
}

// The attribute bits of `path`, -1 when it does not exist. A link is described by its target
// (by itself when the target is gone) plus the reparse-point bit.
std::int32_t Attributes(const std::string& path)
{
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return -1;
    }
    std::int32_t attributes = 0;
    if (S_ISLNK(status.st_mode)) {
        attributes |= FileSystem::AttributeReparsePoint;
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0) {
            status = target;
        }
    }
    if (S_ISDIR(status.st_mode)) {
        attributes |= FileSystem::AttributeDirectory;
    }
    if ((status.st_mode & S_IWUSR) == 0) {
        attributes |= FileSystem::AttributeReadOnly;
    }
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') {
        name.pop_back();
    }
    name.erase(0, NameStart(name));
    if (name.size() > 1 && name.front() == '.' && name != "..") {
        attributes |= FileSystem::AttributeHidden;
    }
    return attributes == 0 ? FileSystem::AttributeNormal : attributes;
}

std::string FileTimeText(const std::string& path, bool allowFolder, const std::locale& locale)
{
    struct stat status {};
    if (!Stat(path, status) || (!allowFolder && S_ISDIR(status.st_mode))) {
        return {};
    }
    std::tm local{};
    const std::time_t time = status.st_mtim.tv_sec;
    if (::localtime_r(&time, &local) == nullptr) {
        return {};
    }
    return FormatLocalTime(local, locale);
}

bool SetFileTimeTo(const std::string& path, bool allowFolder, const std::tm& datetime)
{
    struct stat status {};
    if (!IsValidDateTime(datetime) || !Stat(path, status) || (!allowFolder && S_ISDIR(status.st_mode))) {
        return false;
    }
    std::tm local{};
    local.tm_year = datetime.tm_year;
    local.tm_mon = datetime.tm_mon;
    local.tm_mday = datetime.tm_mday;
    local.tm_hour = datetime.tm_hour;
    local.tm_min = datetime.tm_min;
    local.tm_sec = datetime.tm_sec;
    local.tm_isdst = -1; // daylight saving time as it was on that date
    const std::time_t time = std::mktime(&local);
    if (time == static_cast<std::time_t>(-1)) {
        return false;
    }
    // Linux keeps no settable creation time: access and modification time get the value.
    const struct timespec times[2] = {{time, 0}, {time, 0}};
    return ::utimensat(AT_FDCWD, Cut(path).c_str(), times, 0) == 0;
}

// Whether removing `path` meets the read-only bit: a link is removed on its own, whatever its
// target says.
bool IsReadOnly(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && !S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0;
}

// Linux would remove a read-only entry without asking; the attribute protects it as on Windows.
bool RemoveEntry(const std::string& path, bool ignoreReadonly, int (*remove)(const char*))
{
    if (IsReadOnly(path)) {
        if (!ignoreReadonly) {
            return false;
        }
        FileSystem::SetFileAttributes(path, 0);
    }
    return remove(path.c_str()) == 0;
}

void ListFolder(const std::string& folder, const std::string& pattern, const EntryVisitor& visit)
{
    DIR* directory = ::opendir(folder.empty() ? "." : folder.c_str());
    if (directory == nullptr) {
        return;
    }
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name == "." || name == ".." || ::fnmatch(pattern.c_str(), name.c_str(), 0) != 0) {
            continue;
        }
        const std::int32_t attributes = Attributes(folder + name);
        if (attributes != -1) {
            visit(name, attributes);
        }
    }
    ::closedir(directory);
}

} // namespace

std::string FileSystem::AddFileExtension(const std::string& file, const std::string& ext)
{
    const std::string path = Cut(file);
    return ExtensionDot(path) != std::string::npos ? path : path + Cut(ext);
}

std::string FileSystem::AddFileQuotes(const std::string& file)
{
    const std::string path = Cut(file);
    return path.find(' ') == std::string::npos ? path : '"' + path + '"';
}

std::string FileSystem::AddFolderBackslash(const std::string& folder)
{
    // An empty path stays empty: a lone separator would name the root.
    const std::string path = Cut(folder);
    return path.empty() || path.back() == '/' ? path : path + '/';
}

std::string FileSystem::ExpandFolder(const std::string& folder)
{
    const std::string path = Cut(folder);
    std::string result;
    std::size_t pos = 0;
    if (!path.empty() && path.front() == '~' && (path.size() == 1 || path[1] == '/')) {
        if (const char* home = std::getenv("HOME"); home != nullptr) {
            result = home;
            pos = 1;
        }
    }
    while (pos < path.size()) {
        const std::size_t dollar = path.find('$', pos);
        result.append(path, pos, dollar == std::string::npos ? std::string::npos : dollar - pos);
        if (dollar == std::string::npos) {
            break;
        }
        const bool braced = dollar + 1 < path.size() && path[dollar + 1] == '{';
        const std::size_t nameStart = dollar + (braced ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < path.size() && IsNameCharacter(path[nameEnd], nameEnd == nameStart)) {
            ++nameEnd;
        }
        const bool closed = !braced || (nameEnd < path.size() && path[nameEnd] == '}');
        const char* value = nameEnd > nameStart && closed
                                ? std::getenv(path.substr(nameStart, nameEnd - nameStart).c_str())
                                : nullptr;
        if (value != nullptr) {
            result += value;
            pos = braced ? nameEnd + 1 : nameEnd;
        } else {
            // An unknown or malformed reference stays as written.
            result += '$';
            pos = dollar + 1;
        }
    }
    return result;
}

std::string FileSystem::ExtractDrive(const std::string& file)
{
    const std::string path = Cut(file);
    return !path.empty() && path.front() == '/' ? "/" : "";
}

std::string FileSystem::ExtractFileExtension(const std::string& file)
{
    const std::string path = Cut(file);
    const std::size_t dot = ExtensionDot(path);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string FileSystem::ExtractFileTitle(const std::string& file)
{
    // The text behind the last separator that has something other than a separator after it.
    const std::string path = Cut(file);
    std::size_t start = 0;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        if (path[i] == '/' && path[i + 1] != '/') {
            start = i + 1;
        }
    }
    return path.substr(start);
}

std::string FileSystem::ExtractFolder(const std::string& folder)
{
    const std::string path = Cut(folder);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileSystem::RemoveFileExtension(const std::string& file)
{
    const std::string path = Cut(file);
    return path.substr(0, ExtensionDot(path));
}

std::string FileSystem::RemoveFileQuotes(const std::string& file)
{
    std::string path = Cut(file);
    if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
        return path.substr(1, path.size() - 2);
    }
    return path;
}

std::string FileSystem::RemoveFolderBackslash(const std::string& folder)
{
    const std::string path = Cut(folder);
    return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

bool FileSystem::IsFile(const std::string& file)
{
    struct stat status {};
    return Stat(file, status) && !S_ISDIR(status.st_mode);
}

bool FileSystem::IsFolder(const std::string& folder)
{
    struct stat status {};
    return Stat(folder, status) && S_ISDIR(status.st_mode);
}

bool FileSystem::IsFileExtension(const std::string& file, const std::string& ext)
{
    const std::string pattern = "*." + Cut(ext);
    return ::fnmatch(pattern.c_str(), Cut(file).c_str(), FNM_CASEFOLD) == 0;
}

std::string FileSystem::GetCurrentFolder()
{
    std::error_code ec;
    const fs::path current = fs::current_path(ec);
    return ec ? std::string() : current.string();
}

std::int32_t FileSystem::GetFileAttributes(const std::string& file)
{
    return Attributes(Cut(file));
}

std::int32_t FileSystem::GetFileSize(const std::string& file)
{
    const int fd = ::open(Cut(file).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    const bool ok = ::fstat(fd, &status) == 0 && !S_ISDIR(status.st_mode);
    ::close(fd);
    if (!ok) {
        return -1;
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(status.st_size));
}

std::string FileSystem::GetFileDateTime(const std::string& file, const std::locale& locale)
{
    return FileTimeText(file, false, locale);
}

std::string FileSystem::GetFolderDateTime(const std::string& folder, const std::locale& locale)
{
    return FileTimeText(folder, true, locale);
}

std::string FileSystem::SearchFile(const std::string& startfolder, const std::string& file)
{
    const std::string name = Cut(file);
    if (name.empty()) {
        return {};
    }
    const std::string start = Cut(startfolder);
    const fs::path candidate = start.empty() ? fs::path(name) : fs::path(start) / name;
    struct stat status {};
    if (!Stat(candidate.string(), status)) {
        return {};
    }
    std::error_code ec;
    const fs::path full = fs::absolute(candidate, ec);
    return ec ? std::string() : full.lexically_normal().string();
}

bool FileSystem::ChangeFolder(const std::string& folder)
{
    return ::chdir(Cut(folder).c_str()) == 0;
}

bool FileSystem::CopyFile(const std::string& sourcefile, const std::string& destinationfile)
{
    const fs::path source = Cut(sourcefile);
    const fs::path destination = Cut(destinationfile);
    std::error_code ec;
    if (!fs::copy_file(source, destination, fs::copy_options::overwrite_existing, ec)) {
        return false;
    }
    // As on Windows, the copy keeps the source's last-write time.
    const auto time = fs::last_write_time(source, ec);
    if (!ec) {
        fs::last_write_time(destination, time, ec);
    }
    return true;
}

bool FileSystem::CreateFolder(const std::string& folder)
{
    return ::mkdir(Cut(folder).c_str(), 0777) == 0;
}

bool FileSystem::RemoveFile(const std::string& file, bool IgnoreReadonly)
{
    return RemoveEntry(Cut(file), IgnoreReadonly, ::unlink);
}

bool FileSystem::RemoveFolder(const std::string& folder, bool IgnoreReadonly)
{
    return RemoveEntry(Cut(folder), IgnoreReadonly, ::rmdir);
}

bool FileSystem::RenameFile(const std::string& oldfile, const std::string& newfile)
{
    const std::string from = Cut(oldfile);
    const std::string to = Cut(newfile);
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        // A file system that cannot refuse atomically: look first.
        struct stat status {};
        if (::lstat(to.c_str(), &status) == 0) {
            return false;
        }
        if (::rename(from.c_str(), to.c_str()) == 0) {
            return true;
        }
    }
    if (errno != EXDEV || IsFolder(from)) {
        return false;
    }
    // A file moves to another file system as a copy and a removal.
    struct stat status {};
    if (::lstat(to.c_str(), &status) == 0 || !CopyFile(from, to)) {
        return false;
    }
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

void FileSystem::SetFileAttributes(const std::string& file, std::int32_t attr)
{
    struct stat status {};
    if (attr == -1 || !Stat(file, status)) {
        return;
    }
    const mode_t old = status.st_mode & 07777;
    mode_t mode = old;
    if ((attr & AttributeReadOnly) != 0) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else {
        mode |= S_IWUSR;
    }
    if (mode != old) {
        ::chmod(Cut(file).c_str(), mode);
    }
}

bool FileSystem::SetFileDateTime(const std::string& file, const std::tm& datetime)
{
    return SetFileTimeTo(file, false, datetime);
}

bool FileSystem::SetFolderDateTime(const std::string& folder, const std::tm& datetime)
{
    return SetFileTimeTo(folder, true, datetime);
}

#endif

} // namespace tolvane
