#include "components/oestore/StoreNamespace.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "components/oestore/MimeMessage.h"
#include "components/oestore/RefCounted.h"
#include "oe/DbxReader.h"
#include "oe/ExpressFolders.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"

namespace oestore {

namespace {

using platform::DWORD;

// The subject without the reply and forward prefixes a mail program puts before it.
std::string NormalSubject(std::string s) {
    for (bool again = true; again;) {
        again = false;
        for (const char* prefix : {"re:", "fw:", "fwd:"}) {
            std::size_t n = std::strlen(prefix);
            if (s.size() >= n && strncasecmp(s.c_str(), prefix, n) == 0) {
                s.erase(0, n);
                s.erase(0, s.find_first_not_of(' '));
                again = true;
            }
        }
    }
    return s;
}

struct StoredMessage {
    DWORD id = 0;
    std::int32_t index = 0;
    std::string subject, from;
    std::uint64_t date = 0;
};

class CStoreFolder : public CRefCounted<platform::IStoreFolder> {
public:
    CStoreFolder(const ExpressFolder& folder, std::unique_ptr<CDbxStoreFile> file)
        : m_folder(folder), m_file(std::move(file)) {
        if (!m_file) return;
        for (std::int32_t i = 0; i < m_file->GetItemCount(); ++i) {
            std::unique_ptr<CDbxItem> item = m_file->GetItem(i, 0).Take();
            auto* message = dynamic_cast<CDbxMessage*>(item.get());
            if (!message) continue;
            StoredMessage m;
            m.id = static_cast<DWORD>(i) + 1; // 0 is no message
            m.index = i;
            m.subject = message->GetSubject();
            m.from = message->GetSenderName().empty() ? message->GetSender() : message->GetSenderName();
            m.date = message->GetDate();
            m_messages.push_back(std::move(m));
        }
    }

    KHRESULT GetFolderProps(DWORD, platform::FOLDERPROPS* props) override {
        return FillFolderProps(m_folder, static_cast<DWORD>(m_messages.size()), props);
    }

    KHRESULT GetMessageProps(DWORD messageId, DWORD, platform::MESSAGEPROPS* props) override {
        const StoredMessage* m = Find(messageId);
        return m ? Fill(*m, props) : platform::kE_INVALIDARG;
    }

    KHRESULT FreeMessageProps(platform::MESSAGEPROPS* props) override {
        if (!props) return platform::kE_POINTER;
        platform::CoTaskMemFree(props->pszSubject);
        platform::CoTaskMemFree(props->pszDisplayFrom);
        platform::CoTaskMemFree(props->pszNormalSubject);
        props->pszSubject = props->pszDisplayFrom = props->pszNormalSubject = nullptr;
        return platform::kS_OK;
    }

    // The store is the only copy of someone's old mail: it is never changed.
    KHRESULT DeleteMessages(platform::MESSAGEIDLIST*, DWORD, void*) override {
        return platform::kSTG_E_ACCESSDENIED;
    }
    KHRESULT MarkMessagesAsRead(bool, DWORD, platform::MESSAGEIDLIST*) override {
        return platform::kSTG_E_ACCESSDENIED;
    }

    KHRESULT OpenMessage(DWORD messageId, const char* iid, void** out) override {
        if (!out) return platform::kE_POINTER;
        *out = nullptr;
        const StoredMessage* m = Find(messageId);
        if (!m || !iid) return platform::kE_INVALIDARG;
        bool mime = std::strcmp(iid, platform::kIID_IMimeMessage) == 0;
        if (!mime && std::strcmp(iid, platform::kIID_IStream) != 0) return platform::kE_NOINTERFACE;
        int fd = MessageTextFile(*m);
        if (fd < 0) return platform::kE_FAIL;
        if (mime) {
            platform::IMimeMessage* message = OpenMimeMessage(fd);
            if (!message) return platform::kE_FAIL;
            *out = message;
        } else {
            *out = OpenMessageStream(fd);
        }
        return platform::kS_OK;
    }

    KHRESULT GetFirstMessage(DWORD, DWORD, DWORD firstId, platform::MESSAGEPROPS* props,
                             platform::HENUMSTORE* handle) override {
        if (!props || !handle) return platform::kE_POINTER;
        *handle = nullptr;
        std::size_t at = 0;
        if (firstId != 0xFFFFFFFF && firstId != 0) {
            while (at < m_messages.size() && m_messages[at].id != firstId) ++at;
        }
        if (at >= m_messages.size()) return platform::kS_FALSE;
        KHRESULT hr = Fill(m_messages[at], props);
        if (hr < 0) return hr;
        *handle = new std::size_t(at + 1);
        return platform::kS_OK;
    }

    KHRESULT GetNextMessage(platform::HENUMSTORE handle, DWORD, platform::MESSAGEPROPS* props) override {
        if (!handle || !props) return platform::kE_POINTER;
        auto* next = static_cast<std::size_t*>(handle);
        if (*next >= m_messages.size()) return platform::kS_FALSE;
        return Fill(m_messages[(*next)++], props);
    }

    KHRESULT GetMessageClose(platform::HENUMSTORE handle) override {
        delete static_cast<std::size_t*>(handle);
        return platform::kS_OK;
    }

