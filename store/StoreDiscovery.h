#pragma once
// Finds the mail program's store on disk and lists the mail folders of every account in it.
#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "store/FolderRecord.h"

struct AppSettings;
class IMessageBox;

inline constexpr const char* kNoStoreMessage =
    "Can't find the Mailbox Path of Windows Live Mail!\nPlease go to File->Preference to set "
    "the Mailbox Path";

class StoreDiscovery {
public:
    std::string Text1;
    std::string Text2;
    std::vector<IdentityRecord> Identities;
    std::vector<FolderRecord> Folders;
    std::string UserName;
    std::string StoreRoot;
    // Also look for stores in the identity folders of the Wine prefix; set when the root is the
    // default one, as those stores never lie below it.
    bool SearchIdentityFolders = false;

    std::string GetUserLogonName();
    // The root from the settings, storing the default root there when none is set. Ends in "/".
    std::string ResolveStoreRoot(AppSettings& settings);
    // Fills the folder list from the root (ending in "/"): the account folders, then the
    // folders of every store kept as .dbx files (a folder file found by the walk), whose
    // identities also fill the identity list, then the mbox folders of every account folder of a
    // mail program's profile ("Mail/<account>/", "ImapMail/<account>/", sub-folders in
    // "<name>.sbd") and every maildir with its Maildir++ sub-folders, then every file that holds
    // folders of its own (an Outlook data file) under its name. Says kNoStoreMessage through ui
    // when no store is found, and names a folder file or such a file that cannot be read.
    void DiscoverFolders(const std::string& root, IMessageBox* ui);

    // The two walks, exposed for tests and benchmarks.
    static std::vector<std::string> FindAccountFiles(const std::string& root);
    static std::vector<std::string> CollectFolders(const std::string& start);

private:
    std::vector<std::string> FindIdentityFolderFiles();
    void AddExpressStores(const std::vector<std::string>& folderFiles, IMessageBox* ui);
    // Mbox trees (a "Mail" or "ImapMail" folder, with its "/") and maildirs (without), found by
    // the walk; in path order, after the other stores.
    void AddMailTrees(std::vector<std::string> trees);
    // Files that hold folders of their own (Outlook data files), in path order, after the other
    // stores: each under its file name, with its folders below. Names a file that cannot be
    // read.
    void AddFolderHolders(std::vector<std::string> files, IMessageBox* ui);
    // The texts of the tree's top level so far, and a label made unique among them (and added).
    std::set<std::string> TopLabels() const;
    static std::string UniqueLabel(const std::string& label, std::set<std::string>& labels);
};
