#pragma once
// What the folder commands learn about the selected mail folder. The view answers on its own
// while nothing is selected; otherwise it passes the selected item's record, nullptr for a
// connecting item.
#include <cstdint>
#include <string>

struct AppSettings;
struct FolderRecord;
class IMessageBox;

inline constexpr const char* kNoFolderPathMessage = "Can't Find Mail Folder Path Error!!";
inline constexpr const char* kNoFolderNameMessage = "Get Express Folder Path Error!!";

// The folder's path with a trailing "/" (the full path, "/" and the record's path suffix). A
// connecting item, a record without a full path or one whose message file is missing gives a
// message and an empty result. The
// result, empty or not, becomes the LastMailFolder setting.
std::string SelectedFolderPath(const FolderRecord* record, AppSettings& settings, IMessageBox& ui);
// The record's display name; empty, with a message, when the record has none.
std::string SelectedFolderName(const FolderRecord* record, IMessageBox& ui);
// The record's Outlook Express folder id; 0 without a record.
std::uint32_t SelectedFolderId(const FolderRecord* record);
// The folder's message file: the full path, "/" and the path suffix; empty for a connecting item
// or a record without a suffix (a folder of .eml files).
std::string FolderMessageFile(const FolderRecord* record);
// The mailbox the runs read for a folder: its message file, or the folder itself when it keeps
// its messages as .eml files; empty for a connecting item.
std::string FolderMailboxPath(const FolderRecord* record);
