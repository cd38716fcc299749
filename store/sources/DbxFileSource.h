#pragma once
// An Outlook Express message file (.dbx): the header fields come from its index, the texts are
// streamed from its block chains, never held whole.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "oe/DbxReader.h"
#include "store/MailSource.h"

class DbxFileSource : public IMailSource {
public:
    // False (and no messages) when the file is missing or not a readable .dbx file; why says
    // which, with what the reader found.
    bool Open(const std::string& path, std::string* why = nullptr);
    void Close();
    int Count() const override { return m_store.GetItemCount(); }
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int) const override { return {}; }
    MailTextWrite WriteText(int index, int fd) override;
    std::string Describe(int index) const override;
    // The message's place in the index and its text's place in the file; the stamp is the
    // file's size and time of last change, so a file that changed at all is read again whole.
    std::string MessageKey(int index) override;
    bool CheckStamp(const std::string& remembered, std::string& current) override;

private:
    const CDbxMessage* Message(int index);

    CDbxStoreFile m_store;
    std::string m_path;
    // The last message read, so its header and its text cost one item read.
    int m_index = -1;
    std::unique_ptr<CDbxItem> m_item;
};

// What a .dbx file's text chain gave, said as any mailbox says it.
MailTextWrite ToMailTextWrite(DbxTextWrite written);

// A stored FILETIME (100 ns units since 1601) as calendar seconds, rounded down.
std::time_t FileTimeToTime(std::uint64_t fileTime);

// A file that begins with the .dbx signature.
extern const MailSourceKind kDbxFileKind;
