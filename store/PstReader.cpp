#include "store/PstReader.h"

#include <libpff.h>

#include <algorithm>
#include <functional>
#include <map>
#include <unordered_map>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/HeaderText.h"
#include "platform/Text.h"
#include "platform/Utf8.h"
#include "store/PstMime.h"
#include "store/PstProperties.h"

using namespace pst;

namespace {

constexpr int kFolderTypeSearch = 2;
// The file header of either format is no shorter.
constexpr off_t kHeaderSize = 512;

} // namespace

std::string EscapePstFolderName(const std::string& name) {
    return platform::PercentEscape(name, "/");
}

std::string PstPathName(const std::string& name, int nth) {
    std::string out = EscapePstFolderName(name);
    if (nth > 1) out += "%#" + std::to_string(nth);
    return out;
}

std::string UnescapePstFolderName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() && name.compare(i, 3, "%25") == 0) {
            out += '%';
            i += 2;
        } else if (name[i] == '%' && i + 2 < name.size() &&
                   (name.compare(i, 3, "%2F") == 0 || name.compare(i, 3, "%2f") == 0)) {
            out += '/';
            i += 2;
        } else {
            out += name[i];
        }
    }
    return out;
}

bool HasPstExtension(const std::string& path) {
    if (path.size() < 4) return false;
    const std::string ext = platform::ToLower(path.substr(path.size() - 4));
    return ext == ".pst" || ext == ".ost";
}

CPstFile::CPstFile() = default;

CPstFile::~CPstFile() {
    Close();
}

void CPstFile::Close() {
    m_selected.Clear();
    if (m_file) {
        auto* file = static_cast<libpff_file_t*>(m_file);
        libpff_file_close(file, nullptr);
        libpff_file_free(&file, nullptr);
        m_file = nullptr;
    }
    m_folders.clear();
    m_mailTreeId = 0;
    m_codePage = 1252;
}

platform::Status CPstFile::Open(const std::string& path) {
    using platform::StatusCode;
    Close();
    auto fail = [&](StatusCode code, const std::string& reason) {
        Close();
        return platform::Status(code, reason);
    };
    // Only a plain file: a pipe or a device would never end the read.
    std::string refused;
    platform::UniqueFd probe(platform::OpenFileForReading(path, UINT64_MAX, &refused));
    if (!probe.IsOpen())
        return refused.empty() ? fail(StatusCode::Missing, "cannot be read")
                               : fail(StatusCode::Refused, refused);
    char head[4] = {};
    struct stat st {};
    const bool signed_ =
        ::read(probe.Get(), head, sizeof head) == 4 && std::memcmp(head, "!BDN", 4) == 0;
    const bool whole = ::fstat(probe.Get(), &st) == 0 && st.st_size >= kHeaderSize;
    probe.Close();
    if (!signed_) return fail(StatusCode::NotRecognised, "not an Outlook data file (.pst or .ost)");
    if (!whole)
        return fail(StatusCode::Damaged, "a damaged Outlook data file: it ends inside its header");
    libpff_file_t* file = nullptr;
    if (libpff_file_initialize(&file, nullptr) != 1)
        return fail(StatusCode::Unreadable, "out of memory");
    m_file = file;
    libpff_error_t* error = nullptr;
    if (libpff_file_open(file, path.c_str(), LIBPFF_OPEN_READ, &error) != 1) {
        char trace[4096] = {};
        libpff_error_backtrace_sprint(error, trace, sizeof trace);
        libpff_error_free(&error);
        libpff_file_free(&file, nullptr);
        m_file = nullptr;
        if (std::strstr(trace, "checksum") || std::strstr(trace, "CRC"))
            return fail(StatusCode::Damaged,
                        "a damaged Outlook data file: its header checksum is wrong");
        return fail(StatusCode::Damaged, "a damaged Outlook data file: its index cannot be read");
    }
    ListFolders();
    if (m_folders.empty())
        return fail(StatusCode::Damaged, "a damaged Outlook data file: its folders cannot be read");
    return {};
}

platform::Result<std::shared_ptr<const CPstFile>> CPstFile::OpenShared(const std::string& path) {
    // What tells the file that was opened from one put in its place or written to since.
    struct Kept {
        std::string Path;
        dev_t Device = 0;
        ino_t Inode = 0;
        off_t Size = 0;
        timespec Modified{};
        std::shared_ptr<const CPstFile> File;
    };
    static Kept kept;
    struct stat st {};
    const bool known = ::stat(path.c_str(), &st) == 0;
    if (known && kept.File && kept.Path == path && kept.Device == st.st_dev &&
        kept.Inode == st.st_ino && kept.Size == st.st_size &&
        kept.Modified.tv_sec == st.st_mtim.tv_sec && kept.Modified.tv_nsec == st.st_mtim.tv_nsec)
        return kept.File;
    kept = Kept{};
    auto file = std::make_shared<CPstFile>();
    if (platform::Status opened = file->Open(path); !opened) return opened;
    if (known) kept = Kept{path, st.st_dev, st.st_ino, st.st_size, st.st_mtim, file};
    return file;
}

