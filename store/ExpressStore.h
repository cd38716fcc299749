#pragma once
// Stores kept as one .dbx file per mail folder beside a folder file: their folder records and
// the names of their identities.
#include <map>
#include <string>
#include <vector>

#include "oe/ExpressFolders.h"
#include "store/FolderRecord.h"

// How many levels of folders a store's tree shows below its top record.
inline constexpr int kMaxExpressFolderDepth = 64;

// The records of one store, every folder after its parent, in time and memory linear in the
// number of folders. The root folder's record is shown as label (the identity), the others
// under it by their names; a folder whose parent is not in the list hangs under the root, and
// one that would lie deeper than kMaxExpressFolderDepth levels below the root is placed at that
// level, beside its ancestor there. Full path: the store folder; path suffix: the message file
// (empty for a container, and for a name that would leave the store folder); fifth number:
// the folder id.
std::vector<FolderRecord> ExpressFolderRecords(const std::vector<ExpressFolder>& folders,
                                               const std::string& storeFolder,
                                               const std::string& label);

// Identity names from a registry file as the Wine prefix keeps it (user.reg): the "Username"
// value of each key Identities\{GUID}, by the GUID in capitals with its braces, in file order.
std::vector<std::pair<std::string, std::string>> ReadIdentityNames(const std::string& regFile);

// The {GUID} of the identity folder a store folder lies in (…/Identities/{GUID}/Microsoft/…),
// in capitals; empty when the path shows none.
std::string IdentityOfStoreFolder(const std::string& storeFolder);

// Why a record's message file cannot be used; empty when it can (or the record names none).
std::string MissingMessageFileMessage(const FolderRecord& record);
