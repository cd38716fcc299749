#pragma once
// A mailbox as the runs walk it: how many messages, one message's header fields, one message's
// text written to a file. A folder of .eml files, a .dbx file, an mbox file and a maildir are the
// kinds there are; a new kind of mailbox is one more reader and one more source beside these, not
// a new run.
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oe/DbxReader.h"
#include "platform/FileHandle.h"
#include "store/MboxReader.h"

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
    Cut,         // all the mailbox holds of it, but the mailbox ends inside the message
    Unreadable,  // the mailbox's copy is damaged; what was written is incomplete
    WriteFailed, // the file could not take it
};

// What a .dbx file's text chain gave, said as any mailbox says it.
MailTextWrite ToMailTextWrite(DbxTextWrite written);

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
    // For a mailbox that keeps the header fields only in the text: the header lines of the
    // message (up to limit bytes). False for the other kinds.
    virtual bool ReadHeaderBlock(int, std::size_t, std::string&) { return false; }
    // The message as the user can find it again, for messages about it.
    virtual std::string Describe(int index) const { return MessagePath(index); }
};

// Mailboxes that keep one message per file, used in place. Only plain files (or links to them)
// count: a pipe or a device would never end the read. The header is not read here; the
// extractor component reads it with the rest of the message.
class MessageFilesSource : public IMailSource {
public:
    int Count() const override { return static_cast<int>(m_paths.size()); }
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int index) const override;
    MailTextWrite WriteText(int index, int fd) override;

protected:
    // The plain files of folder whose names match pattern, added to the list.
    void AddFiles(const std::string& folder, const char* pattern);
    // The list in ascending byte order of the paths.
    void Sort();

    std::vector<std::string> m_paths;
};

// The .eml files of a folder, in ascending byte order of their paths.
class EmlFolderSource : public MessageFilesSource {
public:
    explicit EmlFolderSource(const std::string& folder);
};

// A maildir: the message files of its cur/ and new/ folders (tmp/ holds deliveries not yet
// done), in ascending byte order of their names, which begin with the delivery time. Names
// beginning with "." are not messages.
class MaildirSource : public MessageFilesSource {
public:
    explicit MaildirSource(const std::string& folder);
};

// A maildir: cur/ with new/ or tmp/ beside it, or cur/ alone holding a message whose name
// carries maildir flags (":2,"), as a copy that dropped empty folders leaves it.
bool IsMaildir(const std::string& folder);

// The messages of an mbox file (store/MboxReader.h gives the format's rules); texts are
// streamed, never held whole. The header fields are in the text: ReadHeader leaves them empty and
// ReadHeaderBlock gives the lines. A message the file ends inside is written as far as it goes
// and said to be unreadable, so a run both extracts what there is and reports it.
class MboxFileSource : public IMailSource {
public:
    // False (and no messages) when the file cannot be read; why says why.
    bool Open(const std::string& path, std::string* why = nullptr);
    int Count() const override { return m_reader.Count(); }
    bool ReadHeader(int index, MailHeader& header) override;
    std::string MessagePath(int) const override { return {}; }
    MailTextWrite WriteText(int index, int fd) override;
    bool ReadHeaderBlock(int index, std::size_t limit, std::string& block) override;
    std::string Describe(int index) const override;

private:
    CMboxReader m_reader;
    std::string m_path;
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
    std::string Describe(int index) const override;

private:
    const CDbxMessage* Message(int index);

    CDbxStoreFile m_store;
    std::string m_path;
    // The last message read, so its header and its text cost one item read.
    int m_index = -1;
    std::unique_ptr<CDbxItem> m_item;
};

// A message as a file the extractor component can read: the message's own file, or a copy of
// its text in a temporary file ("TAK" and six characters) that goes when this does (or at
// Close). When the mailbox's copy is damaged (Unreadable) or the mailbox ends inside the
// message (Cut), Path still names the copy of what could be read. One CMessageFile serves the messages of a run one after another: the copy is
// rewritten in place, not made anew for each message, since a file made and removed per
// message costs the file system far more than the rewrite (and slows the making of every file
// after it).
class CMessageFile {
public:
    enum Result { Ready, Cut, Unreadable, NoTempFile, WriteFailed };
    CMessageFile() = default;
    ~CMessageFile();
    CMessageFile(const CMessageFile&) = delete;
    CMessageFile& operator=(const CMessageFile&) = delete;
    Result Open(IMailSource& source, int index, const std::string& scratchFolder);
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

// The mailbox a discovered folder stands for, by the record's kind: its .dbx or mbox message
// file, its maildir, or its .eml files. Null when the message file does not open, and for a
// folder that only holds other folders.
std::unique_ptr<IMailSource> OpenFolderSource(const FolderRecord& folder);

// The mailbox at a path, told by what is there: a maildir, a folder of .eml files, a .dbx file,
// or an mbox file (its first line a "From " line). Null for anything else, and when the file
// does not open; why then says why.
std::unique_ptr<IMailSource> OpenMailboxPath(const std::string& path, std::string* why = nullptr);

// A stored FILETIME (100 ns units since 1601) as calendar seconds, rounded down.
std::time_t FileTimeToTime(std::uint64_t fileTime);
