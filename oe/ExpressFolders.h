#pragma once
// The folder list of a store kept as one .dbx file per mail folder: the folder file
// ("Folders.dbx") names every folder, its parent and the message file that holds its mail.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Status.h"

inline constexpr const char* kExpressFolderFileName = "Folders.dbx";
// The parent id of the store's root folder.
inline constexpr std::uint32_t kExpressNoParent = 0xFFFFFFFF;

struct ExpressFolder {
    std::uint32_t id = 0;
    std::uint32_t parentId = kExpressNoParent;
    std::string name;        // UTF-8
    std::string messageFile; // a file name inside the store folder; empty for a container
};

// Reads the folder file: its folders, or why there are none when it is missing, refused, not a
// folder file or its index is broken; entries that cannot be read are left out.
platform::Result<std::vector<ExpressFolder>> ReadExpressFolders(const std::string& folderFile);

// A message file name from the folder file is used only when it is a plain name: no separator,
// no "." or "..", so that a crafted folder file cannot point the program outside the store.
bool IsPlainMessageFileName(const std::string& name);
