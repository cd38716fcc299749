#pragma once
// The mail folders and identities that discovery finds, as the tree and the commands use them.
#include <array>
#include <cstdint>
#include <string>

struct MailSourceKind;

struct IdentityRecord {
    std::string Texts[4]; // the second is the identity's name
};

struct FolderRecord {
    std::string DisplayName;
    std::string SecondText;
    std::string ThirdText;
    std::string RelativePath; // the full path with the store root cut off
    std::string PathSuffix;   // a message file inside FullPath, for stores that keep one
    std::string FullPath;     // without a trailing separator
    std::array<std::int32_t, 5> Numbers{}; // the fifth is an Outlook Express folder id
    // The kind of mailbox the folder is (store/MailSourceList.h): its mailbox is the message file
    // the path suffix names, else the full path. None for a folder that only holds folders.
    const MailSourceKind* Source = nullptr;
};