void CPstFile::ListFolders() {
    auto* file = static_cast<libpff_file_t*>(m_file);
    uint8_t fileType = 0;
    libpff_file_get_type(file, &fileType, nullptr);
    {
        ItemRef store;
        if (libpff_file_get_message_store(file, store.out(), nullptr) == 1) {
            if (std::optional<Prop> id = ReadProp(store.get(), kIpmSubtreeEntryId))
                m_mailTreeId = EntryIdNode(id->data);
            if (fileType == LIBPFF_FILE_TYPE_32BIT)
                if (std::optional<std::uint32_t> cp = ReadInt32(store.get(), kMessageCodePage))
                    m_codePage = *cp;
        }
    }
    ItemRef root;
    if (libpff_file_get_root_folder(file, root.out(), nullptr) != 1) return;
    if (fileType == LIBPFF_FILE_TYPE_32BIT && m_codePage == 1252) {
        // 8-bit files keep names in the code page of the system that wrote them; the file does
        // not say which, but its mail does.
        std::vector<libpff_item_t*> stack;
        // Breadth-limited look at the first messages found.
        std::function<bool(libpff_item_t*, int)> look = [&](libpff_item_t* folder, int depth) {
            int messages = 0;
            if (libpff_folder_get_number_of_sub_messages(folder, &messages, nullptr) == 1)
                for (int i = 0; i < messages && i < 8; ++i) {
                    ItemRef message;
                    if (libpff_folder_get_sub_message(folder, i, message.out(), nullptr) != 1)
                        continue;
                    const unsigned cp = MessageCodePage(message.get(), 0);
                    if (cp != 0) {
                        m_codePage = cp;
                        return true;
                    }
                }
            int folders = 0;
            if (depth >= 8 ||
                libpff_folder_get_number_of_sub_folders(folder, &folders, nullptr) != 1)
                return false;
            for (int i = 0; i < folders && i < 64; ++i) {
                ItemRef sub;
                if (libpff_folder_get_sub_folder(folder, i, sub.out(), nullptr) == 1 &&
                    look(sub.get(), depth + 1))
                    return true;
            }
            return false;
        };
        look(root.get(), 0);
    }
    const std::string rootName = ReadText(root.get(), kDisplayName, m_codePage);
    if (!rootName.empty()) {
        AddFolders(root.get(), -1, 0, false);
    } else {
        int folders = 0;
        if (libpff_folder_get_number_of_sub_folders(root.get(), &folders, nullptr) == 1)
            for (int i = 0; i < folders; ++i) {
                ItemRef sub;
                if (libpff_folder_get_sub_folder(root.get(), i, sub.out(), nullptr) == 1)
                    AddFolders(sub.get(), -1, 0, false);
            }
    }
    // Paths, now that the folders shown are known: a name shared with earlier siblings gets its
    // place among them. Parents come first, so theirs are already made.
    std::map<std::pair<int, std::string>, int> seen;
    for (PstFolder& f : m_folders) {
        const int nth = ++seen[{f.Parent, f.Name}];
        const std::string own = PstPathName(f.Name, nth);
        f.Path = f.Parent < 0 ? own : m_folders[static_cast<size_t>(f.Parent)].Path + "/" + own;
    }
}

