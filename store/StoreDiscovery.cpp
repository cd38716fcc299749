#include "store/StoreDiscovery.h"

#include <set>

#include "app/Settings.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Paths.h"
#include "platform/User.h"
#include "platform/UserInterface.h"

namespace {

using Visited = std::set<platform::FileId>;

// A folder is entered once per walk: a link back up the tree would otherwise never end.
bool FirstVisit(const std::string& folder, Visited& visited) {
    platform::FileId id;
    if (!platform::GetFileId(folder, id)) return false;
    return visited.insert(id).second;
}

void SearchAccountFiles(const std::string& folder, std::vector<std::string>& found,
                        Visited& visited) {
    if (!FirstVisit(folder, visited)) return;
    // One listing serves both steps: sub-folders first, then this folder's own matches.
    auto entries = platform::ListDirectory(folder, "*");
    for (const auto& e : entries)
        if (e.isDirectory) SearchAccountFiles(folder + e.name + "/", found, visited);
    for (const auto& e : entries)
        if (!e.isDirectory && platform::MatchPattern(e.name, "*.oeaccount"))
            found.push_back(folder + e.name);
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
    return root;
}

std::vector<std::string> StoreDiscovery::FindAccountFiles(const std::string& root) {
    std::vector<std::string> found;
    Visited visited;
    SearchAccountFiles(root, found, visited);
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
    std::vector<std::string> accountFiles = FindAccountFiles(root);
    if (accountFiles.empty() && ui) ui->ShowMessage(kNoStoreMessage);
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
}
