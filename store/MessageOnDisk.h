#pragma once
// The file the extractor component reads for one message of a mailbox.
#include <optional>
#include <string>

#include "platform/FileHandle.h"
#include "store/MailSource.h"

// A message as a file the extractor component can read: the message's own file, or a copy of
// its text in a temporary file ("TAK" and six characters) that goes when this does (or at
// Close). Open answers what writing the text gave, as the mailbox said it: Written (also for a
// message that is its own file), Cut when the mailbox ends inside the message, Unreadable when
// the mailbox's copy is damaged (in both, Path still names the copy of what could be read), and
// WriteFailed when no copy could be made or written. One CMessageOnDisk serves the
// messages of a run one after another: the copy is rewritten in place, not made anew for each
// message, since a file made and removed per message costs the file system far more than the
// rewrite (and slows the making of every file after it).
// The name of a message copy in the scratch folder: this prefix and six characters.
inline constexpr char kScratchCopyPrefix[] = "TAK";

class CMessageOnDisk {
public:
    CMessageOnDisk() = default;
    ~CMessageOnDisk();
    CMessageOnDisk(const CMessageOnDisk&) = delete;
    CMessageOnDisk& operator=(const CMessageOnDisk&) = delete;
    MailTextWrite Open(IMailSource& source, int index, const std::string& scratchFolder);
    const std::string& Path() const { return m_path; }
    // Removes the copy now.
    void Close();

private:
    // The copy emptied for the next text, when there is one in this folder that is still ours.
    bool Rewind(const std::string& scratchFolder);
    bool CopyIsOurs() const;

    std::optional<platform::TempFile> m_copy;
    std::string m_copyFolder;
    std::string m_path;
};