bool CPstFile::AddFolders(void* folderItem, int parent, int depth, bool inMailTree) {
    libpff_item_t* folder = Item(folderItem);
    if (depth > 64) return false;
    if (ReadInt32(folder, kFolderType).value_or(1) == kFolderTypeSearch) return false;
    std::uint32_t id = 0;
    libpff_item_get_identifier(folder, &id, nullptr);
    if (id != 0 && id == m_mailTreeId) inMailTree = true;

    PstFolder entry;
    entry.Name = ReadText(folder, kDisplayName, m_codePage);
    entry.Id = id;
    entry.Parent = parent;
    int folders = 0;
    const bool listsFolders =
        libpff_folder_get_number_of_sub_folders(folder, &folders, nullptr) == 1;
    // A cache file's store may not say where its mail tree is; it keeps it under this name.
    if (m_mailTreeId == 0 && entry.Name == "IPM_SUBTREE" && folders > 0) inMailTree = true;
    if (entry.Name.empty()) entry.Name = "(no name)";
    entry.Depth = depth;
    // A folder's table of items is read only where the listing depends on it: a folder outside
    // the mail tree is shown when it holds mail. Those of the mail tree are read when selected.
    bool holdsMail = false;
    if (!inMailTree) {
        int items = 0;
        if (libpff_folder_get_number_of_sub_messages(folder, &items, nullptr) != 1)
            return false; // an internal table of a kind the library does not read
        for (int i = 0; i < items && !holdsMail; ++i) {
            ItemRef message;
            if (libpff_folder_get_sub_message(folder, i, message.out(), nullptr) == 1)
                holdsMail = IsMail(message.get());
        }
    }
    const int at = static_cast<int>(m_folders.size());
    m_folders.push_back(std::move(entry));
    bool below = false;
    if (listsFolders) {
        for (int i = 0; i < folders; ++i) {
            ItemRef sub;
            if (libpff_folder_get_sub_folder(folder, i, sub.out(), nullptr) == 1)
                below |= AddFolders(sub.get(), at, depth + 1, inMailTree);
        }
    } else if (inMailTree) {
        m_folders[static_cast<size_t>(at)].Unreadable = true;
    }
    if (inMailTree || below || holdsMail) return true;
    // Nothing below was kept, so the folder is still the last one.
    m_folders.pop_back();
    return false;
}

void CPstFolder::Clear() {
    CloseMail();
    if (m_selected) {
        libpff_item_t* selected = Item(m_selected);
        libpff_item_free(&selected, nullptr);
        m_selected = nullptr;
    }
    m_mail.clear();
    m_stamps.clear();
    m_skipped = m_unreadableItems = 0;
    m_file = nullptr;
}

platform::Status CPstFolder::Select(const CPstFile& pst, const std::string& path) {
    using platform::Status;
    using platform::StatusCode;
    Clear();
    if (!pst.m_file) return Status(StatusCode::Unreadable, "the file is not open");
    const std::vector<PstFolder>& folders = pst.m_folders;
    auto known = std::find_if(folders.begin(), folders.end(),
                              [&](const PstFolder& f) { return f.Path == path; });
    if (known == folders.end())
        return Status(StatusCode::Missing, "the file has no folder \"" + path + "\"");
    const Status damaged(StatusCode::Damaged, "the folder \"" + path + "\" cannot be read");
    if (known->Unreadable) return damaged;

    auto* file = static_cast<libpff_file_t*>(pst.m_file);
    ItemRef current;
    if (known->Id == 0 ||
        libpff_file_get_item_by_identifier(file, known->Id, current.out(), nullptr) != 1)
        return damaged;
    int messages = 0;
    if (libpff_folder_get_number_of_sub_messages(current.get(), &messages, nullptr) != 1)
        return damaged;
    // The folder's table of contents names each item's class: the items themselves are read
    // once, when their mail is, and only those whose class the table does not tell are read here.
    std::unordered_map<std::uint32_t, int> mailByNode;
    ItemRef contents;
    int rows = 0;
    if (libpff_folder_get_sub_messages(current.get(), contents.out(), nullptr) == 1 &&
        libpff_item_get_number_of_record_sets(contents.get(), &rows, nullptr) == 1)
        for (int row = 0; row < rows; ++row)
            if (std::optional<std::uint32_t> node = ReadInt32(contents.get(), kRowId, row))
                mailByNode[*node] = MailClass(ReadText(contents.get(), kMessageClass, 1252, row));
    for (int i = 0; i < messages; ++i) {
        ItemRef message;
        if (libpff_folder_get_sub_message(current.get(), i, message.out(), nullptr) != 1) {
            ++m_unreadableItems;
            continue;
        }
        std::uint32_t node = 0;
        int mail = -1;
        if (libpff_item_get_identifier(message.get(), &node, nullptr) == 1)
            if (auto known = mailByNode.find(node); known != mailByNode.end()) mail = known->second;
        if (mail < 0) mail = IsMail(message.get()) ? 1 : 0;
        if (mail) m_mail.push_back(i);
        else ++m_skipped;
    }
    m_stamps.assign(m_mail.size(), StampFacts{});
    m_selected = current.Release();
    m_file = &pst;
    return {};
}

