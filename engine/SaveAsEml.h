#pragma once
// Saves every message of a mailbox (a .dbx file, an mbox file, a folder of messages) as its own
// .eml file in a destination folder.
#include <string>
#include <vector>

#include "engine/ProgressWindow.h"
#include "platform/UserInterface.h"

enum class SaveEmlOutcome {
    Finished,   // every message was handled
    Declined,   // the question was answered No
    NoSource,   // no message file named
    OpenFailed, // the message file does not open as a mailbox
    ReadError,  // every message was handled, but some could not be read ("Extract eMail Error"
                // at the end)
    Cancelled,  // the user cancelled ("Progress Cancelled")
};

struct SaveEmlResult {
    SaveEmlOutcome outcome = SaveEmlOutcome::Finished;
    // Every message saved; those of them that the index no longer reached are also counted in
    // savedFromScan.
    int saved = 0;
    int savedFromScan = 0;
    // Messages already in the destination with the same bytes, from an earlier save: not
    // written again (not in saved).
    int alreadyThere = 0;
    // Messages whose file could not be created or written (also in the error log), and why.
    int failed = 0;
    // Messages that could not be read, or that have no bytes at all (left out, the others saved
    // all the same).
    int unreadable = 0;
    // Messages saved as far as the mailbox goes: it ends inside them (also in saved).
    int cut = 0;
    std::vector<std::string> failures;
};

// Asks first, then saves the messages from the last index down to 0. sourcePath is the folder's
// message file (or the folder), destination the folder the files go to. With recover, a mailbox
// whose kind keeps an index that can lose messages (MailSourceKind::OpenLost) is then searched
// for the messages its index no longer reaches, and each of those is saved too, named after its
// "Subject" header and numbered on from the index's messages; a file whose index cannot be read
// at all gives its messages from the search alone.
SaveEmlResult SaveMessagesAsEml(const std::string& sourcePath, const std::string& destination,
                                IMessageBox& ui, CProgressWindow& progress, bool recover = false);

// The subject-derived base name made safe for a file name: trailing blanks removed, the
// characters that the original naming rule replaces replaced, control bytes too, and cut to a
// length that leaves room for a counter and ".eml".
std::string CleanEmlBaseName(const std::string& baseName);
// A name (without ".eml") free in folder: the cleaned base name, else it followed by 0, 1, 2,
// ..., the first free one. Counting never stops at a fixed number.
std::string MakeUniqueEmlName(const std::string& folder, const std::string& baseName);
// As MakeUniqueEmlName, but creates the file too (open for reading and writing), so no name is
// ever taken twice (O_EXCL).
// Returns an open descriptor and sets path, or -1 (errno set) when no file could be created.
int CreateUniqueEmlFile(const std::string& folder, const std::string& baseName, std::string& path);
