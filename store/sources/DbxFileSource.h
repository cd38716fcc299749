#pragma once
// An Outlook Express message file (.dbx): the header fields come from its index, the texts are
// streamed from its block chains, never held whole.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "oe/DbxReader.h"
#include "oe/DbxScan.h"
#include "store/MailSource.h"

class DbxFileSource : public IMailSource {
public:
    // Not Ok (and no messages) when the file is missing or not a readable .dbx file: the
    // reader's Status, its reason saying which with what the reader found.
    platform::Status Open(const std::string& path);
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

// The messages of a .dbx message file its index no longer reaches, found by a scan of the whole
// file (oe/DbxScan.h); a message's place is the first block of its text chain.
class DbxLostMessages : public ILostMessages {
public:
    // Not Ok when the file cannot be opened or is not a .dbx message file; the reason says which.
    platform::Status Open(const std::string& path) { return m_scan.Open(path); }
    bool Find(const std::function<bool(std::uint64_t, std::uint64_t)>& keepGoing) override {
        return m_scan.Scan(keepGoing);
    }
    int Count() const override { return static_cast<int>(m_scan.StartCount()); }
    std::uint64_t Next(std::uint64_t after) const override;
    std::string Subject(std::uint64_t place) override;
    MailTextWrite WriteText(std::uint64_t place, int fd) override;

private:
    CDbxMessageScan m_scan;
};

// A stored FILETIME (100 ns units since 1601) as calendar seconds, rounded down.
std::time_t FileTimeToTime(std::uint64_t fileTime);

// A file that begins with the .dbx signature.
extern const MailSourceKind kDbxFileKind;
