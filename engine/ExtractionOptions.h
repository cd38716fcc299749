#pragma once
// The options of one extraction: filled by the option sheet (or kestrel-cli), read by the run.
#include <string>

struct ExtractionOptions {
    // Where attachments, the report and the working files go; no trailing separator.
    std::string Destination;
    // 1: open the report frameset at the end of a run that reported mails.
    int ShowReport = 1;
    // 1: delete attachments whose extension is not in the picture list.
    int PicturesOnly = 1;
    // Copied from the FileRename setting; the run never renames.
    int FileRename = 0;
    // 0: open the destination folder at the end of a run that reported mails.
    int NoSubDirectory = 1;
    // 1: attachments go into Destination/CleanFolderName(folder name).
    int FolderNameSubDirectory = 0;
    int ExtensionSubDirectory = 0;
    int SenderSubDirectory = 0;
    int Action = 0;
    std::string StartPath;
    // 0 every mail; 1 the subject must contain ConditionKeyword; 2 it must not.
    int Condition = 0;
    std::string ConditionKeyword;
    std::string SortKey = "[ReceivedTime]";
    // 1: messages an earlier run extracted into Destination are passed over (see
    // engine/DoneMessages.h); 0: every message again (what is done is remembered all the same).
    int NewOnly = 0;
    int SortOrder = 2;
};

inline constexpr size_t kMaxConditionKeyword = 40;
