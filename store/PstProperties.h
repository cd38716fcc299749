#pragma once
// Reading the properties of an Outlook data file's items through libpff: the tags the reader and
// the MIME writer use, item handles, typed property reads and the code pages of 8-bit text.
#include <libpff.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

// Text stored in an 8-bit file, in the Windows code page, as UTF-8; bytes the code page cannot
// read are read as windows-1252.
std::string CodePageToUtf8(const std::string& bytes, unsigned codePage);

namespace pst {

// Property tags (the entry type; the value type is read from the entry).
enum : std::uint32_t {
    kSubject = 0x0037,
    kClientSubmitTime = 0x0039,
    kSentRepresentingName = 0x0042,
    kSentRepresentingEmail = 0x0065,
    kTransportHeaders = 0x007D,
    kSenderAddressType = 0x0C1E,
    kSenderName = 0x0C1A,
    kSenderEmail = 0x0C1F,
    kRecipientType = 0x0C15,
    kDeliveryTime = 0x0E06,
    kPlainBody = 0x1000,
    kHtmlBody = 0x1013,
    kMessageId = 0x1035,
    kInReplyTo = 0x1042,
    kDisplayName = 0x3001,
    kAddressType = 0x3002,
    kEmailAddress = 0x3003,
    kCreationTime = 0x3007,
    kModificationTime = 0x3008,
    kMessageSize = 0x0E08,
    kRecordKey = 0x0FF9,
    kIpmSubtreeEntryId = 0x35E0,
    kFolderType = 0x3601,
    kAttachFileName = 0x3704,
    kAttachLongFileName = 0x3707,
    kAttachMimeTag = 0x370E,
    kAttachContentId = 0x3712,
    kSmtpAddress = 0x39FE,
    kMessageClass = 0x001A,
    kRowId = 0x67F2,
    kInternetCodePage = 0x3FDE,
    kMessageCodePage = 0x3FFD,
    kSenderSmtpAddress = 0x5D01,
    kSentRepresentingSmtpAddress = 0x5D02,
};

enum : std::uint32_t { kTypeInt32 = 0x0003, kTypeAnsi = 0x001E, kTypeUnicode = 0x001F,
                       kTypeTime = 0x0040, kTypeBinary = 0x0102 };


struct Prop {
    std::uint32_t type = 0;
    std::string data;
};

inline libpff_item_t* Item(void* p) {
    return static_cast<libpff_item_t*>(p);
}

// An item handle freed when it goes.
class ItemRef {
public:
    ItemRef() = default;
    explicit ItemRef(libpff_item_t* item) : m_item(item) {}
    ~ItemRef() { Reset(); }
    ItemRef(const ItemRef&) = delete;
    ItemRef& operator=(const ItemRef&) = delete;
    libpff_item_t* get() const { return m_item; }
    libpff_item_t** out() {
        Reset();
        return &m_item;
    }
    void Reset(libpff_item_t* item = nullptr) {
        if (m_item) libpff_item_free(&m_item, nullptr);
        m_item = item;
    }
    libpff_item_t* Release() {
        libpff_item_t* item = m_item;
        m_item = nullptr;
        return item;
    }
    explicit operator bool() const { return m_item != nullptr; }

private:
    libpff_item_t* m_item = nullptr;
};

std::optional<Prop> ReadProp(libpff_item_t* item, std::uint32_t tag, int set = 0);
std::optional<std::uint32_t> ReadInt32(libpff_item_t* item, std::uint32_t tag, int set = 0);
std::optional<std::time_t> ReadTime(libpff_item_t* item, std::uint32_t tag);
std::string StripNuls(std::string s);
std::string Utf16LeToUtf8(const std::string& bytes);
std::string ReadText(libpff_item_t* item, std::uint32_t tag, unsigned codePage, int set = 0);
std::string CharsetOf(unsigned codePage);
unsigned StorageCodePage(unsigned codePage);
unsigned MessageCodePage(libpff_item_t* message, unsigned fallback);
bool IsMail(libpff_item_t* item);
int MailClass(const std::string& messageClass);
std::uint32_t EntryIdNode(const std::string& entryId);

} // namespace pst
