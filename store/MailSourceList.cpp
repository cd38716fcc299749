#include "store/MailSourceList.h"

#include <cstdint>
#include <optional>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "store/FolderRecord.h"
#include "store/sources/DbxFileSource.h"
#include "store/sources/EmlFolderSource.h"
#include "store/sources/MaildirSource.h"
#include "store/sources/MboxFileSource.h"
#include "store/sources/PstSource.h"

const std::vector<const MailSourceKind*>& MailSourceKinds() {
    // A new kind of mailbox is one line here (and its file in store/sources/).
    static const std::vector<const MailSourceKind*> kinds = {
        &kMaildirKind,
        &kEmlFolderKind,
        &kDbxFileKind,
        &kMboxFileKind,
        &kPstFileKind,
    };
    return kinds;
}

namespace {

// The first bytes and the size of a file; Missing or Refused, with the reason, for what is no
// plain file or does not open.
platform::Status ProbeFile(MailboxProbe& probe) {
    std::string why;
    platform::UniqueFd fd(platform::OpenFileForReading(probe.Path, UINT64_MAX, &why));
    if (!fd.IsOpen())
        return why.empty() ? platform::Status(platform::StatusCode::Missing, "not found")
                           : platform::Status(platform::StatusCode::Refused, why);
    probe.Size = platform::FileSize(probe.Path);
    char head[MailboxProbe::kHeadSize];
    ssize_t got = ::pread(fd.Get(), head, sizeof head, 0);
    if (got > 0) probe.Head.assign(head, static_cast<std::size_t>(got));
    return {};
}

// What a path of that sort could have been: "none of a .dbx file, an mbox file, a .pst or
// .ost file".
std::string NoKindClaims(bool folder) {
    std::vector<std::string> names;
    for (const MailSourceKind* kind : MailSourceKinds())
        if (kind->Folder == folder) names.push_back(kind->Name);
    std::string text = names.size() > 2 ? "none of " : names.size() == 2 ? "neither " : "not ";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : names.size() == 2 ? " nor " : ", ") + names[i];
    return text;
}

// The plain file a path goes on past ("mail/archive.pst" of "mail/archive.pst/Inbox"), with what
// follows it; false when no leading part of the path is a plain file.
bool SplitAtFile(const std::string& path, std::string& file, std::string& inside) {
    for (std::size_t end = path.find('/', 1); end != std::string::npos;
         end = path.find('/', end + 1)) {
        const std::string head = path.substr(0, end);
        if (platform::IsDirectory(head)) continue;
        if (!platform::FileExists(head)) return false;
        file = head;
        inside = path.substr(end + 1);
        return true;
    }
    return false;
}

} // namespace

bool MailboxExists(const std::string& path) {
    std::string file, inside;
    return platform::FileExists(path) || SplitAtFile(path, file, inside);
}

MailboxOpen OpenMailbox(const std::string& path) {
    using platform::Status;
    using platform::StatusCode;
    MailboxOpen result;
    result.Failure = Status(StatusCode::Missing, {});
    if (path.empty()) return result;
    MailboxProbe probe;
    probe.Path = path;
    probe.IsFolder = platform::IsDirectory(path);
    if (!probe.IsFolder && !platform::FileExists(path)) {
        std::string file;
        if (SplitAtFile(path, file, probe.Inside)) probe.Path = file;
    }
    if (!probe.IsFolder) {
        result.Failure = ProbeFile(probe);
        if (!result.Failure) return result;
    }
    Status declined;
    for (const MailSourceKind* kind : MailSourceKinds()) {
        if (!probe.Inside.empty() && !kind->ListFolders) continue;
        if (Status mine = kind->IsMine(probe); !mine) {
            if (declined.Reason().empty()) declined = std::move(mine);
            continue;
        }
        result.Kind = kind;
        platform::Result<std::unique_ptr<IMailSource>> opened = kind->Open(path);
        result.Failure = opened.GetStatus();
        result.Source = opened.Take();
        // A kind that looked closely and declined tells more than one that finds nothing. (Only
        // then are the messages counted: a kind may find them only when first asked.)
        if (!declined.Reason().empty() && result.Source && result.Source->Count() == 0) {
            result.Source.reset();
            result.Failure = declined;
        }
        return result;
    }
    result.Failure =
        !declined.Reason().empty()
            ? declined
            : Status(StatusCode::NotRecognised,
                     probe.Inside.empty() ? NoKindClaims(probe.IsFolder)
                                          : probe.Path + " is a file that holds no folders");
    return result;
}

platform::Result<std::unique_ptr<ILostMessages>> OpenLostMessages(const std::string& path) {
    std::optional<platform::Status> first;
    for (const MailSourceKind* kind : MailSourceKinds()) {
        if (!kind->OpenLost) continue;
        platform::Result<std::unique_ptr<ILostMessages>> lost = kind->OpenLost(path);
        if (lost) return lost;
        if (!first) first = lost.GetStatus();
    }
    return first ? *first : platform::Status(platform::StatusCode::NotRecognised, {});
}

std::string FolderMailboxPath(const FolderRecord& folder) {
    return folder.PathSuffix.empty() ? folder.FullPath
                                     : platform::JoinPath(folder.FullPath, folder.PathSuffix);
}

MailboxOpen OpenFolderSource(const FolderRecord& folder) {
    MailboxOpen result;
    result.Kind = folder.Source;
    if (!folder.Source) {
        result.Failure = platform::Status(platform::StatusCode::NotRecognised, {});
        return result;
    }
    platform::Result<std::unique_ptr<IMailSource>> opened =
        folder.Source->Open(FolderMailboxPath(folder));
    result.Failure = opened.GetStatus();
    result.Source = opened.Take();
    return result;
}