void* CPstFolder::OpenMail(int index) {
    if (!m_selected || index < 0 || index >= Count()) return nullptr;
    if (m_message && m_messageIndex == index) return m_message;
    CloseMail();
    libpff_item_t* message = nullptr;
    if (libpff_folder_get_sub_message(Item(m_selected), m_mail[static_cast<size_t>(index)],
                                      &message, nullptr) != 1)
        return nullptr;
    m_message = message;
    m_messageIndex = index;
    // Its stamp while its properties are at hand: a run asks for it again once it is done.
    m_stamps[static_cast<size_t>(index)] = ReadStampFacts(message);
    return message;
}

void CPstFolder::CloseMail() {
    if (m_message) {
        libpff_item_t* message = Item(m_message);
        libpff_item_free(&message, nullptr);
        m_message = nullptr;
    }
    m_messageIndex = -1;
}

bool CPstFolder::ReadHeader(int index, PstHeader& header) {
    header = PstHeader{};
    libpff_item_t* message = Item(OpenMail(index));
    if (!message) return false;
    const unsigned codePage = MessageCodePage(message, m_file->m_codePage);
    header.Subject = ReadText(message, kSubject, codePage);
    if (header.Subject.size() >= 2 && header.Subject[0] == '\x01') header.Subject.erase(0, 2);
    header.SenderName = ReadText(message, kSenderName, codePage);
    if (header.SenderName.empty())
        header.SenderName = ReadText(message, kSentRepresentingName, codePage);
    header.Sender = ReadText(message, kSenderSmtpAddress, codePage);
    if (header.Sender.empty())
        header.Sender = ReadText(message, kSentRepresentingSmtpAddress, codePage);
    if (header.Sender.empty() &&
        platform::ToUpper(ReadText(message, kSenderAddressType, codePage)) != "EX")
        header.Sender = ReadText(message, kSenderEmail, codePage);
    if (header.Sender.empty()) {
        const std::string other = ReadText(message, kSentRepresentingEmail, codePage);
        if (other.find('@') != std::string::npos) header.Sender = other;
    }
    header.Time = ReadTime(message, kDeliveryTime);
    if (!header.Time) header.Time = ReadTime(message, kClientSubmitTime);
    return true;
}

MailTextWrite CPstFolder::WriteMessage(int index, int fd) {
    libpff_item_t* message = Item(OpenMail(index));
    if (!message) return MailTextWrite::Unreadable;
    const MimeOutcome outcome = WriteMessageAsMime(message, fd, m_file->m_codePage);
    if (!outcome.written) return MailTextWrite::WriteFailed;
    return outcome.damaged ? MailTextWrite::Unreadable : MailTextWrite::Written;
}

namespace {

std::string HexText(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += kDigits[c >> 4];
        hex += kDigits[c & 15];
    }
    return hex;
}

} // namespace

std::string CPstFolder::MessageStamp(int index) {
    if (index < 0 || index >= Count()) return {};
    if (m_stamps[static_cast<size_t>(index)].State == StampFacts::Unread && !OpenMail(index))
        return {};
    const StampFacts& facts = m_stamps[static_cast<size_t>(index)];
    if (facts.State != StampFacts::Read) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%u:%016llx:", static_cast<unsigned>(facts.Id),
                  static_cast<unsigned long long>(facts.Changed));
    std::string stamp = text;
    if (facts.HasSize) stamp += std::to_string(facts.Size);
    return stamp;
}

CPstFolder::StampFacts CPstFolder::ReadStampFacts(void* item) {
    libpff_item_t* message = Item(item);
    StampFacts facts;
    facts.State = StampFacts::None;
    if (libpff_item_get_identifier(message, &facts.Id, nullptr) != 1 || facts.Id == 0)
        return facts;
    std::optional<Prop> changed = ReadProp(message, kModificationTime);
    if (!changed || changed->type != kTypeTime || changed->data.size() != 8) return facts;
    for (int i = 7; i >= 0; --i)
        facts.Changed =
            (facts.Changed << 8) | static_cast<unsigned char>(changed->data[static_cast<size_t>(i)]);
    if (std::optional<std::uint32_t> size = ReadInt32(message, kMessageSize)) {
        facts.HasSize = true;
        facts.Size = *size;
    }
    facts.State = StampFacts::Read;
    return facts;
}

std::string CPstFile::StoreIdentity() const {
    if (!m_file) return {};
    ItemRef store;
    if (libpff_file_get_message_store(static_cast<libpff_file_t*>(m_file), store.out(), nullptr) !=
        1)
        return {};
    std::optional<Prop> key = ReadProp(store.get(), kRecordKey);
    if (!key || key->type != kTypeBinary) return {};
    return HexText(key->data);
}
