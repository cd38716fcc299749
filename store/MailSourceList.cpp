#include "store/MailSourceList.h"

#include <cstdint>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "store/FolderRecord.h"
#include "store/sources/DbxFileSource.h"
#include "store/sources/EmlFolderSource.h"
#include "store/sources/MaildirSource.h"
#include "store/sources/MboxFileSource.h"

const std::vector<const MailSourceKind*>& MailSourceKinds() {
    // A new kind of mailbox is one line here (and its file in store/sources/).
    static const std::vector<const MailSourceKind*> kinds = {
        &kMaildirKind,
        &kEmlFolderKind,
        &kDbxFileKind,
        &kMboxFileKind,
    };
    return kinds;
}

namespace {

// The first bytes and the size of a file; false, with why, for what is no plain file or does not
// open.
bool ProbeFile(MailboxProbe& probe, std::string& why) {
    platform::UniqueFd fd(platform::OpenFileForReading(probe.Path, UINT64_MAX, &why));
    if (!fd.IsOpen()) {
        if (why.empty()) why = "not found";
        return false;
    }
    probe.Size = platform::FileSize(probe.Path);
    char head[MailboxProbe::kHeadSize];
    ssize_t got = ::pread(fd.Get(), head, sizeof head, 0);
    if (got > 0) probe.Head.assign(head, static_cast<std::size_t>(got));
    return true;
}

// What a path of that sort could have been: "neither a .dbx file nor an mbox file".
std::string NoKindClaims(bool folder) {
    std::vector<std::string> names;
    for (const MailSourceKind* kind : MailSourceKinds())
        if (kind->Folder == folder) names.push_back(kind->Name);
    std::string text = names.size() > 2 ? "none of " : names.size() == 2 ? "neither " : "not ";
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : names.size() == 2 ? " nor " : ", ") + names[i];
    return text;
}

} // namespace

MailboxOpen OpenMailbox(const std::string& path) {
    MailboxOpen result;
    if (path.empty()) return result;
    MailboxProbe probe;
    probe.Path = path;
    probe.IsFolder = platform::IsDirectory(path);
    if (!probe.IsFolder && !ProbeFile(probe, result.Why)) return result;
    std::string declined;
    for (const MailSourceKind* kind : MailSourceKinds()) {
        std::string whyNot;
        if (!kind->IsMine(probe, whyNot)) {
            if (declined.empty()) declined = whyNot;
            continue;
        }
        result.Kind = kind;
        result.Source = kind->Open(path, result.Why);
        // A kind that looked closely and declined tells more than one that finds nothing.
        if (result.Source && result.Source->Count() == 0 && !declined.empty()) {
            result.Source.reset();
            result.Why = declined;
        }
        return result;
    }
    result.Why = declined.empty() ? NoKindClaims(probe.IsFolder) : declined;
    return result;
}

std::string FolderMailboxPath(const FolderRecord& folder) {
    return folder.PathSuffix.empty() ? folder.FullPath
                                     : platform::JoinPath(folder.FullPath, folder.PathSuffix);
}

MailboxOpen OpenFolderSource(const FolderRecord& folder) {
    MailboxOpen result;
    result.Kind = folder.Source;
    if (!folder.Source) return result;
    result.Source = folder.Source->Open(FolderMailboxPath(folder), result.Why);
    return result;
}
