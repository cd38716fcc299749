#include "engine/ExpressStoreAccess.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "engine/ProgressWindow.h"
#include "locale/Language.h"
#include "oe/ExpressFolders.h"
#include "platform/Com.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/UserInterface.h"
#include "store/ExpressStore.h"
#include "store/StoreDiscovery.h"

using platform::DWORD;

namespace {

constexpr const char* kNoFolderIdMessage = "Get Express Folder ID Error!!";

// Message properties that are handed back however the code leaves.
class CMessageProps {
public:
    explicit CMessageProps(platform::IStoreFolder* folder) : m_folder(folder) {
        m_props.cbSize = sizeof m_props;
    }
    ~CMessageProps() { Free(); }
    platform::MESSAGEPROPS* Get() { return &m_props; }
    const platform::MESSAGEPROPS& operator*() const { return m_props; }
    void Free() {
        if (m_props.pszSubject || m_props.pszDisplayFrom || m_props.pszNormalSubject)
            m_folder->FreeMessageProps(&m_props);
    }

private:
    platform::IStoreFolder* m_folder;
    platform::MESSAGEPROPS m_props{};
};

class CEnumeration {
public:
    explicit CEnumeration(platform::IStoreFolder* folder) : m_folder(folder) {}
    ~CEnumeration() {
        if (m_handle) m_folder->GetMessageClose(m_handle);
    }
    platform::HENUMSTORE* Out() { return &m_handle; }
    platform::HENUMSTORE Get() const { return m_handle; }

private:
    platform::IStoreFolder* m_folder;
    platform::HENUMSTORE m_handle = nullptr;
};

std::string Text(const char* s) {
    return s ? s : "";
}

// A name beside the one taken: "photo (2).jpg".
std::string FreeName(const std::string& folder, const std::string& name) {
    if (!platform::FileExists(folder + name)) {
        struct stat st;
        if (lstat((folder + name).c_str(), &st) != 0) return name;
    }
    std::size_t dot = name.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    std::string ext = dot == std::string::npos || dot == 0 ? "" : name.substr(dot);
    for (int n = 2;; ++n) {
        std::string candidate = stem + " (" + std::to_string(n) + ")" + ext;
        struct stat st;
        if (lstat((folder + candidate).c_str(), &st) != 0) return candidate;
    }
}

} // namespace

CStoreRef<platform::IStoreNamespace> CreateStoreNamespace(IMessageBox& ui) {
    CStoreRef<platform::IStoreNamespace> result;
    platform::CComRef classObject;
    void* raw = nullptr;
    if (platform::Failed(platform::CreateInstance(platform::kCLSID_StoreNamespace, classObject)) ||
        !classObject ||
        platform::Failed(classObject.QueryInterface(platform::kIID_IStoreNamespace, &raw)) || !raw) {
        ui.ShowMessage("Error creating IStoreNamespace.", kDemoErrorCaption, MessageIcon::Error);
        return result;
    }
    result.Reset(static_cast<platform::IStoreNamespace*>(raw));
    if (platform::Failed(result->Initialize(nullptr, 0))) {
        ui.ShowMessage("Error initializing IStoreNamespace.", kDemoErrorCaption, MessageIcon::Error);
        result.Reset();
    }
    return result;
}

std::string PrepareStoreFolder(platform::IStoreNamespace* storeNamespace,
                               const FolderRecord* record) {
    if (!record || record->ExpressFolderId == 0) return kNoFolderIdMessage;
    std::string missing = MissingMessageFileMessage(*record);
    if (!missing.empty()) return missing;
    if (storeNamespace) storeNamespace->SetStoreFolder(record->FullPath.c_str());
    return {};
}

