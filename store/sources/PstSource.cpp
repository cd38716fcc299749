#include "store/sources/PstSource.h"

#include <cstring>

#include "platform/FileSystem.h"
#include "store/FolderRecord.h"

platform::Status PstFolderSource::Open(const std::string& file, const std::string& folder) {
    m_folder.Clear(); // before the file it reads may go
    m_path = folder.empty() ? file : file + "/" + folder;
    platform::Result<std::shared_ptr<const CPstFile>> opened = CPstFile::OpenShared(file);
    if (!opened) return opened.GetStatus();
    m_file = opened.Take();
    if (folder.empty())
        return platform::Status(
            platform::StatusCode::NotRecognised,
            "an Outlook data file: name one of its folders after it, as discover lists them");
    return m_folder.Select(*m_file, folder);
}

bool PstFolderSource::ReadHeader(int index, MailHeader& header) {
    header = MailHeader{};
    PstHeader read;
    if (!m_folder.ReadHeader(index, read)) return false;
    header.Subject = std::move(read.Subject);
    header.Sender = std::move(read.Sender);
    header.SenderName = std::move(read.SenderName);
    header.Time = read.Time;
    return true;
}

MailTextWrite PstFolderSource::WriteText(int index, int fd) {
    return m_folder.WriteMessage(index, fd);
}

std::string PstFolderSource::Describe(int index) const {
    return m_path + ", message " + std::to_string(index + 1);
}

std::string PstFolderSource::Remark() const {
    std::string remark;
    if (m_folder.Skipped() > 0)
        remark = std::to_string(m_folder.Skipped()) +
                 " item(s) left out that are not mail (contacts, appointments, tasks, "
                 "distribution lists, notes)";
    if (m_folder.UnreadableItems() > 0)
        remark += (remark.empty() ? "" : "; ") + std::to_string(m_folder.UnreadableItems()) +
                  " item(s) that cannot be read";
    return remark;
}

bool PstFolderSource::CheckStamp(const std::string& remembered, std::string& current) {
    current = "store " + m_file->StoreIdentity();
    return remembered == current;
}

namespace {

bool HoldsPstFolders(const std::string& name) {
    return HasPstExtension(name);
}

platform::Status IsPstFile(const MailboxProbe& probe) {
    return !probe.IsFolder && probe.Head.size() >= 4 &&
                   std::memcmp(probe.Head.data(), "!BDN", 4) == 0
               ? platform::Status()
               : NotMine();
}

platform::Result<std::unique_ptr<IMailSource>> OpenPstFolder(const std::string& path) {
    // The file is the leading part of the path that is a plain file; the rest names the folder.
    std::string file = path, folder;
    for (std::size_t end = path.find('/', 1); end != std::string::npos;
         end = path.find('/', end + 1)) {
        const std::string head = path.substr(0, end);
        if (!platform::IsDirectory(head) && platform::FileExists(head)) {
            file = head;
            folder = path.substr(end + 1);
            break;
        }
    }
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    auto source = std::make_unique<PstFolderSource>();
    if (platform::Status opened = source->Open(file, folder); !opened) return opened;
    return std::unique_ptr<IMailSource>(std::move(source));
}

platform::Result<std::vector<FolderRecord>> ListPstFolders(const std::string& path) {
    CPstFile file;
    if (platform::Status opened = file.Open(path); !opened) return opened;
    std::vector<FolderRecord> folders;
    for (const PstFolder& f : file.Folders()) {
        FolderRecord r;
        r.DisplayName = f.Name;
        r.RelativePath = f.Path;
        r.FullPath = path;
        r.PathSuffix = f.Path;
        r.Source = &kPstFileKind;
        folders.push_back(std::move(r));
    }
    return folders;
}

} // namespace

const MailSourceKind kPstFileKind{"a .pst or .ost file", false, IsPstFile,
                                  OpenPstFolder, HoldsPstFolders, ListPstFolders};
