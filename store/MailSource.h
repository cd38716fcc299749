#pragma once
// A mailbox as the runs walk it: how many messages, one message's header fields, one message's
// text written to a file. A folder of .eml files and a .dbx file are the kinds there are; a new
// kind of mailbox is one more reader and one more source beside these, not a new run.
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oe/DbxReader.h"
#include "platform/FileHandle.h"

struct FolderRecord;

// What a mailbox keeps about a message outside its text; fields it does not keep stay empty.
struct MailHeader {
    std::string Subject;
    std::string Sender;     // the address
    std::string SenderName; // the name shown for the sender
    std::optional<std::time_t> Time;
    // False when the mailbox lists the message without any text.
    bool HasText = true;
};

enum class MailTextWrite {
    Written,     // the whole text (nothing, for a message without one)
    Unreadable,  // the mailbox's copy is damaged; what was written is incomplete
    WriteFailed, // the file could not take it
};

class IMailSource {
public:
    virtual ~IMailSource() = default;
    // Messages are numbered 0 to Count() - 1; the runs go from the last down.
    virtual int Count() const = 0;
    // False when the message's entry cannot be read.
    virtual bool ReadHeader(int index, MailHeader& header) = 0;
    // The message's own file when it is one, else empty (its text then has to be written out).
    virtual std::string MessagePath(int index) const = 0;
    virtual MailTextWrite WriteText(int index, int fd) = 0;
};

// The .eml files of a folder, in ascending byte order of their paths. Only plain files (or links
// to them) count: a pipe or a device would never end the read. The header is not read here; the
// extractor component reads it with the rest of the message.
class EmlFolderSource : public IMailSource {
public:
    explicit EmlFolderSource(const std::string& folder);
    int Count() const override { return static_cast<int>(m_paths.size()); }
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int index) const override;
    MailTextWrite WriteText(int index, int fd) override;

private:
    std::vector<std::string> m_paths;
};

// The messages of a .dbx message file; texts are streamed, never held whole in memory.
class DbxFileSource : public IMailSource {
public:
    // False (and no messages) when the file is missing or not a readable .dbx file.
    bool Open(const std::string& path);
    void Close();
    int Count() const override { return m_store.GetItemCount(); }
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int) const override { return {}; }
    MailTextWrite WriteText(int index, int fd) override;

private:
    const CDbxMessage* Message(int index);

    CDbxStoreFile m_store;
    // The last message read, so its header and its text cost one item read.
    int m_index = -1;
    std::unique_ptr<CDbxItem> m_item;
};

// A message as a file the extractor component can read: the message's own file, or a copy of
// its text in a temporary file ("TAK" and six characters) that goes when this does.
class CMessageFile {
public:
    enum Result { Ready, Unreadable, NoTempFile, WriteFailed };
    Result Open(IMailSource& source, int index, const std::string& scratchFolder);
    const std::string& Path() const { return m_path; }

private:
    platform::TempFile m_copy;
    std::string m_path;
};

// The mailbox a discovered folder stands for: its message file when the store keeps one,
// otherwise the folder's .eml files. Null when the message file does not open.
std::unique_ptr<IMailSource> OpenFolderSource(const FolderRecord& folder);

// A stored FILETIME (100 ns units since 1601) as calendar seconds, rounded down.
std::time_t FileTimeToTime(std::uint64_t fileTime);
