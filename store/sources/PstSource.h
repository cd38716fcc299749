#pragma once
// A folder of an Outlook .pst or .ost file (store/PstReader.h reads the format). Its mailbox
// path is the file's path followed by the folder's path inside the file, as "kestrel-cli
// discover" prints it: "mail/archive.pst/Top of Personal Folders/Inbox" (a "/" or "%" in a
// folder's name written as %2F or %25, and the second of sibling folders of one name as
// "Inbox%#2"). The file is opened for reading only; each message is
// written out as a MIME message, and items that are not mail are left out and counted.
#include <string>

#include "store/MailSource.h"
#include "store/PstReader.h"

class PstFolderSource : public IMailSource {
public:
    // Not Ok when the file is not a readable .pst/.ost file (the reader's Status), names no
    // folder (NotRecognised) or has no such folder (CPstFolder::Select's Status).
    platform::Status Open(const std::string& file, const std::string& folder);
    int Count() const override { return m_folder.Count(); }
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int) const override { return {}; }
    MailTextWrite WriteText(int index, int fd) override;
    std::string Describe(int index) const override;
    std::string Remark() const override;
    // The message's identifier in the file with when it last changed and its size
    // (CPstFolder::MessageStamp); the stamp is the store's identity, so that another file put in
    // this one's place, whose identifiers name other messages, is read whole.
    std::string MessageKey(int index) override { return m_folder.MessageStamp(index); }
    bool CheckStamp(const std::string& remembered, std::string& current) override;

private:
    std::shared_ptr<const CPstFile> m_file; // shared with the other folders of the file read
    CPstFolder m_folder;                    // goes before the file
    std::string m_path;
};

// A file named *.pst or *.ost; its mailboxes are its folders.
extern const MailSourceKind kPstFileKind;
