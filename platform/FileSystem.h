#pragma once
// Files and folders as the program sees them: existence, listing with the shell's patterns,
// folder creation, deletion and file times.
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace platform {

struct DirEntry {
    std::string name;
    bool isDirectory = false;
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

// Joins a folder and a name with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder part of a path, ending with "/".
std::string FolderOf(const std::string& path);

} // namespace platform
