#include "store/sources/EmlFolderSource.h"

#include <algorithm>
#include <cstring>

EmlFolderSource::EmlFolderSource(const std::string& folder) {
    AddFiles(folder, "*.eml");
    std::sort(m_paths.begin(), m_paths.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str(), b.c_str()) < 0;
    });
}

namespace {

platform::Status IsEmlFolder(const MailboxProbe& probe) {
    return probe.IsFolder ? platform::Status() : NotMine();
}

platform::Result<std::unique_ptr<IMailSource>> OpenEmlFolder(const std::string& path) {
    return std::unique_ptr<IMailSource>(std::make_unique<EmlFolderSource>(path));
}

} // namespace

const MailSourceKind kEmlFolderKind{"a folder of .eml files", true, IsEmlFolder, OpenEmlFolder};
