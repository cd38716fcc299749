#include "store/StoreDiscovery.h"

#include <algorithm>
#include <set>

#include "app/Settings.h"
#include "locale/Language.h"
#include "platform/FileSystem.h"
#include "platform/PathHelpers.h"
#include "platform/Paths.h"
#include "platform/User.h"
#include "platform/UserInterface.h"
#include "store/ExpressStore.h"
#include "store/MailSourceList.h"
#include "store/sources/EmlFolderSource.h"
#include "store/sources/MaildirSource.h"
#include "store/sources/MboxFileSource.h"

namespace {

using Visited = std::set<platform::FileId>;

// A folder is entered once per walk: a link back up the tree would otherwise never end.
bool FirstVisit(const std::string& folder, Visited& visited) {
    platform::FileId id;
    if (!platform::GetFileId(folder, id)) return false;
    return visited.insert(id).second;
}

bool HasFolder(const std::vector<platform::DirEntry>& entries, const char* name) {
    for (const auto& e : entries)
        if (e.isDirectory && e.name == name) return true;
    return false;
}

// The kind whose files hold folders of their own that a file's name says it is, if any.
const MailSourceKind* FolderHoldingKind(const std::string& name) {
    for (const MailSourceKind* kind : MailSourceKinds())
        if (kind->HoldsFolders && kind->HoldsFolders(name)) return kind;
    return nullptr;
}

// One walk finds every kind of store: account files, the folder files of stores kept as one
// .dbx file per mail folder (their folders, in the same post-order), and, when mailTrees is
// given, the mail folders of mbox trees ("Mail" and "ImapMail" of a profile) and maildirs, and
// the files that hold folders of their own (when holders is given).
void SearchAccountFiles(const std::string& folder, std::vector<std::string>& found,
                        std::vector<std::string>* folderFiles, Visited& visited,
                        std::vector<std::string>* mailTrees = nullptr,
                        std::vector<std::string>* holders = nullptr) {
    if (!FirstVisit(folder, visited)) return;
    // One listing serves both steps: sub-folders first, then this folder's own matches.
    auto entries = platform::ListDirectory(folder, "*");
    const bool maildir =
        mailTrees && HasFolder(entries, "cur") && IsMaildir(folder.substr(0, folder.size() - 1));
    if (maildir && folder.size() > 1) mailTrees->push_back(folder.substr(0, folder.size() - 1));
    for (const auto& e : entries) {
        if (!e.isDirectory) continue;
        // A maildir's own folders hold messages only.
        if (maildir && (e.name == "cur" || e.name == "new" || e.name == "tmp")) continue;
        if (mailTrees && (e.name == "Mail" || e.name == "ImapMail"))
            mailTrees->push_back(folder + e.name + "/");
        SearchAccountFiles(folder + e.name + "/", found, folderFiles, visited, mailTrees,
                           holders);
    }
    for (const auto& e : entries) {
        if (e.isDirectory) continue;
        if (holders && FolderHoldingKind(e.name)) holders->push_back(folder + e.name);
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
    std::string root = platform::GetWineDriveC() + "/Documents and Settings/" + GetUserLogonName() +
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
    while (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
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
    std::vector<std::string> accountFiles, folderFiles, mailTrees, holders;
    Visited visited;
    SearchAccountFiles(root, accountFiles, &folderFiles, visited, &mailTrees, &holders);
    if (SearchIdentityFolders) {
        for (const std::string& f : FindIdentityFolderFiles())
            if (FirstVisit(platform::FolderOf(f), visited)) folderFiles.push_back(f);
    }
    if (accountFiles.empty() && folderFiles.empty() && mailTrees.empty() && holders.empty() && ui)
        ui->ShowMessage(kNoStoreMessage);
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
            rec.Source = &kEmlFolderKind;
            Folders.push_back(std::move(rec));
        }
    }
    AddExpressStores(folderFiles, ui);
    AddMailTrees(mailTrees);
    AddFolderHolders(holders, ui);
}

void StoreDiscovery::AddFolderHolders(std::vector<std::string> files, IMessageBox* ui) {
    std::sort(files.begin(), files.end());
    std::set<std::string> labels = TopLabels();
    for (const std::string& file : files) {
        const MailSourceKind* kind = FolderHoldingKind(platform::FindFileName(file));
        platform::Result<std::vector<FolderRecord>> listed = kind->ListFolders(file);
        if (!listed) {
            if (ui)
                ui->ShowMessage(
                    Tr(res::TextId::StoreFoldersUnreadable, {file, listed.GetStatus().Reason()}));
            continue;
        }
        std::vector<FolderRecord> records = listed.Take();
        // The file itself, under its name, holds its folders.
        const std::string unique = UniqueLabel(platform::FindFileName(file), labels);
        FolderRecord top;
        top.DisplayName = unique;
        top.RelativePath = unique;
        top.FullPath = file;
        Folders.push_back(std::move(top));
        for (FolderRecord& r : records) {
            r.RelativePath = unique + "/" + r.RelativePath;
            Folders.push_back(std::move(r));
        }
    }
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
        Identities.push_back(IdentityRecord{name});

    std::set<std::string> labels = TopLabels();
    for (const std::string& file : folderFiles) {
        platform::Result<std::vector<ExpressFolder>> read = ReadExpressFolders(file);
        if (!read) {
            if (ui)
                ui->ShowMessage(Tr(res::TextId::ExpressFolderListUnreadable,
                                   {file, read.GetStatus().Reason()}));
            continue;
        }
        const std::vector<ExpressFolder>& folders = read.Value();
        std::string store = platform::FolderOf(file);
        while (store.size() > 1 && store.back() == '/')
            store.pop_back();
        // The identity's name, else the store's root folder's name, else the store folder's.
        std::string guid = IdentityOfStoreFolder(store);
        std::string label;
        for (const auto& [g, name] : registered)
            if (g == guid) label = name;
        bool known = !label.empty();
        for (const ExpressFolder& f : folders)
            if (label.empty() && f.parentId == kExpressNoParent) label = f.name;
        if (label.empty()) label = platform::FindFileName(store);
        const std::string unique = UniqueLabel(label, labels);
        if (!known) Identities.push_back(IdentityRecord{unique});
        for (FolderRecord& r : ExpressFolderRecords(folders, store, unique))
            Folders.push_back(std::move(r));
    }
}

std::set<std::string> StoreDiscovery::TopLabels() const {
    std::set<std::string> labels;
    for (const FolderRecord& f : Folders)
        if (f.RelativePath.find('/') == std::string::npos) labels.insert(f.DisplayName);
    return labels;
}

std::string StoreDiscovery::UniqueLabel(const std::string& label, std::set<std::string>& labels) {
    // Stores of the same name side by side stay apart in the tree.
    std::string unique = label;
    for (int n = 2; labels.count(unique); ++n)
        unique = label + " (" + std::to_string(n) + ")";
    labels.insert(unique);
    return unique;
}

namespace {

constexpr const char* kSubFolderSuffix = ".sbd";

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<platform::DirEntry> SortedEntries(const std::string& folder) {
    std::vector<platform::DirEntry> entries = platform::ListDirectory(folder, "*");
    std::sort(
        entries.begin(), entries.end(),
        [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
    return entries;
}

FolderRecord MakeRecord(const std::string& name, const std::string& relative,
                        const std::string& fullPath, const MailSourceKind* kind) {
    FolderRecord r;
    r.DisplayName = name;
    r.RelativePath = relative;
    r.FullPath = fullPath;
    r.Source = kind;
    return r;
}

// The mbox folders of one folder of an mbox tree: every mbox file, each followed by the folders
// of its "<name>.sbd" folder; a ".sbd" folder without its file stands for a folder that holds
// only folders. Names in byte order.
void AddMboxFolders(const std::string& folder, const std::string& relative,
                    std::vector<FolderRecord>& out, Visited& visited) {
    if (!FirstVisit(folder, visited)) return;
    std::vector<platform::DirEntry> entries = SortedEntries(folder);
    std::set<std::string> files;
    for (const auto& e : entries) {
        if (e.isDirectory || EndsWith(e.name, ".msf")) continue;
        const std::string path = platform::JoinPath(folder, e.name);
        if (!platform::IsRegularFile(path)) continue;
        // Mbox files begin with a "From " line; an empty one counts when the mail program keeps
        // its summary beside it.
        const bool empty = platform::FileSize(path) == 0;
        if (empty ? !platform::IsRegularFile(path + ".msf") : !CMboxReader::LooksLikeMbox(path))
            continue;
        files.insert(e.name);
    }
    auto addSubFolders = [&](const std::string& name, const std::string& path) {
        const std::string sub = platform::JoinPath(folder, name + kSubFolderSuffix);
        if (platform::IsDirectory(sub)) AddMboxFolders(sub, path, out, visited);
    };
    for (const auto& e : entries) {
        const bool isFile = files.count(e.name) > 0;
        const bool orphanSub = e.isDirectory && EndsWith(e.name, kSubFolderSuffix) &&
                               e.name.size() > 4 &&
                               !files.count(e.name.substr(0, e.name.size() - 4));
        if (!isFile && !orphanSub) continue;
        // A folder of folders that leads back to one listed already (a link) is no new folder.
        platform::FileId id;
        if (orphanSub &&
            (!platform::GetFileId(platform::JoinPath(folder, e.name), id) || visited.count(id)))
            continue;
        const std::string name = isFile ? e.name : e.name.substr(0, e.name.size() - 4);
        const std::string path = relative + "/" + name;
        if (isFile) {
            FolderRecord r = MakeRecord(name, path, folder, &kMboxFileKind);
            r.PathSuffix = name;
            out.push_back(std::move(r));
        } else {
            out.push_back(MakeRecord(name, path, platform::JoinPath(folder, e.name), nullptr));
        }
        addSubFolders(name, path);
    }
}

// The sub-folders of a maildir kept as Maildir++ does: ".Work" and ".Work.Projects" beside cur/
// and new/ are Work and Work/Projects. A missing level gets a record that holds only folders.
void AddMaildirFolders(const std::string& maildir, const std::string& relative,
                       std::vector<FolderRecord>& out) {
    std::set<std::string> placed;
    for (const auto& e : SortedEntries(maildir)) {
        if (!e.isDirectory || e.name.size() < 2 || e.name[0] != '.' || e.name == "..") continue;
        const std::string full = platform::JoinPath(maildir, e.name);
        if (!IsMaildir(full)) continue;
        std::string path = relative;
        std::size_t start = 1;
        while (start <= e.name.size()) {
            std::size_t dot = e.name.find('.', start);
            if (dot == std::string::npos) dot = e.name.size();
            const std::string part = e.name.substr(start, dot - start);
            start = dot + 1;
            if (part.empty()) continue;
            path += "/" + part;
            const bool last = dot == e.name.size();
            if (!placed.insert(path).second) continue;
            // A missing level is named by the folder it would be, which holds no messages.
            out.push_back(MakeRecord(
                part, path, last ? full : platform::JoinPath(maildir, e.name.substr(0, dot)),
                last ? &kMaildirKind : nullptr));
        }
    }
}

} // namespace

void StoreDiscovery::AddMailTrees(std::vector<std::string> trees) {
    std::sort(trees.begin(), trees.end());
    std::set<std::string> labels = TopLabels();
    std::set<std::string> maildirs;
    for (const std::string& t : trees)
        if (t.back() != '/') maildirs.insert(t);
    Visited visited;
    for (std::string tree : trees) {
        if (tree.back() == '/') {
            // "Mail" or "ImapMail": one tree per account folder, shown under the account's name.
            // A maildir of that name is listed as a maildir only.
            tree.pop_back();
            if (maildirs.count(tree)) continue;
            for (const auto& account : SortedEntries(tree)) {
                const std::string folder = platform::JoinPath(tree, account.name);
                if (!account.isDirectory || maildirs.count(folder)) continue;
                std::vector<FolderRecord> records;
                const std::string label = account.name;
                AddMboxFolders(folder, label, records, visited);
                if (records.empty()) continue;
                const std::string unique = UniqueLabel(label, labels);
                Folders.push_back(MakeRecord(unique, unique, folder, nullptr));
                for (FolderRecord& r : records) {
                    r.RelativePath = unique + r.RelativePath.substr(label.size());
                    Folders.push_back(std::move(r));
                }
            }
            continue;
        }
        // A maildir; one kept as a Maildir++ sub-folder of another is listed under that one.
        const std::string name = platform::FindFileName(tree);
        if (!name.empty() && name[0] == '.' && IsMaildir(platform::FolderOf(tree))) continue;
        const std::string unique = UniqueLabel(name, labels);
        Folders.push_back(MakeRecord(unique, unique, tree, &kMaildirKind));
        AddMaildirFolders(tree, unique, Folders);
    }
}
