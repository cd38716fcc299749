#pragma once
// A mailbox as the runs walk it, whatever kind it is: how many messages, one message's header
// fields, one message's text written to a file. Each kind of mailbox is one source in
// store/sources/ (a folder of .eml files, a maildir, an mbox file, a .dbx file), described by a
// MailSourceKind and named once in the list of store/MailSourceList.cpp; the runs, the search,
// save-eml and the wizard only ever see an IMailSource.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/MailTextWrite.h"
#include "platform/Status.h"
#include "store/FolderRecord.h"
#include "store/MailHeader.h"

class IMailSource {
public:
    virtual ~IMailSource() = default;
    // Messages are numbered 0 to Count() - 1; the runs go from the last down.
    virtual int Count() const = 0;
    // The message's subject, sender and date, from wherever the kind keeps them (its index, or
    // the message's own header lines), and whether it has a text. False when the message's
    // entry cannot be read.
    virtual bool ReadHeader(int index, MailHeader& header) = 0;
    // The message's own file when it is one, else empty (its text then has to be written out).
    virtual std::string MessagePath(int index) const = 0;
    // The message's whole text to fd, streamed: no message has to fit in memory.
    virtual MailTextWrite WriteText(int index, int fd) = 0;
    // The message as the user can find it again, for messages about it.
    virtual std::string Describe(int index) const = 0;
    // What the user should hear about the mailbox beyond its messages (items it holds that are
    // not mail and were left out, say); empty when there is nothing to say.
    virtual std::string Remark() const { return {}; }

    // A text that stays the same while the message does and changes when it changes, told
    // without reading the message: a run asked for new mail only passes over a message whose key
    // an earlier run into the same destination remembered. Empty when the kind cannot tell; such
    // a message is always taken.
    virtual std::string MessageKey(int) { return {}; }
    // Whether keys remembered together with `remembered` still name the messages they named (a
    // mailbox rewritten under them gives the same keys to other messages); `current` gets what to
    // remember with this run's keys. Kinds whose keys stand on their own hold nothing here.
    virtual bool CheckStamp(const std::string& remembered, std::string& current) {
        (void)remembered;
        current.clear();
        return true;
    }
};

// The messages of a mailbox that its damaged index no longer reaches, found by reading the whole
// file: the kinds whose files keep an index that can lose messages give them (OpenLost). Nothing
// found is held in memory; a message is known by its place in the file.
class ILostMessages {
public:
    virtual ~ILostMessages() = default;
    // Reads the file for them. keepGoing(done, total) is asked now and then, done growing to
    // total; the search stops, answering false, when it answers false.
    virtual bool
    Find(const std::function<bool(std::uint64_t done, std::uint64_t total)>& keepGoing) = 0;
    // How many were found.
    virtual int Count() const = 0;
    // The place of the first one found after the place after (0: the first of all), in file
    // order; 0 when there is none.
    virtual std::uint64_t Next(std::uint64_t after) const = 0;
    // Its "Subject" header, as UTF-8; empty when it has none.
    virtual std::string Subject(std::uint64_t place) = 0;
    // Its text to fd, once.
    virtual MailTextWrite WriteText(std::uint64_t place, int fd) = 0;
};

// What recognition knows of a path before any kind looks at it. The first bytes of a file are
// read once, for the kinds told by a signature.
struct MailboxProbe {
    std::string Path;
    bool IsFolder = false;
    std::uint64_t Size = 0; // of a file
    std::string Head;       // a file's first bytes (up to kHeadSize)
    // For a path that goes on past a plain file ("mail/archive.pst/Inbox"): what follows the
    // file, whose own path is then Path. Only kinds whose files hold folders are asked.
    std::string Inside;
    static constexpr std::size_t kHeadSize = 64;
};

// One kind of mailbox, as the list of store/MailSourceList.cpp registers it.
struct MailSourceKind {
    // The kind as messages name it, with its article: "a maildir", "an mbox file", ...
    const char* Name;
    // Whether its mailboxes are folders (else files).
    bool Folder;
    // Whether the path is a mailbox of this kind, told cheaply by what is there (a folder's
    // sub-folders, a file's first bytes): Ok when it is, else NotRecognised. A kind that looked
    // closely and declined says why in the reason; that is the answer when no later kind finds
    // messages at the path.
    platform::Status (*IsMine)(const MailboxProbe& probe);
    // The mailbox at a path this kind claimed, else the Status of why it cannot be read.
    platform::Result<std::unique_ptr<IMailSource>> (*Open)(const std::string& path);
    // For a kind whose files hold a tree of folders of their own (null for the others): whether
    // a file is one, told by its name alone, as discovery asks it of every file it walks past;
    bool (*HoldsFolders)(const std::string& fileName) = nullptr;
    // and the folders of such a file, parents first, as records whose relative paths start
    // below the file (discovery puts them under the file's name) and whose mailbox paths
    // (FolderMailboxPath) go on past the file; else the Status of why the file cannot be read.
    platform::Result<std::vector<FolderRecord>> (*ListFolders)(const std::string& file) = nullptr;
    // For a kind whose files keep an index that can lose messages (null for the others): the
    // messages of a file it claimed that its index no longer reaches, to be found; else the
    // Status of why the file cannot be searched. Asked also when its index could not be read.
    platform::Result<std::unique_ptr<ILostMessages>> (*OpenLost)(const std::string& path) =
        nullptr;
};

// What a kind's IsMine answers for a path not of its kind, with why when it looked closely.
inline platform::Status NotMine(std::string whyNot = {}) {
    return platform::Status(platform::StatusCode::NotRecognised, std::move(whyNot));
}

// What opening a mailbox gave: the source, or the Status of why there is none. Kind names the
// kind that took the path, also when it then could not read it.
struct MailboxOpen {
    std::unique_ptr<IMailSource> Source; // none when the path gives no mailbox
    const MailSourceKind* Kind = nullptr;
    // Ok with a source. Else why there is none: Missing or Refused for what is no plain file
    // or folder, NotRecognised when no kind takes the path (or the kind that took it found no
    // messages where an earlier one had declined it, saying why), else the Status of the kind
    // that took it; the reason says what it tried and what it found.
    platform::Status Failure;
    explicit operator bool() const { return Source != nullptr; }
};
