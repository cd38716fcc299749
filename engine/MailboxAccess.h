#pragma once
// The mailbox a run is pointed at, and the header fields of its messages as the runs that choose
// messages before extracting them (the search, the wizard's period) need them.
#include <memory>
#include <string>

#include "store/MailSource.h"

// Subject, sender (the address, and the name shown for it) and date (the main run's date rule)
// from the header block of the file. False when the file cannot be read.
bool ReadEmlHeader(const std::string& path, MailHeader& header);
// The header of message index: from its own file when the mailbox keeps messages as files,
// otherwise as the mailbox keeps it.
bool ReadMailHeader(IMailSource& source, int index, MailHeader& header);
// The mailbox a run is pointed at: a folder of .eml files, a maildir, a .dbx or an mbox message
// file (OpenMailboxPath). Null when the path is none of these, or the message file does not open.
std::unique_ptr<IMailSource> OpenMailSource(const std::string& path);