int SaveMessageAttachments(platform::IMimeMessage* message, const std::string& prefix,
                           IMessageBox& ui, const std::string& caption) {
    platform::IMalloc* allocator = nullptr;
    if (platform::Failed(platform::SHGetMalloc(&allocator)) || !allocator) {
        ui.ShowMessage("Error: Can't get IMalloc Interface in extracting attachments!", kAppTitle,
                       MessageIcon::Error);
        return 0;
    }
    DWORD count = 0;
    platform::HBODY* bodies = nullptr;
    if (platform::Failed(message->GetAttachments(&count, &bodies))) {
        ui.ShowMessage("Error getting attachments.", caption, MessageIcon::Error);
        allocator->Release();
        return 0;
    }
    for (DWORD i = 0; i < count; ++i) {
        CStoreRef<platform::IMimeBody> body;
        void* raw = nullptr;
        if (platform::Failed(message->BindToObject(bodies[i], platform::kIID_IMimeBody, &raw)) || !raw)
            continue;
        body.Reset(static_cast<platform::IMimeBody*>(raw));
        char* display = nullptr;
        if (platform::Failed(body->GetDisplayName(&display)) || !display) continue;
        // "name (size)": the name ends one character before the last "(".
        std::string text = display;
        allocator->Free(display);
        std::size_t open = text.rfind('(');
        std::string name = open == std::string::npos || open == 0 ? std::string()
                                                                  : text.substr(0, open - 1);
        if (name.find("ATT") != std::string::npos || name.find(".txt") != std::string::npos)
            continue;
        // An empty name names the folder itself; a path would leave it.
        if (!IsPlainMessageFileName(name)) continue;
        body->SaveToFile(platform::kIET_BINARY, (prefix + FreeName(prefix, name)).c_str());
    }
    if (bodies) allocator->Free(bodies);
    allocator->Release();
    return static_cast<int>(count);
}

void ExtractStoreFolder(platform::IStoreNamespace* storeNamespace, DWORD folderId,
                        const std::string& destination, CProgressWindow& progress,
                        IMessageBox& ui) {
    CStoreRef<platform::IStoreFolder> folder;
    if (platform::Failed(storeNamespace->OpenFolder(folderId, 0, folder.Out())) || !folder) {
        ui.ShowMessage("Error opening folder.", kKestlErrorCaption, MessageIcon::Error);
        progress.Close();
        return;
    }
    progress.Open(Tr(res::TextId::ProgressTitle), true);
    platform::FOLDERPROPS props{};
    props.cbSize = sizeof props;
    if (platform::Failed(storeNamespace->GetFolderProps(folderId, 0, &props))) {
        ui.ShowMessage("Error getting Folder Properties.", kDemoErrorCaption, MessageIcon::Error);
        progress.Close();
        return;
    }
    int total = static_cast<int>(props.cMessage);
    progress.SetRange(0, total, 1);
    std::string folderName = props.szName;
    std::string prefix = destination;
    if (prefix.empty() || prefix.back() != '/') prefix += '/';

    CEnumeration enumeration(folder.Get());
    CMessageProps message(folder.Get());
    KHRESULT hr = folder->GetFirstMessage(0, 0, 0xFFFFFFFF, message.Get(), enumeration.Out());
    for (int k = 1; platform::Succeeded(hr) && hr != platform::kS_FALSE; ++k) {
        CStoreRef<platform::IMimeMessage> mime;
        void* raw = nullptr;
        if (platform::Failed(folder->OpenMessage((*message).dwMessageId, platform::kIID_IMimeMessage, &raw)) ||
            !raw) {
            ui.ShowMessage("Error opening message.", kKestlErrorCaption, MessageIcon::Error);
            break;
        }
        mime.Reset(static_cast<platform::IMimeMessage*>(raw));
        char count[48];
        std::snprintf(count, sizeof count, "(%d/%d)", k, total);
        progress.SetTitleLine(Tr(res::TextId::CurrentFolder, {folderName + count}));
        progress.SetStatusLine(Text((*message).pszSubject));
        SaveMessageAttachments(mime.Get(), prefix, ui, kKestlErrorCaption);
        mime.Reset();
        message.Free();
        *message.Get() = platform::MESSAGEPROPS{};
        message.Get()->cbSize = sizeof(platform::MESSAGEPROPS);
        hr = folder->GetNextMessage(enumeration.Get(), 0, message.Get());
        if (progress.PumpAndCheckCancel(true)) {
            ui.ShowMessage("Progress Cancelled");
            break;
        }
        progress.StepIt();
    }
    progress.Close();
}

