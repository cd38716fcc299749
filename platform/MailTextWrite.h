#pragma once
// What writing one message's text out of a mailbox to a file gave. The readers of the formats
// answer it (the .dbx reader, the mbox reader, the Outlook data file reader), and every mailbox
// (store/MailSource.h) and the copy of a message a run reads (store/MessageOnDisk.h) pass it on
// as it is.
enum class MailTextWrite {
    Written,     // the whole text (nothing, for a message without one)
    Cut,         // all the mailbox holds of it, but the mailbox ends inside the message
    Unreadable,  // the mailbox's copy is damaged or could not be read; what was written is
                 // incomplete
    WriteFailed, // the file could not take it (or there was no file to take it)
};
