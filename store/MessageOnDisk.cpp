#include "store/MessageOnDisk.h"

#include <sys/stat.h>
#include <unistd.h>

MailTextWrite CMessageOnDisk::Open(IMailSource& source, int index,
                                   const std::string& scratchFolder) {
    m_path = source.MessagePath(index);
    if (!m_path.empty()) return MailTextWrite::Written;
    if (!Rewind(scratchFolder)) {
        Close();
        m_copy.emplace();
        if (!m_copy->Create(scratchFolder, kScratchCopyPrefix)) {
            m_copy.reset();
            return MailTextWrite::WriteFailed;
        }
        m_copyFolder = scratchFolder;
    }
    // The text is streamed into the copy, so no message has to fit in memory. It is written
    // over the last one and the rest cut off after: emptying the file first would make the file
    // system write the old text out to disk.
    const MailTextWrite written = source.WriteText(index, m_copy->Fd());
    const off_t end = ::lseek(m_copy->Fd(), 0, SEEK_CUR);
    if (written == MailTextWrite::WriteFailed || end < 0 || ::ftruncate(m_copy->Fd(), end) != 0)
        return MailTextWrite::WriteFailed;
    // A damaged message: what could be read is still there for a caller that wants it.
    m_path = m_copy->Path();
    return written;
}

// Someone may have removed or replaced the copy since it was made: only the file still open
// here is rewritten, and a file put in its place is never removed.
bool CMessageOnDisk::CopyIsOurs() const {
    struct stat open {}, named {};
    return m_copy && ::fstat(m_copy->Fd(), &open) == 0 &&
           ::lstat(m_copy->Path().c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}

bool CMessageOnDisk::Rewind(const std::string& scratchFolder) {
    return m_copyFolder == scratchFolder && CopyIsOurs() &&
           ::lseek(m_copy->Fd(), 0, SEEK_SET) == 0;
}

void CMessageOnDisk::Close() {
    if (m_copy && !CopyIsOurs()) m_copy->Keep();
    m_copy.reset();
    m_copyFolder.clear();
}

CMessageOnDisk::~CMessageOnDisk() {
    Close();
}