    static KHRESULT FillFolderProps(const ExpressFolder& folder, DWORD count,
                                    platform::FOLDERPROPS* props) {
        if (!props) return platform::kE_POINTER;
        if (props->cbSize != sizeof(platform::FOLDERPROPS)) return platform::kE_INVALIDARG;
        props->dwFolderId = folder.id;
        props->cSubFolders = 0;
        props->sfType = 0;
        props->cUnread = 0;
        props->cMessage = count;
        // Cut on a character boundary so the name stays valid UTF-8.
        std::size_t n = std::min<std::size_t>(folder.name.size(), platform::kCchMaxFolderName - 1);
        while (n > 0 && n < folder.name.size() && (folder.name[n] & 0xC0) == 0x80) --n;
        std::memcpy(props->szName, folder.name.data(), n);
        props->szName[n] = '\0';
        return platform::kS_OK;
    }

protected:
    const char* InterfaceId() const override { return "IStoreFolder"; }

private:
    const StoredMessage* Find(DWORD id) const {
        for (const StoredMessage& m : m_messages)
            if (m.id == id) return &m;
        return nullptr;
    }

    KHRESULT Fill(const StoredMessage& m, platform::MESSAGEPROPS* props) {
        if (!props) return platform::kE_POINTER;
        if (props->cbSize != sizeof(platform::MESSAGEPROPS)) return platform::kE_INVALIDARG;
        props->dwMessageId = m.id;
        props->cbMessage = 0;
        props->ftReceived = m.date;
        props->pszSubject = platform::CoTaskStrDup(m.subject.c_str());
        props->pszDisplayFrom = platform::CoTaskStrDup(m.from.c_str());
        props->pszNormalSubject = platform::CoTaskStrDup(NormalSubject(m.subject).c_str());
        if (!props->pszSubject || !props->pszDisplayFrom || !props->pszNormalSubject) {
            FreeMessageProps(props);
            return platform::kE_OUTOFMEMORY;
        }
        return platform::kS_OK;
    }

    // The message's text in an unnamed temporary file, read from its start; -1 on failure.
    int MessageTextFile(const StoredMessage& m) {
        std::unique_ptr<CDbxItem> item = m_file->GetItem(m.index, 0).Take();
        auto* message = dynamic_cast<CDbxMessage*>(item.get());
        if (!message) return -1;
        std::string pattern = platform::GetTempFolder() + "/TAKXXXXXX";
        int fd = mkstemp(pattern.data());
        if (fd < 0) return -1;
        ::unlink(pattern.c_str());
        if (m_file->WriteMessageText(*message, fd) != MailTextWrite::Written ||
            ::lseek(fd, 0, SEEK_SET) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    }

    ExpressFolder m_folder;
    std::unique_ptr<CDbxStoreFile> m_file;
    std::vector<StoredMessage> m_messages;
};

class CStoreNamespace : public CRefCounted<platform::IStoreNamespace> {
public:
    KHRESULT Initialize(void*, DWORD) override {
        m_initialized = true;
        return platform::kS_OK;
    }
    KHRESULT SetStoreFolder(const char* folder) override {
        if (!folder) return platform::kE_POINTER;
        m_storeFolder = folder;
        return platform::kS_OK;
    }

    KHRESULT OpenFolder(DWORD folderId, DWORD, platform::IStoreFolder** out) override {
        if (!out) return platform::kE_POINTER;
        *out = nullptr;
        ExpressFolder folder;
        if (!FindFolder(folderId, folder)) return platform::kE_INVALIDARG;
        std::unique_ptr<CDbxStoreFile> file;
        // A container holds no messages; a folder's message file must open as one.
        if (!folder.messageFile.empty()) {
            if (!IsPlainMessageFileName(folder.messageFile)) return platform::kE_INVALIDARG;
            file = std::make_unique<CDbxStoreFile>();
            if (!file->Open(platform::JoinPath(m_storeFolder, folder.messageFile)) ||
                file->GetKind() != 0)
                return platform::kE_FAIL;
        }
        *out = new CStoreFolder(folder, std::move(file));
        return platform::kS_OK;
    }

    KHRESULT GetFolderProps(DWORD folderId, DWORD, platform::FOLDERPROPS* props) override {
        ExpressFolder folder;
        if (!FindFolder(folderId, folder)) return platform::kE_INVALIDARG;
        DWORD count = 0;
        if (!folder.messageFile.empty() && IsPlainMessageFileName(folder.messageFile)) {
            CDbxStoreFile file;
            if (file.Open(platform::JoinPath(m_storeFolder, folder.messageFile)) &&
                file.GetKind() == 0)
                count = static_cast<DWORD>(file.GetItemCount());
        }
        return CStoreFolder::FillFolderProps(folder, count, props);
    }

protected:
    const char* InterfaceId() const override { return platform::kIID_IStoreNamespace; }

private:
    bool FindFolder(DWORD id, ExpressFolder& out) {
        if (!m_initialized || m_storeFolder.empty()) return false;
        platform::Result<std::vector<ExpressFolder>> folders =
            ReadExpressFolders(platform::JoinPath(m_storeFolder, kExpressFolderFileName));
        if (!folders) return false;
        for (const ExpressFolder& f : folders.Value()) {
            if (f.id == id) {
                out = f;
                return true;
            }
        }
        return false;
    }

    bool m_initialized = false;
    std::string m_storeFolder;
};

} // namespace

platform::IStoreNamespace* NewStoreNamespace() {
    return new CStoreNamespace();
}

} // namespace oestore
