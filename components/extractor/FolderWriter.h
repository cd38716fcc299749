#pragma once
// Writing attachments into the destination folder: new names only (a clash gets the next
// " (n)" number), nothing outside the folder and nothing through a link, and an attachment
// equal to a file already there under its name is not kept twice.
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/FileHandle.h"

namespace extractor {

// A regular file's bytes, read without following a link: size and a hash to compare by.
struct FileDigest {
    bool ok = false;
    off_t size = 0;
    std::uint64_t hash = 0;
};

// Creates files inside one folder, never outside it and never over an existing entry. One
// writer serves one message: an attachment whose bytes equal a file that was in the folder
// before (under its name or one of its numbered names) is not kept twice, and each name
// appears once in the message's list.
class FolderWriter {
public:
    FolderWriter(int dirFd, std::string folderKey) : m_dir(dirFd), m_key(std::move(folderKey)) {}

    // Writes a file for the wanted name through write(fd) (which takes fd over) and gives the
    // name to report: a new file, or an equal one that was there before. False when nothing
    // could be written; errno and `failure` ("create" or "write") say why, `chosen` names the
    // file that was tried.
    bool Save(const std::string& wanted, const std::function<bool(int)>& write,
              std::string& chosen, const char*& failure);

private:
    // A file being written, not yet under its name: unnamed, or under a hidden name of its own
    // (platform/PartialFiles.h). A process killed while it is written leaves no file under a
    // name of the mail's.
    struct PendingFile {
        platform::UniqueFd fd;
        std::string name; // empty while unnamed
    };
    bool OpenPending(PendingFile& pending);
    void DiscardPending(PendingFile& pending);
    int LinkPending(PendingFile& pending, const std::string& name);
    // Gives the written file the wanted name, or the next free numbered variant; false (errno
    // set) when none can be given.
    bool Place(PendingFile& pending, const std::string& wanted, std::string& chosen);
    void Remove(const std::string& name);
    // A regular file of the folder, named `wanted` or a numbered variant of it and not used by
    // this message, with the same bytes as the new file `made`.
    std::optional<std::string> FindEqualFile(const std::string& wanted, const std::string& made);
    // The folder's entries named `wanted` or numbered from it, read directly (a folder too
    // large for the index). Entries made by this message are in m_used and never match.
    std::vector<std::string> NamesLike(const std::string& wanted);

    int m_dir;
    std::string m_key;
    std::unordered_set<std::string> m_used; // names this message wrote or reported
    unsigned m_lastNumber = 0;              // the clash number of the last file created
    std::unordered_map<std::string, std::vector<std::string>> m_namesLike; // once per name
    std::unordered_map<std::string, FileDigest> m_digests;
};

} // namespace extractor
