#pragma once
// The interfaces of a mail store kept as .dbx files, as a store component publishes them: the
// namespace and its folders, and the messages and parts they open. Objects are reference
// counted; results are HRESULT codes (platform/Com.h). Memory a component hands out (texts,
// arrays) comes from the shell allocator and goes back to it.
//
// A component answers its class object's QueryInterface (platform/ComAbi.h) for
// kIID_IStoreNamespace with a pointer to an IStoreNamespace rather than a KComObject.
#include <cstdint>

#include "platform/ComAbi.h"

namespace platform {

using DWORD = std::uint32_t;

inline constexpr KHRESULT kS_FALSE = 1;
// What a read-only store answers to a change.
inline constexpr KHRESULT kSTG_E_ACCESSDENIED = static_cast<KHRESULT>(0x80030005);

inline constexpr const char* kCLSID_StoreNamespace = "{E70C92A9-4BFD-11D1-8A95-00C04FB951F3}";
inline constexpr const char* kIID_IStoreNamespace = "{E70C92AA-4BFD-11D1-8A95-00C04FB951F3}";
inline constexpr const char* kIID_IMimeMessage = "{FD853CD5-7F86-11D0-8252-00C04FD85AB4}";
inline constexpr const char* kIID_IMimeBody = "{C558834C-7F86-11D0-8252-00C04FD85AB4}";
inline constexpr const char* kIID_IStream = "{0000000C-0000-0000-C000-000000000046}";

inline constexpr int kCchMaxFolderName = 256;

struct FOLDERPROPS {
    DWORD cbSize;
    DWORD dwFolderId;
    std::int32_t cSubFolders;
    DWORD sfType;
    DWORD cUnread;
    DWORD cMessage;
    char szName[kCchMaxFolderName]; // UTF-8
};
static_assert(sizeof(FOLDERPROPS) == 280);

struct MESSAGEPROPS {
    DWORD cbSize;
    DWORD dwMessageId;
    DWORD cbMessage;
    std::uint64_t ftReceived; // FILETIME
    char* pszSubject;         // UTF-8, from the shell allocator
    char* pszDisplayFrom;
    char* pszNormalSubject;
};

struct MESSAGEIDLIST {
    DWORD cbSize;
    DWORD cMsgs;
    DWORD* prgdwMsgId;
};

using HENUMSTORE = void*;
using HBODY = void*;
// Encodings of IMimeBody::SaveToFile; binary is the decoded content.
inline constexpr int kIET_BINARY = 0;

struct IStoreUnknown {
    virtual KHRESULT QueryInterface(const char* iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IStoreUnknown() = default;
};

struct IStream : IStoreUnknown {
    // S_OK with *read < size at the end.
    virtual KHRESULT Read(void* buffer, DWORD size, DWORD* read) = 0;

protected:
    ~IStream() = default;
};

struct IMimeBody : IStoreUnknown {
    // "name (size)", from the shell allocator.
    virtual KHRESULT GetDisplayName(char** name) = 0;
    virtual KHRESULT SaveToFile(int encoding, const char* path) = 0;

protected:
    ~IMimeBody() = default;
};

struct IMimeMessage : IStoreUnknown {
    // The attachment parts; the array comes from the shell allocator (none when count is 0).
    virtual KHRESULT GetAttachments(DWORD* count, HBODY** bodies) = 0;
    virtual KHRESULT BindToObject(HBODY body, const char* iid, void** out) = 0;

protected:
    ~IMimeMessage() = default;
};

struct IStoreFolder : IStoreUnknown {
    virtual KHRESULT GetFolderProps(DWORD flags, FOLDERPROPS* props) = 0;
    virtual KHRESULT GetMessageProps(DWORD messageId, DWORD flags, MESSAGEPROPS* props) = 0;
    virtual KHRESULT FreeMessageProps(MESSAGEPROPS* props) = 0;
    virtual KHRESULT DeleteMessages(MESSAGEIDLIST* ids, DWORD reserved, void* progress) = 0;
    virtual KHRESULT MarkMessagesAsRead(bool read, DWORD reserved, MESSAGEIDLIST* ids) = 0;
    virtual KHRESULT OpenMessage(DWORD messageId, const char* iid, void** out) = 0;
    // S_FALSE when there is no (further) message. firstId 0xFFFFFFFF: from the first.
    virtual KHRESULT GetFirstMessage(DWORD flags, DWORD mask, DWORD firstId, MESSAGEPROPS* props,
                                     HENUMSTORE* handle) = 0;
    virtual KHRESULT GetNextMessage(HENUMSTORE handle, DWORD flags, MESSAGEPROPS* props) = 0;
    virtual KHRESULT GetMessageClose(HENUMSTORE handle) = 0;

protected:
    ~IStoreFolder() = default;
};

struct IStoreNamespace : IStoreUnknown {
    virtual KHRESULT Initialize(void* owner, DWORD reserved) = 0;
    // The store folder (holding the folder file) the namespace answers for; set before
    // OpenFolder and GetFolderProps, as one namespace may serve several stores in turn.
    virtual KHRESULT SetStoreFolder(const char* folder) = 0;
    virtual KHRESULT OpenFolder(DWORD folderId, DWORD flags, IStoreFolder** folder) = 0;
    virtual KHRESULT GetFolderProps(DWORD folderId, DWORD flags, FOLDERPROPS* props) = 0;

protected:
    ~IStoreNamespace() = default;
};

// The shell allocator.
struct IMalloc {
    virtual void* Alloc(std::size_t size) = 0;
    virtual void Free(void* block) = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IMalloc() = default;
};
KHRESULT SHGetMalloc(IMalloc** out);
void* CoTaskMemAlloc(std::size_t size);
void CoTaskMemFree(void* block);
// A copy of text from the shell allocator; null when out of memory.
char* CoTaskStrDup(const char* text);

} // namespace platform
