#pragma once
// An Outlook personal folders file (.pst) or offline folders file (.ost), read through libpff and
// never written. The file's folders are listed as the file nests them (search folders and empty
// folders outside the mail tree left out); a folder's mail is read in the order the folder holds
// it, and each message is written out as a MIME message, so that everything that reads .eml
// files reads it: the message's own transport headers where it kept them, else headers made from
// its properties, its bodies, and every attachment (an attached message as message/rfc822).
// Attachments are streamed, never held whole in memory. Contacts, appointments, tasks and
// distribution lists are not mail: they are counted, not listed.
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MailTextWrite.h"
#include "platform/Status.h"

struct PstFolder {
    // The folder's names from the top folder shown down to it, each escaped by
    // EscapePstFolderName and joined with "/": what SelectFolder takes. Folders of one parent
    // that share a name are told apart by their place among those of that name, in the file's
    // order: the first keeps the plain name, the next are "Name%#2", "Name%#3"... (PstPathName).
    std::string Path;
    std::string Name; // as the file names it, in UTF-8
    int Depth = 0;    // 0 for a top folder
    bool Unreadable = false; // its folders cannot be listed
    std::uint32_t Id = 0; // the folder's node in the file
    int Parent = -1;      // the index of its parent in Folders(), -1 for a top folder
};

struct PstHeader {
    std::string Subject;
    std::string Sender;     // the address
    std::string SenderName; // the name shown for the sender
    std::optional<std::time_t> Time; // delivered, else submitted
};

class CPstFile;

// The mail of one folder of an open file. Several may read one file at once; each must go
// before the file closes.
class CPstFolder {
public:
    CPstFolder() = default;
    ~CPstFolder() { Clear(); }
    CPstFolder(const CPstFolder&) = delete;
    CPstFolder& operator=(const CPstFolder&) = delete;

    // Reads the folder of the file at path (PstFolder::Path) for the calls below. Missing when
    // the file has no such folder, Damaged when it cannot be read, Unreadable when the file is
    // not open; the reason says which folder.
    platform::Status Select(const CPstFile& file, const std::string& path);
    void Clear();
    // The folder's mail, numbered 0 to Count() - 1 in the folder's order.
    int Count() const { return static_cast<int>(m_mail.size()); }
    // Items left out as not mail, and those that could not be read.
    int Skipped() const { return m_skipped; }
    int UnreadableItems() const { return m_unreadableItems; }
    bool ReadHeader(int index, PstHeader& header);
    // The message as MIME to fd; Unreadable when the item or a part of it cannot be read (what
    // could be is written). Never Cut.
    MailTextWrite WriteMessage(int index, int fd);
    // What tells a message of the folder from the others and from itself once changed, without
    // reading its text: its identifier in the file (kept while the message is, moves and
    // compaction included, and never shared by two items at once), then when it was last changed
    // and its size, as the file records them ("2097188:01d7a3c4e5f60000:5322"). Empty when the
    // item cannot be read or records no time of change: such a message cannot be told again.
    std::string MessageStamp(int index);

private:
    // The message at index, kept open until another one is asked for, so that its header and
    // its text are read from one reading of its properties. Null when it cannot be read.
    void* OpenMail(int index);
    void CloseMail();
    // What MessageStamp is made of, kept from a message's reading in a few bytes.
    struct StampFacts {
        enum { Unread, None, Read } State = Unread; // None: the message records no change time
        bool HasSize = false;
        std::uint32_t Id = 0;
        std::uint32_t Size = 0;
        std::uint64_t Changed = 0;
    };
    static StampFacts ReadStampFacts(void* message);

    const CPstFile* m_file = nullptr;
    std::vector<int> m_mail; // the folder's items that are mail
    std::vector<StampFacts> m_stamps; // of each message, once it was read
    int m_skipped = 0;
    int m_unreadableItems = 0;
    void* m_selected = nullptr; // libpff_item_t of the folder
    void* m_message = nullptr;  // libpff_item_t of the message OpenMail last gave
    int m_messageIndex = -1;
};

class CPstFile {
public:
    CPstFile();
    ~CPstFile();
    CPstFile(const CPstFile&) = delete;
    CPstFile& operator=(const CPstFile&) = delete;

    // Opens the file for reading only. Not Ok, with the reason, for anything that is not a
    // plain, readable .pst or .ost file: Missing, Refused (not a plain file), NotRecognised,
    // Damaged, or Unreadable (out of memory).
    platform::Status Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file != nullptr; }

    // The file at path, opened once for all the folders read one after another in a process
    // (the wizard's, a search's): opening it reads the whole tree of folders. The last file
    // opened this way stays open for the next call, and is opened again when it has changed
    // on disk. Open's Status when it cannot be opened.
    static platform::Result<std::shared_ptr<const CPstFile>> OpenShared(const std::string& path);

    // Every folder shown, parents before their children, siblings in the file's order.
    const std::vector<PstFolder>& Folders() const { return m_folders; }

    // One folder of the file at a time, read as CPstFolder reads it.
    platform::Status SelectFolder(const std::string& path) { return m_selected.Select(*this, path); }
    int Count() const { return m_selected.Count(); }
    int Skipped() const { return m_selected.Skipped(); }
    int UnreadableItems() const { return m_selected.UnreadableItems(); }
    bool ReadHeader(int index, PstHeader& header) { return m_selected.ReadHeader(index, header); }
    MailTextWrite WriteMessage(int index, int fd) { return m_selected.WriteMessage(index, fd); }
    std::string MessageStamp(int index) { return m_selected.MessageStamp(index); }
    // The store's own identity, which a file keeps for its life (its record key, in hex); empty
    // when the file does not say.
    std::string StoreIdentity() const;

    // The code page names in an 8-bit (ANSI) file are read in.
    unsigned CodePage() const { return m_codePage; }

private:
    friend class CPstFolder;
    void ListFolders();
    // Adds the folder (a libpff item) and those below it; false when nothing was added.
    bool AddFolders(void* folder, int parent, int depth, bool inMailTree);

    void* m_file = nullptr; // libpff_file_t
    std::vector<PstFolder> m_folders;
    std::uint32_t m_mailTreeId = 0;
    unsigned m_codePage = 1252;
    CPstFolder m_selected;
};

// "/" and "%" in a folder's name, escaped as %2F and %25, so a path of names splits at "/".
std::string EscapePstFolderName(const std::string& name);
std::string UnescapePstFolderName(const std::string& name);
// A folder's part of a path: its escaped name, and for the n-th folder (n > 1) of that name
// under one parent "%#n" after it. A name's own "%" is always escaped, so the mark is never
// part of a name.
std::string PstPathName(const std::string& name, int nth);

// True for a .pst or .ost file name (the case of the extension does not matter).
bool HasPstExtension(const std::string& path);

