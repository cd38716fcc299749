#pragma once
// The program's own texts that no menu, dialog control or string-table entry carries: its
// messages, the reasons it gives for greyed commands, tool tips, labels of windows built in code.
// Each has a stable name, which keys it in a language file's "Text" section, and its English
// text, the built-in fallback. "%1" to "%9" in a text stand for what the program puts in (a
// number, a path, a name); a translation must hold the same ones, in any order.
//
// The list below is the one place of each English text: the lookup (locale/Language.h) and the
// tests that check the language files both read it.
#include <cstddef>

// X(name, English text)
#define KESTREL_PROGRAM_TEXTS(X)                                                                   \
    /* The main window */                                                                          \
    X(FolderPaneTitle, "Windows Live Mail Folder")                                                 \
    X(TutorialButton, "Kestrel -- Online Tutorial")                                                \
    X(TutorialButtonTip, "Kestrel")                                                                \
    X(DestinationLabel, "&Destination:")                                                           \
    X(DestinationTip, "Type or paste a folder and press Enter to go there")                        \
    X(TreeHome, "Home directory")                                                                  \
    X(TreeDesktop, "Desktop")                                                                      \
    X(FileListName, "Name")                                                                        \
    X(FileListSize, "Size")                                                                        \
    X(FileListType, "Type")                                                                        \
    X(FileListModified, "Modified")                                                                \
    X(FileTypeFolder, "File folder")                                                               \
    X(FileTypeFile, "File")                                                                        \
    X(FileTypeExtension, "%1 File")                                                                \
    X(ProgressTitle, "Progress")                                                                   \
    X(ProgressCancel, " Cancel ")                                                                  \
    X(CurrentFolder, "Current Folder: %1")                                                         \
    X(HelpViewerTitle, "Kestrel Help: %1")                                                         \
    X(HelpBookMissing, "The help book \"%1\" is missing.")                                         \
    X(MailProgramMissing, "Windows Live Mail is not installed: there is no \"%1\".")               \
    X(MailProgramNotStarted,                                                                       \
      "Windows Live Mail could not be started: \"wine %1\" did not run. Is Wine installed?")       \
    X(OpenFailed, "The desktop could not open \"%1\": no application for it could be started.")    \
    X(FolderMissing, "The folder \"%1\" does not exist.")                                          \
    /* Folder commands */                                                                          \
    X(NoMailBoxReason, "Please Choice the MailBox")                                                \
    X(NoRecordReason,                                                                              \
      "This item holds no mail folder of its own: choose one of the folders below it.")            \
    X(NoMessageFileReason, "This folder keeps its messages as .eml files already.")                \
    X(NoDbxFileReason,                                                                             \
      "Only a .dbx message file has an index whose lost messages can be searched for.")            \
    X(NoStoreFolderReason,                                                                         \
      "Only a folder of an Outlook Express store (.dbx files) is read through the store.")         \
    X(SaveMessagesReason, "Save Messages as eml: %1")                                              \
    X(NoStoreNamespace,                                                                            \
      "The Outlook Express store component could not be started, so this folder cannot be read.")  \
    X(ChooseDestinationFirst, "Please choose the destination folder first.")                       \
    X(MessagesNotSaved, "%1 message(s) could not be saved:")                                       \
    X(MessageFileUnreadable, "The folder's message file cannot be read.")                          \
    X(MessagesSaved, "%1 message(s) saved to %2")                                                  \
    X(MessagesRecovered, "%1 message(s) saved to %2: %3 from the index, %4 from the scan")         \
    X(MessagesAlreadyThere, "; %1 already there, not saved again")                                 \
    X(MessageCutShort, "Message %1 of the folder is cut short: it is saved as far as it goes")     \
    X(MessageEmpty, "Message %1 of the folder is empty: it is left out")                           \
    X(MessageUnreadable, "Cannot read message %1 of the folder: it is left out")                   \
    X(MessageBreaksOff, "The message found at position %1 of the file breaks off: it is left out") \
    X(CannotCreateFile, "Cannot create %1: %2")                                                    \
    X(CannotWriteFile, "Cannot write %1: %2")                                                      \
    X(MissingMessageFile, "The message file of this folder is missing:\n%1")                       \
    /* Extraction runs */                                                                          \
    X(NoNewMail, "No New Mail since the Last Run\n No Report is Generated!!")                      \
    X(NoNewMailInFolders, "No New Mail since the Last Run: %1")                                    \
    X(MailFolderUnreadable, "Can't read the mail folder %1: %2")                                   \
    X(SubDirectoryIsLink, "%1 is a link: nothing is extracted through it")                         \
    X(DestinationUnwritable,                                                                       \
      "cannot write into %1 (read-only or not permitted): attachments and report are missing")     \
    X(MessageUnreadableInRun, "cannot read the message %1")                                        \
    X(ReportIncomplete,                                                                            \
      "the report in %1 could not be written completely (disk full or not writable)")              \
    X(AttachmentsUnwritten, "%1 attachment(s) could not be written into %2: %3 (incomplete files " \
                            "were removed; they are not in the report)")                           \
    X(DiskFull, "the disk is full")                                                                \
    X(RecoveryRecordUnwritten, "the record of the message being worked on could not be written "   \
                               "%1 time(s) (disk full or not writable)")                           \
    X(ChooseWizardDestination, "Please choose the folder the attachments go to.")                  \
    X(ExtractEveryHit,                                                                             \
      "No message is checked. Extract the attachments of all %1 messages into %2?")                \
    /* Stores */                                                                                   \
    X(StoreFoldersUnreadable, "Can't read the folders of %1: %2.")                                 \
    X(ExpressFolderListUnreadable, "Can't read the Outlook Express folder list %1: %2.")           \
    X(ReadOnlyStoreTip, "The store is opened read-only: messages cannot be marked, deleted, "      \
                        "created, copied or moved here.")                                          \
    X(TestExtractSaved, "The attachments of the message were saved in %1.")                        \
    X(TestExtractUnusable, "Can't use the folder %1 for the test extraction.")                     \
    /* Dialogs */                                                                                  \
    X(ConditionAll, "Extract All Mails")                                                           \
    X(ConditionContains, "Mail's Subject Contains Following String")                               \
    X(ConditionNotContains, "Mail's Subject Not Contains Following String")                        \
    X(ActionNothing, "Nothing")                                                                    \
    X(ActionMove, "Move Extracted Mails to a Specific Outlook Folder.")                            \
    X(ActionDelete, "Delete Extracted Mails. ")                                                    \
    X(SearchColumnSender, "Sender")                                                                \
    X(SearchColumnSubject, "Subject")                                                              \
    X(SearchColumnReceived, "Received Date")                                                       \
    X(SearchColumnFolder, "Folder Name")                                                           \
    X(SearchColumnBodySize, "Body Size")                                                           \
    X(SearchColumnEntryId, "EntryID")                                                              \
    X(BrowseForFolder, "Browse for Folder")                                                        \
    X(BrowseFolderLabel, "Folder:")                                                                \
    X(MailboxBrowserTitle, "Select the Folder that Windows Live Mail Stored:")                     \
    X(NumberOutOfRange, "Please enter an integer between %1 and %2.")                              \
    X(NumberOutOfRangeCaption, "Validation conflict")                                              \
    X(ReloadStoreQuestion,                                                                         \
      "The mailbox path has changed. Read the mail folders from the new path now?")                \
    X(AboutTagline, "attachments out of stored mail")                                              \
    X(ButtonOk, "OK")                                                                              \
    X(ButtonCancel, "Cancel")                                                                      \
    X(ButtonYes, "&Yes")                                                                           \
    X(ButtonNo, "&No")

namespace res {

enum class TextId : unsigned {
#define KESTREL_TEXT_ID(name, english) name,
    KESTREL_PROGRAM_TEXTS(KESTREL_TEXT_ID)
#undef KESTREL_TEXT_ID
};

struct ProgramText {
    TextId id;
    const char* key;     // the name in a language file's "Text" section
    const char* english; // the built-in text
};

// Every text of the list above, in its order.
inline constexpr ProgramText kProgramTexts[] = {
#define KESTREL_TEXT_ENTRY(name, english) {TextId::name, #name, english},
    KESTREL_PROGRAM_TEXTS(KESTREL_TEXT_ENTRY)
#undef KESTREL_TEXT_ENTRY
};

inline constexpr const ProgramText& GetProgramText(TextId id) {
    return kProgramTexts[static_cast<std::size_t>(id)];
}

} // namespace res
