#pragma once
// Files and folders as the program sees them: existence, listing with the shell's patterns,
// folder creation, deletion and file times.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "platform/PathHelpers.h" // JoinPath, FolderOf

namespace platform {

struct DirEntry {
    std::string name;
    bool isDirectory = false;
    bool isRegular = false; // a plain file, or a link to one
    std::uint64_t size = 0;
    std::time_t lastWrite = 0;
};

// True when the file system reports attributes for the path (file or folder).
bool FileExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// Wildcard match as the original file system does it: "*" and "?", without regard to case;
// "*.*" matches every name, with or without a dot.
bool MatchPattern(const std::string& name, const std::string& pattern);

// The entries of a folder that match the pattern, without "." and "..", in the order the
// program treats as the file system's: by name without regard to case (then byte order, so the
// order is total). An unreadable or missing folder lists nothing.
std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& pattern = "*");

// Identity of a folder on disk, so a walk can refuse to enter it twice (symlink loops).
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileId&) const = default;
};
bool GetFileId(const std::string& path, FileId& id);

bool CreateFolder(const std::string& path);
bool DeleteFile(const std::string& path);
// Deletes the plain files of a folder whose names match the pattern; returns how many went.
int DeleteMatchingFiles(const std::string& folder, const std::string& pattern);
// Sets the last-access and last-write times (a creation time cannot be set here).
bool SetFileTimes(const std::string& path, std::time_t lastAccess, std::time_t lastWrite);
std::uint64_t FileSize(const std::string& path);

// ---- Reading and replacing files that someone else may have tampered with ----

// Opens a file for reading without ever waiting: a fifo, a device, a socket or a folder is
// refused before it is opened for reading, and so is a file larger than maxSize. -1 when the
// file is refused or cannot be opened; why then holds the reason as a sentence fragment ("is a
// fifo, not a file"), empty when there is no such file.
int OpenFileForReading(const std::string& path, std::uint64_t maxSize, std::string* why = nullptr);
// The same for a name inside an open folder; with followLinks false a link there is refused.
int OpenFileForReadingAt(int dirFd, const std::string& name, bool followLinks,
                         std::uint64_t maxSize, std::string* why = nullptr);
// What is left of an open file, refused (data empty) once it holds more than maxSize bytes.
bool ReadOpenFile(int fd, std::uint64_t maxSize, std::string& data, std::string* why = nullptr);
// The whole file under the rules of OpenFileForReading.
bool ReadSmallFile(const std::string& path, std::uint64_t maxSize, std::string& data,
                   std::string* why = nullptr);

// Replaces the file with data all at once: the data goes to a new file beside it that is then
// renamed over it, so a crash or a full disk leaves either the old or the new file, never a mix
// and never a scratch file. A path that is a link has its target replaced, and an existing file
// keeps its permissions; something there that is not a plain file (a fifo, a device, a folder)
// is left alone and the call fails. With durable the data reaches the disk before the rename.
bool ReplaceFile(const std::string& path, const std::string& data, bool durable = true);
// The same for a name inside an open folder, for places where someone else may have put a
// link: the name itself is replaced, never followed. A new file gets mode (less the umask).
bool ReplaceFileAt(int dirFd, const std::string& name, const std::string& data, bool durable,
                   unsigned mode = 0666);

} // namespace platform
