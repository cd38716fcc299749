#include "store/FolderSelection.h"

#include "app/Settings.h"
#include "platform/UserInterface.h"
#include "store/ExpressStore.h"
#include "store/StoreDiscovery.h"

std::string SelectedFolderPath(const FolderRecord* record, AppSettings& settings, IMessageBox& ui) {
    std::string path;
    std::string missing;
    if (!record || record->FullPath.empty())
        ui.ShowMessage(kNoFolderPathMessage);
    else if (!(missing = MissingMessageFileMessage(*record)).empty())
        ui.ShowMessage(missing);
    else
        path = record->FullPath + "/" + record->PathSuffix;
    settings.LastMailFolder = path;
    return path;
}

std::string SelectedFolderName(const FolderRecord* record, IMessageBox& ui) {
    if (!record) return {};
    if (record->DisplayName.empty()) ui.ShowMessage(kNoFolderNameMessage);
    return record->DisplayName;
}

std::uint32_t SelectedFolderId(const FolderRecord* record) {
    return record ? record->ExpressFolderId : 0;
}

std::string FolderMailboxPath(const FolderRecord* record) {
    if (!record) return {};
    return record->PathSuffix.empty() ? record->FullPath : FolderMessageFile(record);
}

std::string FolderMessageFile(const FolderRecord* record) {
    if (!record || record->PathSuffix.empty()) return {};
    return record->FullPath + "/" + record->PathSuffix;
}
