#include "store/PstProperties.h"

#include <cstring>

#include "platform/HeaderText.h"
#include "platform/Text.h"
#include "platform/Utf8.h"

namespace pst {

std::optional<Prop> ReadProp(libpff_item_t* item, std::uint32_t tag, int set) {
    libpff_record_set_t* records = nullptr;
    if (libpff_item_get_record_set_by_index(item, set, &records, nullptr) != 1) return {};
    libpff_record_entry_t* entry = nullptr;
    std::optional<Prop> prop;
    if (libpff_record_set_get_entry_by_type(records, tag, 0, &entry,
                                            LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE,
                                            nullptr) == 1) {
        Prop value;
        size_t size = 0;
        if (libpff_record_entry_get_value_type(entry, &value.type, nullptr) == 1 &&
            libpff_record_entry_get_data_size(entry, &size, nullptr) == 1) {
            value.data.resize(size);
            if (size == 0 || libpff_record_entry_get_data(
                                 entry, reinterpret_cast<uint8_t*>(value.data.data()), size,
                                 nullptr) == 1)
                prop = std::move(value);
        }
        libpff_record_entry_free(&entry, nullptr);
    }
    libpff_record_set_free(&records, nullptr);
    return prop;
}

std::optional<std::uint32_t> ReadInt32(libpff_item_t* item, std::uint32_t tag, int set) {
    std::optional<Prop> prop = ReadProp(item, tag, set);
    if (!prop || prop->type != kTypeInt32 || prop->data.size() < 4) return {};
    const auto* b = reinterpret_cast<const unsigned char*>(prop->data.data());
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

std::optional<std::time_t> ReadTime(libpff_item_t* item, std::uint32_t tag) {
    std::optional<Prop> prop = ReadProp(item, tag);
    if (!prop || prop->type != kTypeTime || prop->data.size() < 8) return {};
    std::uint64_t ft = 0;
    for (int i = 7; i >= 0; --i) ft = (ft << 8) | static_cast<unsigned char>(prop->data[i]);
    constexpr std::uint64_t kEpochDelta = 116444736000000000ULL; // 1601 to 1970 in 100 ns
    if (ft < kEpochDelta) return {};
    return static_cast<std::time_t>((ft - kEpochDelta) / 10000000ULL);
}

std::string StripNuls(std::string s) {
    while (!s.empty() && s.back() == '\0') s.pop_back();
    return s;
}

std::string Utf16LeToUtf8(const std::string& bytes) {
    std::u16string text(bytes.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return platform::FromUtf16(text);
}

// A string property as UTF-8: Unicode strings as they are, 8-bit ones in the code page.
std::string ReadText(libpff_item_t* item, std::uint32_t tag, unsigned codePage, int set) {
    std::optional<Prop> prop = ReadProp(item, tag, set);
    if (!prop) return {};
    if (prop->type == kTypeUnicode) return Utf16LeToUtf8(prop->data);
    if (prop->type == kTypeAnsi) return CodePageToUtf8(StripNuls(prop->data), codePage);
    return {};
}

std::string CharsetOf(unsigned codePage) {
    switch (codePage) {
    case 65001: return "UTF-8";
    case 20127: return "US-ASCII";
    case 50220: case 50221: case 50222: return "ISO-2022-JP";
    case 51932: return "EUC-JP";
    case 51949: return "EUC-KR";
    case 936: return "GBK";
    case 950: return "BIG5";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 28605: return "ISO-8859-15";
    default: break;
    }
    if (codePage >= 28591 && codePage <= 28599) return "ISO-8859-" + std::to_string(codePage - 28590);
    return "CP" + std::to_string(codePage);
}

// The Windows code page an 8-bit string of a message is stored in, from the code page the mail
// came in (a Japanese mail arrives as ISO-2022-JP and is stored as Shift JIS).
unsigned StorageCodePage(unsigned codePage) {
    switch (codePage) {
    case 50220: case 50221: case 50222: case 51932: return 932;
    case 51936: case 52936: case 54936: return 936;
    case 51949: case 50225: return 949;
    case 20127: return 1252;
    default: return codePage;
    }
}

unsigned MessageCodePage(libpff_item_t* message, unsigned fallback) {
    if (std::optional<std::uint32_t> cp = ReadInt32(message, kMessageCodePage)) return *cp;
    if (std::optional<std::uint32_t> cp = ReadInt32(message, kInternetCodePage))
        return StorageCodePage(*cp);
    return fallback;
}

bool IsMail(libpff_item_t* item) {
    uint8_t type = 0;
    if (libpff_item_get_type(item, &type, nullptr) != 1) return false;
    switch (type) {
    case LIBPFF_ITEM_TYPE_EMAIL:
    case LIBPFF_ITEM_TYPE_EMAIL_SMIME:
    case LIBPFF_ITEM_TYPE_FAX:
    case LIBPFF_ITEM_TYPE_MEETING:
    case LIBPFF_ITEM_TYPE_MMS:
    case LIBPFF_ITEM_TYPE_POSTING_NOTE:
    case LIBPFF_ITEM_TYPE_RSS_FEED:
    case LIBPFF_ITEM_TYPE_SHARING:
    case LIBPFF_ITEM_TYPE_SMS:
    case LIBPFF_ITEM_TYPE_VOICEMAIL:
    case LIBPFF_ITEM_TYPE_CONFLICT_MESSAGE:
    case LIBPFF_ITEM_TYPE_COMMON:
        return true;
    default:
        return false;
    }
}

// Whether a message class names mail, as the library's item types do (IsMail): 1 mail, 0 not,
// -1 for a class it does not list, whose item has to be asked.
int MailClass(const std::string& messageClass) {
    const std::string c = platform::ToLower(messageClass);
    auto is = [&](const char* prefix) {
        const size_t n = std::strlen(prefix);
        return c.compare(0, n, prefix) == 0 && (c.size() == n || c[n] == '.');
    };
    if (c == "ipm") return 1;
    for (const char* mail : {"ipm.note", "report.ipm.note", "ipm.fax", "ipm.schedule.meeting",
                             "ipm.post", "ipm.sharing", "ipm.conflict.message"})
        if (is(mail)) return 1;
    for (const char* other : {"ipm.activity", "ipm.appointment", "ipm.configuration",
                              "ipm.contact", "ipm.distlist", "ipm.document", "ipm.stickynote",
                              "ipm.task", "ipm.taskrequest"})
        if (is(other)) return 0;
    return -1;
}

// The node id an entry id names (its last four bytes).
std::uint32_t EntryIdNode(const std::string& entryId) {
    if (entryId.size() < 24) return 0;
    const auto* b = reinterpret_cast<const unsigned char*>(entryId.data() + entryId.size() - 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t(b[3]) << 24);
}

} // namespace pst

std::string CodePageToUtf8(const std::string& bytes, unsigned codePage) {
    return platform::IconvToUtf8(bytes, pst::CharsetOf(codePage));
}
