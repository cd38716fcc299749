#pragma once
// The mail folders and identities that discovery finds, as the tree and the commands use them.
#include <cstdint>
#include <string>

struct MailSourceKind;

struct IdentityRecord {
    std::string Name; // as the user named it, or the store's label when it has no name
};

struct FolderRecord {
    std::string DisplayName;
    std::string RelativePath; // the full path with the store root cut off
    std::string PathSuffix;   // a message file inside FullPath, for stores that keep one
    std::string FullPath;     // without a trailing separator
    std::uint32_t ExpressFolderId = 0; // the folder's id in an Outlook Express store; else 0
    // The kind of mailbox the folder is (store/MailSourceList.h): its mailbox is the message file
    // the path suffix names, else the full path. None for a folder that only holds folders.
    const MailSourceKind* Source = nullptr;
};
