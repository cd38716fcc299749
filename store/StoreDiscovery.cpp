#include "store/StoreDiscovery.h"

#include <set>

#include "app/Settings.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Paths.h"
#include "platform/User.h"
#include "platform/UserInterface.h"
#include "store/ExpressStore.h"

namespace {

using Visited = std::set<platform::FileId>;

// A folder is entered once per walk: a link back up the tree would otherwise never end.
bool FirstVisit(const std::string& folder, Visited& visited) {
    platform::FileId id;
    if (!platform::GetFileId(folder, id)) return false;
    return visited.insert(id).second;
}

// One walk finds both kinds of store: account files, and the folder files of stores kept as one
// .dbx file per mail folder (their folders, in the same post-order).
void SearchAccountFiles(const std::string& folder, std::vector<std::string>& found,
                        std::vector<std::string>* folderFiles, Visited& visited) {
    if (!FirstVisit(folder, visited)) return;
    // One listing serves both steps: sub-folders first, then this folder's own matches.
    auto entries = platform::ListDirectory(folder, "*");
    for (const auto& e : entries)
        if (e.isDirectory) SearchAccountFiles(folder + e.name + "/", found, folderFiles, visited);
    for (const auto& e : entries) {
        if (e.isDirectory) continue;
        if (platform::MatchPattern(e.name, "*.oeaccount")) found.push_back(folder + e.name);
        if (folderFiles && platform::MatchPattern(e.name, kExpressFolderFileName))
            folderFiles->push_back(folder + e.name);
    }
}

void CollectBelow(const std::string& folder, std::vector<std::string>& out, Visited& visited) {
    for (const auto& e : platform::ListDirectory(folder, "*.*")) {
        if (!e.isDirectory) continue;
        std::string child = folder + "/" + e.name;
        if (!FirstVisit(child, visited)) continue;
        CollectBelow(child, out, visited);
        out.push_back(child);
    }
}

} // namespace

std::string StoreDiscovery::GetUserLogonName() {
    UserName = platform::GetLogonName();
    return UserName;
}

std::string StoreDiscovery::ResolveStoreRoot(AppSettings& settings) {
    if (!settings.KESTLMailFolderPath.empty())
        return platform::TrimRight(settings.KESTLMailFolderPath) + "/";
    std::string root = platform::GetWineDriveC() + "/Documents and Settings/" +
                       GetUserLogonName() +
                       "/Local Settings/Application Data/Microsoft/Windows Live Mail/";
    settings.KESTLMailFolderPath = root;
    SearchIdentityFolders = true;
    return root;
}

std::vector<std::string> StoreDiscovery::FindAccountFiles(const std::string& root) {
    std::vector<std::string> found;
    Visited visited;
    SearchAccountFiles(root, found, nullptr, visited);
    return found;
}

std::vector<std::string> StoreDiscovery::CollectFolders(const std::string& start) {
    std::string path = platform::TrimRight(start);
    while (!path.empty() && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    std::string listed = path.empty() ? std::string("/") : path;
    std::vector<std::string> out;
    Visited visited;
    FirstVisit(listed, visited);
    CollectBelow(path, out, visited);
    out.push_back(path);
    return out;
}

void StoreDiscovery::DiscoverFolders(const std::string& root, IMessageBox* ui) {
    StoreRoot = root;
    std::vector<std::string> accountFiles, folderFiles;
    Visited visited;
    SearchAccountFiles(root, accountFiles, &folderFiles, visited);
    if (SearchIdentityFolders) {
        for (const std::string& f : FindIdentityFolderFiles())
            if (FirstVisit(platform::FolderOf(f), visited)) folderFiles.push_back(f);
    }
    if (accountFiles.empty() && folderFiles.empty() && ui) ui->ShowMessage(kNoStoreMessage);
    for (const std::string& file : accountFiles) {
        std::string accountFolder = platform::FolderOf(file);
        // "Inbox" is matched without regard to case, as the store's file system did; the
        // listing is only needed when the exact spelling is absent.
        if (!platform::FileExists(accountFolder + "Inbox") &&
            platform::ListDirectory(accountFolder, "Inbox").empty())
            continue;
        std::vector<std::string> folders = CollectFolders(accountFolder);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
            FolderRecord rec;
            rec.RelativePath = it->size() > root.size() ? it->substr(root.size()) : std::string();
            rec.DisplayName = platform::DisplayNameOf(rec.RelativePath);
            rec.FullPath = *it;
            Folders.push_back(std::move(rec));
        }
    }
    AddExpressStores(folderFiles, ui);
}

std::vector<std::string> StoreDiscovery::FindIdentityFolderFiles() {
    std::string driveC = platform::GetWineDriveC();
    std::string user = GetUserLogonName();
    const std::string identityFolders[] = {
        driveC + "/users/" + user + "/Local Settings/Application Data/Identities",
        driveC + "/users/" + user + "/AppData/Local/Identities",
        driveC + "/Documents and Settings/" + user + "/Local Settings/Application Data/Identities",
    };
    std::vector<std::string> found;
    for (const std::string& identities : identityFolders) {
        for (const auto& e : platform::ListDirectory(identities, "{*}")) {
            if (!e.isDirectory) continue;
            std::string store = identities + "/" + e.name + "/Microsoft/Outlook Express/";
            for (const auto& f : platform::ListDirectory(store, kExpressFolderFileName))
                if (!f.isDirectory) found.push_back(store + f.name);
        }
    }
    return found;
}

void StoreDiscovery::AddExpressStores(const std::vector<std::string>& folderFiles,
                                      IMessageBox* ui) {
    std::string prefix = platform::GetWineDriveC();
    prefix.resize(prefix.size() - std::string("drive_c").size());
    auto registered = ReadIdentityNames(prefix + "user.reg");
    for (const auto& [guid, name] : registered)
        Identities.push_back(IdentityRecord{{guid, name, std::string(), std::string()}});

    std::set<std::string> labels;
    for (const FolderRecord& f : Folders)
        if (f.RelativePath.find('/') == std::string::npos) labels.insert(f.DisplayName);
    for (const std::string& file : folderFiles) {
        std::vector<ExpressFolder> folders;
        std::string why;
        if (!ReadExpressFolders(file, folders, why)) {
            if (ui)
                ui->ShowMessage("Can't read the Outlook Express folder list " + file + ": " + why +
                                ".");
            continue;
        }
        std::string store = platform::FolderOf(file);
        while (store.size() > 1 && store.back() == '/') store.pop_back();
        // The identity's name, else the store's root folder's name, else the store folder's.
        std::string guid = IdentityOfStoreFolder(store);
        std::string label;
        for (const auto& [g, name] : registered)
            if (g == guid) label = name;
        bool known = !label.empty();
        for (const ExpressFolder& f : folders)
            if (label.empty() && f.parentId == kExpressNoParent) label = f.name;
        if (label.empty()) label = platform::FindFileName(store);
        // Stores of the same name side by side stay apart in the tree.
        std::string unique = label;
        for (int n = 2; labels.count(unique); ++n)
            unique = label + " (" + std::to_string(n) + ")";
        labels.insert(unique);
        if (!known) Identities.push_back(IdentityRecord{{guid, unique, store, std::string()}});
        for (FolderRecord& r : ExpressFolderRecords(folders, store, unique))
            Folders.push_back(std::move(r));
    }
}
