#include "components/extractor/Tnef.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "components/extractor/ContentWriter.h"
#include "components/extractor/GMimeHeaderText.h"
#include "platform/FileHandle.h"
#include "platform/Text.h"

namespace extractor {

namespace {

constexpr std::uint32_t kSignature = 0x223E9F78;
constexpr int kMaxNesting = 8; // attached messages inside attached messages

// Attributes: the level byte, then the attribute's id and type in one word.
constexpr std::uint8_t kMessageLevel = 1, kAttachmentLevel = 2;
constexpr std::uint32_t kOemCodepage = 0x00069007;
constexpr std::uint32_t kAttachRendData = 0x00069002; // begins each attachment
constexpr std::uint32_t kAttachTitle = 0x00018010;
constexpr std::uint32_t kAttachData = 0x0006800F;
constexpr std::uint32_t kAttachCreateDate = 0x00038012;
constexpr std::uint32_t kAttachModifyDate = 0x00038013;
constexpr std::uint32_t kAttachProperties = 0x00069005;

// Property ids and types of an attachment's property list.
constexpr std::uint16_t kPropDisplayName = 0x3001, kPropCreationTime = 0x3007,
                        kPropModificationTime = 0x3008, kPropDataObject = 0x3701,
                        kPropFileName = 0x3704, kPropMethod = 0x3705, kPropLongFileName = 0x3707;
constexpr std::uint16_t kTypeLong = 0x0003, kTypeString8 = 0x001E, kTypeUnicode = 0x001F,
                        kTypeBinary = 0x0102, kTypeObject = 0x000D, kTypeSysTime = 0x0040,
                        kMultiValued = 0x1000;
constexpr std::uint32_t kMethodEmbeddedMessage = 5, kMethodOle = 6;

// Bounds-checked little-endian reading of a byte range.
class Reader {
public:
    explicit Reader(std::string_view data) : m_data(data) {}
    size_t Left() const { return m_data.size() - m_at; }
    bool Skip(size_t n) {
        if (n > Left()) return false;
        m_at += n;
        return true;
    }
    bool Bytes(size_t n, std::string_view& out) {
        if (n > Left()) return false;
        out = m_data.substr(m_at, n);
        m_at += n;
        return true;
    }
    template <typename T> bool Number(T& out) {
        if (sizeof(T) > Left()) return false;
        std::uint64_t v = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            v |= std::uint64_t(static_cast<unsigned char>(m_data[m_at + i])) << (8 * i);
        out = static_cast<T>(v);
        m_at += sizeof(T);
        return true;
    }
    // A value padded to a multiple of four bytes.
    bool Padded(size_t n, std::string_view& out) {
        return Bytes(n, out) && Skip(std::min<size_t>((4 - n % 4) % 4, Left()));
    }

private:
    std::string_view m_data;
    size_t m_at = 0;
};

std::uint32_t Word32(std::string_view b) {
    std::uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < b.size(); ++i)
        v |= std::uint32_t(static_cast<unsigned char>(b[i])) << (8 * i);
    return v;
}

std::optional<std::int64_t> DaysFromCivil(int y, int m, int d) {
    if (y < 1601 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return std::nullopt;
    y -= m <= 2;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return std::int64_t(era) * 146097 + doe - 719468;
}

// A date attribute: year, month, day, hour, minute, second, weekday as 16-bit words, the
// sender's wall-clock time.
std::optional<std::int64_t> WallClockDate(std::string_view b, long utcOffset) {
    if (b.size() < 12) return std::nullopt;
    int v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = static_cast<unsigned char>(b[2 * i]) | static_cast<unsigned char>(b[2 * i + 1]) << 8;
    std::optional<std::int64_t> days = DaysFromCivil(v[0], v[1], v[2]);
    if (!days || v[3] > 23 || v[4] > 59 || v[5] > 60) return std::nullopt;
    return *days * 86400 + v[3] * 3600 + v[4] * 60 + v[5] - utcOffset;
}

// A property time: 100-nanosecond ticks since 1601 (UTC).
std::optional<std::int64_t> PropertyTime(std::string_view b) {
    std::uint64_t ticks = 0;
    Reader r(b);
    if (!r.Number(ticks) || ticks == 0 || ticks > 2650467743990000000ULL) return std::nullopt;
    return static_cast<std::int64_t>(ticks / 10000000) - 11644473600LL;
}

// UTF-16LE as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view b) {
    std::string out;
    auto unit = [&](size_t i) {
        return static_cast<unsigned>(static_cast<unsigned char>(b[i]) |
                                     static_cast<unsigned char>(b[i + 1]) << 8);
    };
    for (size_t i = 0; i + 1 < b.size(); i += 2) {
        unsigned c = unit(i);
        if (c == 0) break;
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < b.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        char buf[6];
        out.append(buf, g_unichar_to_utf8(c, buf));
    }
    return out;
}

// 8-bit text in the stream's code page, up to its terminating NUL.
std::string EightBitText(std::string_view b, const std::string& charset) {
    size_t nul = b.find('\0');
    if (nul != std::string_view::npos) b = b.substr(0, nul);
    return CharsetToUtf8(b, charset);
}

// One attachment as the stream describes it, before it is known to be a file.
struct Attachment {
    std::string title;
    std::optional<std::string_view> data;
    std::optional<std::int64_t> created, modified; // from the date attributes
    std::string_view properties;
};

// The properties of an attachment's property list that tell its name, bytes, kind and dates.
struct AttachmentProperties {
    std::string longName, fileName, displayName;
    std::optional<std::string_view> dataBinary, dataObject;
    std::uint32_t method = 0;
    std::optional<std::int64_t> created, modified;
};

bool IsVariableType(std::uint16_t type) {
    return type == kTypeString8 || type == kTypeUnicode || type == kTypeBinary ||
           type == kTypeObject;
}

// The size of a fixed-size property type; 0 for a type this reader does not know.
size_t FixedSize(std::uint16_t type) {
    switch (type) {
    case 0x0002: // 16-bit integer, padded
    case 0x0003: // 32-bit integer
    case 0x0004: // float
    case 0x000A: // error code
    case 0x000B: // boolean, padded
        return 4;
    case 0x0005: // double
    case 0x0006: // currency
    case 0x0007: // application time
    case 0x0014: // 64-bit integer
    case 0x0040: // time
        return 8;
    case 0x0048: // GUID
        return 16;
    default:
        return 0;
    }
}

bool ReadProperties(std::string_view block, const std::string& charset, AttachmentProperties& props,
                    std::string& reason) {
    Reader r(block);
    std::uint32_t count = 0;
    if (!r.Number(count)) {
        reason = "an attachment's property list is cut short";
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t tag = 0;
        if (!r.Number(tag)) {
            reason = "an attachment's property list is cut short";
            return false;
        }
        const std::uint16_t type = tag & 0xFFFF, id = tag >> 16;
        if (id >= 0x8000) { // a named property: a GUID, then a number or a name
            std::uint32_t kind = 0, number = 0;
            std::string_view name;
            if (!r.Skip(16) || !r.Number(kind) ||
                (kind == 0 ? !r.Number(number)
                           : kind != 1 || !r.Number(number) || !r.Padded(number, name))) {
                reason = "an attachment's named property is damaged";
                return false;
            }
        }
        const std::uint16_t base = type & ~kMultiValued;
        const bool variable = IsVariableType(base);
        const size_t fixed = FixedSize(base);
        if (!variable && fixed == 0) {
            reason = "an attachment has a property of unknown type " + std::to_string(type);
            return false;
        }
        std::uint32_t values = 1;
        if ((variable || (type & kMultiValued)) && !r.Number(values)) {
            reason = "an attachment's property list is cut short";
            return false;
        }
        for (std::uint32_t v = 0; v < values; ++v) {
            std::string_view value;
            std::uint32_t size = static_cast<std::uint32_t>(fixed);
            if ((variable && !r.Number(size)) || !r.Padded(size, value)) {
                reason = "an attachment's property value runs past its end";
                return false;
            }
            if ((type & kMultiValued) || v > 0) continue;
            if (id == kPropLongFileName || id == kPropFileName || id == kPropDisplayName) {
                std::string text;
                if (base == kTypeUnicode)
                    text = Utf16ToUtf8(value);
                else if (base == kTypeString8)
                    text = EightBitText(value, charset);
                std::string& slot = id == kPropLongFileName ? props.longName
                                    : id == kPropFileName   ? props.fileName
                                                            : props.displayName;
                slot = text;
            } else if (id == kPropDataObject && base == kTypeBinary) {
                props.dataBinary = value;
            } else if (id == kPropDataObject && base == kTypeObject) {
                props.dataObject = value;
            } else if (id == kPropMethod && base == kTypeLong) {
                props.method = Word32(value);
            } else if (id == kPropModificationTime && base == kTypeSysTime) {
                props.modified = PropertyTime(value);
            } else if (id == kPropCreationTime && base == kTypeSysTime) {
                props.created = PropertyTime(value);
            }
        }
    }
    return true;
}

// What was wrong with a stream, though reading went on: each reason once, in order.
void NoteDamage(std::string& damage, const std::string& why) {
    if (damage.find(why) != std::string::npos) return;
    if (!damage.empty()) damage += "; ";
    damage += why;
}

void ReadStream(std::string_view data, long utcOffset, int depth, TnefContents& contents,
                std::string& damage);

// What one attachment gives: a file, the files of an attached message, or nothing of its own.
// An attachment stored as an object (an OLE object in place of file bytes) gives its bytes as
// a file too, marked as such; the stream is kept beside it. A property list that breaks off
// still gives the attachment's bytes, under the names read before the damage.
void AddAttachment(const Attachment& a, const std::string& charset, long utcOffset, int depth,
                   TnefContents& contents, std::string& damage) {
    AttachmentProperties props;
    std::string why;
    if (!a.properties.empty() && !ReadProperties(a.properties, charset, props, why))
        NoteDamage(damage, why);
    if (props.method == kMethodEmbeddedMessage) {
        contents.moreThanFiles = true; // the message's own text stays in the stream
        if (props.dataObject && props.dataObject->size() > 16) {
            std::string_view inner = props.dataObject->substr(16); // after the interface id
            if (HasTnefSignature(inner)) {
                if (depth + 1 > kMaxNesting)
                    NoteDamage(damage, "attached messages are nested too deeply");
                else
                    ReadStream(inner, utcOffset, depth + 1, contents, damage);
            }
        }
        return;
    }
    TnefFile file;
    std::optional<std::string_view> bytes = a.data ? a.data : props.dataBinary;
    if (props.method == kMethodOle || (!bytes && props.dataObject)) {
        contents.moreThanFiles = true;
        file.object = true;
        if (!bytes && props.dataObject->size() > 16) bytes = props.dataObject->substr(16);
    }
    if (!bytes) {
        contents.moreThanFiles = true; // a reference to a file elsewhere: nothing to write
        return;
    }
    for (const std::string* name : std::initializer_list<const std::string*>{
             &props.longName, &props.fileName, &a.title, &props.displayName})
        if (file.name.empty()) file.name = *name;
    file.bytes = *bytes;
    file.modified = props.modified  ? props.modified
                    : a.modified    ? a.modified
                    : props.created ? props.created
                                    : a.created;
    contents.files.push_back(std::move(file));
}

// Reads one stream. Damage does not throw away what was read before it: an attachment whose
// data arrived whole is still taken when the stream breaks off after it, and an attribute
// whose checksum does not match is taken all the same when its lengths are sound (programs
// that edit names leave such streams).
void ReadStream(std::string_view data, long utcOffset, int depth, TnefContents& contents,
                std::string& damage) {
    Reader r(data);
    std::uint32_t signature = 0;
    std::uint16_t key = 0;
    if (!r.Number(signature) || signature != kSignature || !r.Number(key)) {
        NoteDamage(damage, "no TNEF signature");
        return;
    }
    std::string charset = "windows-1252";
    Attachment current;
    bool started = false; // an attachment's attributes are being read
    auto finish = [&]() {
        if (started) AddAttachment(current, charset, utcOffset, depth, contents, damage);
        current = Attachment();
        started = false;
    };
    while (r.Left() > 0) {
        std::uint8_t level = 0;
        std::uint32_t id = 0, length = 0;
        std::uint16_t checksum = 0;
        std::string_view value;
        if (!r.Number(level) || !r.Number(id) || !r.Number(length) || !r.Bytes(length, value) ||
            !r.Number(checksum)) {
            NoteDamage(damage, "the data is cut short");
            break;
        }
        std::uint16_t sum = 0;
        for (char c : value)
            sum = static_cast<std::uint16_t>(sum + static_cast<unsigned char>(c));
        if (sum != checksum) NoteDamage(damage, "an attribute's checksum does not match its data");
        if (level == kMessageLevel) {
            if (id == kOemCodepage && value.size() >= 4) {
                std::uint32_t page = Word32(value);
                charset = page == 65001 ? "utf-8" : "windows-" + std::to_string(page);
            }
            continue;
        }
        if (level != kAttachmentLevel) {
            NoteDamage(damage, "an attribute of unknown level " + std::to_string(level));
            break;
        }
        if (id == kAttachRendData) finish();
        started = true;
        switch (id) {
        case kAttachTitle:
            current.title = EightBitText(value, charset);
            break;
        case kAttachData:
            current.data = value;
            break;
        case kAttachCreateDate:
            current.created = WallClockDate(value, utcOffset);
            break;
        case kAttachModifyDate:
            current.modified = WallClockDate(value, utcOffset);
            break;
        case kAttachProperties:
            current.properties = value;
            break;
        default:
            break;
        }
    }
    // The last attachment: whole, or broken off after its bytes arrived (a file cut short
    // inside its own data never gets this far: its data attribute was not read).
    finish();
}

} // namespace