bool COEMessageList::SetFolder(platform::IStoreNamespace* storeNamespace, DWORD folderId) {
    m_folder.Reset();
    if (!storeNamespace) return false;
    if (platform::Failed(storeNamespace->OpenFolder(folderId, 0, m_folder.Out())) || !m_folder) {
        m_folder.Reset();
        m_ui.ShowMessage("Error opening folder.", kDemoErrorCaption, MessageIcon::Error);
        return false;
    }
    platform::FOLDERPROPS props{};
    props.cbSize = sizeof props;
    if (platform::Failed(storeNamespace->GetFolderProps(folderId, 0, &props))) {
        m_ui.ShowMessage("Error getting Folder Properties.", kDemoErrorCaption, MessageIcon::Error);
        return false;
    }
    m_caption = std::string(props.szName) + " - Messages";
    return true;
}

std::vector<COEMessageList::Entry> COEMessageList::ListMessages() {
    std::vector<Entry> entries;
    if (!m_folder) return entries;
    CEnumeration enumeration(m_folder.Get());
    CMessageProps message(m_folder.Get());
    KHRESULT hr = m_folder->GetFirstMessage(0, 0, 0xFFFFFFFF, message.Get(), enumeration.Out());
    while (platform::Succeeded(hr) && hr != platform::kS_FALSE) {
        entries.push_back({Text((*message).pszDisplayFrom) + "      " +
                               Text((*message).pszNormalSubject),
                           (*message).dwMessageId});
        message.Free();
        *message.Get() = platform::MESSAGEPROPS{};
        message.Get()->cbSize = sizeof(platform::MESSAGEPROPS);
        hr = m_folder->GetNextMessage(enumeration.Get(), 0, message.Get());
    }
    return entries;
}

bool COEMessageList::MarkAsRead(DWORD id, bool read) {
    platform::MESSAGEIDLIST list{sizeof(platform::MESSAGEIDLIST), 1, &id};
    if (!m_folder || platform::Failed(m_folder->MarkMessagesAsRead(read, 0, &list))) {
        m_ui.ShowMessage("Error marking message.", kDemoErrorCaption, MessageIcon::Error);
        return false;
    }
    return true;
}

bool COEMessageList::Delete(DWORD id) {
    platform::MESSAGEIDLIST list{sizeof(platform::MESSAGEIDLIST), 1, &id};
    if (!m_folder || platform::Failed(m_folder->DeleteMessages(&list, 0, nullptr))) {
        m_ui.ShowMessage("Error deleting message.", kDemoErrorCaption, MessageIcon::Error);
        return false;
    }
    return true;
}

void COEMessageList::View(DWORD id) {
    void* raw = nullptr;
    if (!m_folder || platform::Failed(m_folder->OpenMessage(id, platform::kIID_IStream, &raw)) || !raw) {
        m_ui.ShowMessage("Error opening message.", kDemoErrorCaption, MessageIcon::Error);
        return;
    }
    static_cast<platform::IStream*>(raw)->Release();
}

bool COEMessageList::CopyOrMove(DWORD id, bool move) {
    if (!m_folder) return false;
    CMessageProps props(m_folder.Get());
    m_folder->GetMessageProps(id, 1, props.Get());
    return move;
}

bool COEMessageList::TestExtract(DWORD id, const std::string& folder) {
    void* raw = nullptr;
    if (!m_folder || platform::Failed(m_folder->OpenMessage(id, platform::kIID_IMimeMessage, &raw)) || !raw) {
        m_ui.ShowMessage("Error opening message.", kDemoErrorCaption, MessageIcon::Error);
        return false;
    }
    CStoreRef<platform::IMimeMessage> message(static_cast<platform::IMimeMessage*>(raw));
    // Our own folder, not one someone else made (or linked) there first.
    ::mkdir(folder.c_str(), 0700);
    struct stat st;
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        m_ui.ShowMessage(Tr(res::TextId::TestExtractUnusable, {folder}), kDemoErrorCaption,
                         MessageIcon::Error);
        return false;
    }
    SaveMessageAttachments(message.Get(), folder + "/", m_ui, kDemoErrorCaption);
    return true;
}

std::string TestExtractFolder() {
    return platform::GetTempFolder() + "/kestrel-test-extract-" + std::to_string(geteuid());
}
