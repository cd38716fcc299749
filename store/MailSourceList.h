#pragma once
// The kinds of mailbox there are, and the one place that tells them apart: a path by what is
// there, a discovered folder by the kind its record names.
#include <memory>
#include <string>
#include <vector>

#include "store/MailSource.h"

struct FolderRecord;

// Every kind, in the order recognition asks them: the folder kinds before the one that takes
// any folder, the file kinds told by a signature before the ones told by their text.
const std::vector<const MailSourceKind*>& MailSourceKinds();

// The mailbox at a path, told by what is there: a maildir, a folder of .eml files, a .dbx file,
// an mbox file (an empty file is an mbox without messages). A fifo or a device is refused
// before any kind reads it. No source, with the Status of why (MailboxOpen::Failure), when
// nothing is there, no kind claims the path or the kind that claims it cannot read it.
MailboxOpen OpenMailbox(const std::string& path);

// The messages that the index of the file at path no longer reaches, to be found, from the kind
// whose files keep an index that can lose them (MailSourceKind::OpenLost); else the Status of
// why the file cannot be searched, as the first such kind gives it.
platform::Result<std::unique_ptr<ILostMessages>> OpenLostMessages(const std::string& path);

// Whether anything is at a mailbox path: a file or a folder, or a plain file the path goes on
// past (a folder inside it).
bool MailboxExists(const std::string& path);

// The path of the mailbox a discovered folder stands for: its message file, else its folder.
std::string FolderMailboxPath(const FolderRecord& folder);
// The mailbox a discovered folder stands for, opened as the kind its record names (what the
// path holds does not decide). None for a folder that only holds other folders.
MailboxOpen OpenFolderSource(const FolderRecord& folder);