bool HasTnefSignature(std::string_view data) {
    return data.size() >= 4 && Word32(data) == kSignature;
}

bool IsTnefPartType(std::string_view media, std::string_view subtype, std::string_view fileName) {
    return (platform::EqualsNoCase(media, "application") &&
            (platform::EqualsNoCase(subtype, "ms-tnef") ||
             platform::EqualsNoCase(subtype, "vnd.ms-tnef"))) ||
           platform::EqualsNoCase(fileName, "winmail.dat");
}

DecodedContent::~DecodedContent() {
    if (m_map) ::munmap(m_map, m_size);
}

bool DecodedContent::Load(GMimePart* part) {
    std::string path = std::string(g_get_tmp_dir()) + "/kestrel-tnef-XXXXXX";
    platform::UniqueFd file(::mkostemp(path.data(), O_CLOEXEC));
    if (!file.IsOpen()) return false;
    ::unlink(path.c_str());
    int writeFd = ::dup(file.Get());
    if (writeFd < 0 || !WriteContent(part, writeFd)) return false;
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) return false;
    if (st.st_size == 0) return true;
    void* map =
        ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, file.Get(), 0);
    if (map == MAP_FAILED) return false;
    m_map = map;
    m_size = static_cast<size_t>(st.st_size);
    return true;
}

bool ReadTnef(std::string_view data, long utcOffset, TnefContents& contents, std::string& reason) {
    contents = TnefContents();
    reason.clear();
    ReadStream(data, utcOffset, 0, contents, reason);
    return reason.empty();
}

} // namespace extractor
