#include "oe/ExpressFolders.h"

#include "oe/DbxFormat.h"
#include "oe/DbxReader.h"
#include "platform/Utf8.h"

platform::Result<std::vector<ExpressFolder>> ReadExpressFolders(const std::string& folderFile) {
    std::vector<ExpressFolder> folders;
    CDbxStoreFile file;
    if (platform::Status opened = file.Open(folderFile); !opened) return opened;
    if (file.GetKind() != dbx::kKindFolder)
        return platform::Status(platform::StatusCode::NotRecognised, "is not a folder file");
    for (std::int32_t i = 0; i < file.GetItemCount(); ++i) {
        std::unique_ptr<CDbxItem> item = file.GetItem(i, 0).Take();
        auto* entry = dynamic_cast<CDbxFolderEntry*>(item.get());
        if (!entry) continue;
        ExpressFolder f;
        f.id = entry->Record().number80;
        // The root's parent is 0xFFFFFFFF in the values area, or 0xFFFFFF where a writer kept it
        // in the entry's 24 bits.
        const std::uint32_t parent = entry->Record().number81;
        f.parentId = parent == 0xFFFFFF ? kExpressNoParent : parent;
        f.name = platform::LegacyTextToUtf8(entry->Record().text02);
        f.messageFile = platform::LegacyTextToUtf8(entry->Record().text03);
        folders.push_back(std::move(f));
    }
    return folders;
}

bool IsPlainMessageFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos && name.find('\0') == std::string::npos;
}
