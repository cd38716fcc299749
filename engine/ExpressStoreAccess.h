#pragma once
// The folders and messages of a store kept as .dbx files, reached through the store
// component's interfaces: extracting a folder's attachments, and what the message dialog does.
// Messages go to the user through IMessageBox with the captions the commands use.
#include <string>
#include <vector>

#include "platform/StoreInterfaces.h"

class CProgressWindow;
class IMessageBox;
struct FolderRecord;

inline constexpr const char* kKestlErrorCaption = "KESTL Error";
inline constexpr const char* kDemoErrorCaption = "Demo Error";

// An owned reference to one of the component's interfaces.
template <typename I> class CStoreRef {
public:
    CStoreRef() = default;
    explicit CStoreRef(I* p) : m_p(p) {}
    CStoreRef(const CStoreRef&) = delete;
    CStoreRef& operator=(const CStoreRef&) = delete;
    CStoreRef(CStoreRef&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    CStoreRef& operator=(CStoreRef&& o) noexcept {
        if (this != &o) Reset(o.m_p), o.m_p = nullptr;
        return *this;
    }
    ~CStoreRef() { Reset(); }
    void Reset(I* p = nullptr) {
        if (m_p) m_p->Release();
        m_p = p;
    }
    I* Get() const { return m_p; }
    I* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    I** Out() {
        Reset();
        return &m_p;
    }

private:
    I* m_p = nullptr;
};

// Creates the store namespace and initialises it. Failures are said ("Error creating
// IStoreNamespace.", "Error initializing IStoreNamespace.", caption "Demo Error") and give none.
CStoreRef<platform::IStoreNamespace> CreateStoreNamespace(IMessageBox& ui);

// Why a command cannot use the folder record (none, a container, a missing message file); the
// namespace is pointed at the record's store when it can. Empty when it can.
std::string PrepareStoreFolder(platform::IStoreNamespace* storeNamespace,
                               const FolderRecord* record);

// Saves the attachments of one message into the folder prefix (ending in "/") under the part's
// display name cut before " (": names holding "ATT" or ".txt" are skipped, and so is a name that
// is empty or would leave the folder; a file already there is kept and the part gets a free
// name beside it. Returns the number of attachment parts.
int SaveMessageAttachments(platform::IMimeMessage* message, const std::string& prefix,
                           IMessageBox& ui, const std::string& caption);

// Command 32794 after the question: every message of the folder, with progress and cancel.
void ExtractStoreFolder(platform::IStoreNamespace* storeNamespace, platform::DWORD folderId,
                        const std::string& destination, CProgressWindow& progress,
                        IMessageBox& ui);

// The message dialog's list and buttons, on the folder it opened.
class COEMessageList {
public:
    struct Entry {
        std::string text; // sender, six blanks, normalised subject
        platform::DWORD id;
    };

    explicit COEMessageList(IMessageBox& ui) : m_ui(ui) {}
    // Opens the folder; the caption becomes its name + " - Messages". False after a message.
    bool SetFolder(platform::IStoreNamespace* storeNamespace, platform::DWORD folderId);
    const std::string& GetCaption() const { return m_caption; }
    bool HasFolder() const { return static_cast<bool>(m_folder); }
    // The folder's messages in enumeration order (the list box sorts them).
    std::vector<Entry> ListMessages();

    // The buttons, for the selected entry's message id. True when the list should be filled
    // again (Delete and Move after success).
    bool MarkAsRead(platform::DWORD id, bool read);
    bool Delete(platform::DWORD id);
    void View(platform::DWORD id);
    bool CopyOrMove(platform::DWORD id, bool move);
    // Saves the message's attachments into folder (created when missing); false when it
    // could not open the message.
    bool TestExtract(platform::DWORD id, const std::string& folder);

private:
    IMessageBox& m_ui;
    CStoreRef<platform::IStoreFolder> m_folder;
    std::string m_caption;
};

// Where TEST EXTRACT writes: a folder of ours under the temporary folder.
std::string TestExtractFolder();
