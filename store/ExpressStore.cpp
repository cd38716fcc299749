#include "store/ExpressStore.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <unordered_map>

#include "locale/Language.h"
#include "platform/FileSystem.h"
#include "platform/Utf8.h"
#include "store/MailSource.h"
#include "store/sources/DbxFileSource.h"

namespace {

// A folder name becomes one component of a relative path: a "/" would add a component, and "."
// or ".." would name this folder or its parent (an identity named ".." would lead out of the
// tree).
std::string PathComponent(std::string name) {
    std::replace(name.begin(), name.end(), '/', '_');
    if (name == "." || name == "..") std::replace(name.begin(), name.end(), '.', '_');
    return name;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IsGuidText(const std::string& s) {
    return s.size() == 38 && s.front() == '{' && s.back() == '}';
}

// A quoted registry string: \\ \" \n and \x... (a UTF-16 unit in hex) as Wine writes them.
bool UnquoteRegString(const std::string& text, std::size_t at, std::string& out) {
    if (at >= text.size() || text[at] != '"') return false;
    std::u16string units;
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            out = platform::FromUtf16(units);
            return true;
        }
        if (c != '\\' || i + 1 >= text.size()) {
            units.push_back(static_cast<unsigned char>(c)); // ASCII; other bytes come escaped
            continue;
        }
        char e = text[++i];
        if (e == 'n')
            units.push_back(u'\n');
        else if (e == 'x') {
            unsigned v = 0;
            int n = 0;
            while (n < 4 && i + 1 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
                char h = text[++i];
                v = v * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
                ++n;
            }
            units.push_back(static_cast<char16_t>(v));
        } else
            units.push_back(static_cast<unsigned char>(e));
    }
    return false;
}

// Builds the records of a store's folder list: the root first, then each folder after its
// parent, depth first with children in list order.
class CExpressRecordBuilder {
public:
    CExpressRecordBuilder(const std::vector<ExpressFolder>& folders, const std::string& storeFolder)
        : m_folders(folders), m_storeFolder(storeFolder), m_placed(folders.size(), false) {
        m_records.reserve(folders.size() + 1);
        for (std::size_t i = 0; i < folders.size(); ++i) {
            m_firstWithId.emplace(folders[i].id, i);
            m_children[folders[i].parentId].list.push_back(i);
        }
    }

    std::vector<FolderRecord> Build(const std::string& label) {
        // The root: the first folder without a parent; a list without one gets a record
        // standing for the store.
        int root = -1;
        for (std::size_t i = 0; i < m_folders.size() && root < 0; ++i)
            if (m_folders[i].parentId == kExpressNoParent) root = static_cast<int>(i);
        const ExpressFolder* top =
            root >= 0 ? &m_folders[static_cast<std::size_t>(root)] : nullptr;
        MakeRecord(top, PathComponent(label), PathComponent(label));
        if (top) {
            m_placed[static_cast<std::size_t>(root)] = true;
            Walk(top->id, 0, 1);
        }
        PlaceOrphans();
        return std::move(m_records);
    }

private:
    // Each id's first folder, and the folders naming each id as their parent, in list order.
    struct Children {
        std::vector<std::size_t> list;
        std::size_t next = 0; // every child before it is placed
    };
    // A level is the depth below the top record of the folders it places.
    struct Level {
        std::uint32_t id;
        std::size_t path; // the record whose relative path the children go under
        int depth;
    };
    enum class Chain : char { Unknown, Visiting, LeadsOut, Loops };

    void MakeRecord(const ExpressFolder* f, const std::string& relative,
                    const std::string& display) {
        FolderRecord r;
        r.DisplayName = display;
        r.RelativePath = relative;
        r.FullPath = m_storeFolder;
        if (f) {
            if (IsPlainMessageFileName(f->messageFile)) {
                r.PathSuffix = f->messageFile;
                r.Source = &kDbxFileKind;
            }
            r.ExpressFolderId = f->id;
        }
        m_records.push_back(std::move(r));
    }

    // Depth first from a folder, children in list order; each folder is placed once, so a
    // parent chain that loops or an id used twice cannot repeat a subtree. The last level also
    // takes every folder below it.
    void Walk(std::uint32_t id, std::size_t path, int depth) {
        std::vector<Level> stack;
        stack.push_back({id, path, depth});
        while (!stack.empty()) {
            const Level level = stack.back();
            auto it = m_children.find(level.id);
            Children* kids = it == m_children.end() ? nullptr : &it->second;
            while (kids && kids->next < kids->list.size() && m_placed[kids->list[kids->next]])
                ++kids->next;
            if (!kids || kids->next == kids->list.size()) {
                stack.pop_back();
                continue;
            }
            const std::size_t i = kids->list[kids->next++];
            m_placed[i] = true;
            const ExpressFolder& f = m_folders[i];
            std::string name = PathComponent(f.name);
            MakeRecord(&f, m_records[level.path].RelativePath + "/" + name, name);
            if (level.depth < kMaxExpressFolderDepth)
                stack.push_back({f.id, m_records.size() - 1, level.depth + 1});
            else
                stack.push_back({f.id, level.path, level.depth});
        }
    }

    // Where a parent chain leads: out of the list (to no folder, or to one without a known
    // parent) or round in a loop. Each id's answer is worked out once.
    Chain ChainFrom(std::uint32_t parent) {
        std::vector<std::uint32_t> trail;
        Chain answer = Chain::LeadsOut;
        for (std::uint32_t p = parent;;) {
            auto known = m_chainOf.find(p);
            if (known != m_chainOf.end() && known->second != Chain::Unknown) {
                answer = known->second == Chain::Visiting ? Chain::Loops : known->second;
                break;
            }
            auto first = m_firstWithId.find(p);
            if (p == kExpressNoParent || first == m_firstWithId.end()) break; // leads out
            const std::uint32_t up = m_folders[first->second].parentId;
            if (up == kExpressNoParent || !m_firstWithId.count(up)) break;
            m_chainOf[p] = Chain::Visiting;
            trail.push_back(p);
            p = up;
        }
        for (std::uint32_t p : trail)
            m_chainOf[p] = answer;
        return answer;
    }

    // What the walk did not reach (no such parent, a loop, a second root) hangs under the root,
    // except a folder whose parent chain leads to such a folder: it comes with that one. The
    // whole costs one pass over the list.
    void PlaceOrphans() {
        for (std::size_t i = 0; i < m_folders.size(); ++i) {
            if (m_placed[i]) continue;
            const ExpressFolder& f = m_folders[i];
            if (f.parentId != kExpressNoParent && m_firstWithId.count(f.parentId) &&
                ChainFrom(f.parentId) != Chain::Loops)
                continue; // reached later through an orphan above it
            m_placed[i] = true;
            std::string name = PathComponent(f.name);
            MakeRecord(&f, m_records.front().RelativePath + "/" + name, name);
            Walk(f.id, m_records.size() - 1, 2);
        }
    }

    const std::vector<ExpressFolder>& m_folders;
    const std::string& m_storeFolder;
    std::vector<FolderRecord> m_records;
    std::unordered_map<std::uint32_t, std::size_t> m_firstWithId;
    std::unordered_map<std::uint32_t, Children> m_children;
    std::unordered_map<std::uint32_t, Chain> m_chainOf; // by parent id
    std::vector<bool> m_placed;
};

} // namespace

std::vector<FolderRecord> ExpressFolderRecords(const std::vector<ExpressFolder>& folders,
                                               const std::string& storeFolder,
                                               const std::string& label) {
    return CExpressRecordBuilder(folders, storeFolder).Build(label);
}

std::vector<std::pair<std::string, std::string>> ReadIdentityNames(const std::string& regFile) {
    std::vector<std::pair<std::string, std::string>> names;
    std::string text;
    if (!platform::ReadSmallFile(regFile, 256u << 20, text)) return names;
    std::string guid; // the identity key the lines below belong to
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] == '[') {
            guid.clear();
            std::size_t close = line.find(']');
            std::string key = Upper(line.substr(1, close == std::string::npos ? 0 : close - 1));
            const std::string prefix = "IDENTITIES\\\\";
            if (key.rfind(prefix, 0) == 0 && IsGuidText(key.substr(prefix.size())))
                guid = key.substr(prefix.size());
            continue;
        }
        const std::string value = "\"username\"=";
        if (guid.empty() || line.size() < value.size() ||
            Upper(line.substr(0, value.size())) != Upper(value))
            continue;
        std::string name;
        if (UnquoteRegString(line, value.size(), name) && !name.empty()) {
            names.emplace_back(guid, name);
            guid.clear();
        }
    }
    return names;
}

std::string IdentityOfStoreFolder(const std::string& storeFolder) {
    // …/Identities/{GUID}/Microsoft/Outlook Express
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= storeFolder.size()) {
        std::size_t slash = storeFolder.find('/', start);
        if (slash == std::string::npos) slash = storeFolder.size();
        if (slash > start) parts.push_back(storeFolder.substr(start, slash - start));
        start = slash + 1;
    }
    if (parts.size() < 4) return {};
    const std::string& guid = parts[parts.size() - 3];
    if (Upper(parts[parts.size() - 4]) != "IDENTITIES" || !IsGuidText(guid)) return {};
    return Upper(guid);
}

std::string MissingMessageFileMessage(const FolderRecord& record) {
    if (record.PathSuffix.empty()) return {};
    std::string path = platform::JoinPath(record.FullPath, record.PathSuffix);
    // A folder inside a file (a .pst file's) has the file as its full path.
    const bool inside = record.Source && record.Source->ListFolders;
    if (platform::IsRegularFile(inside ? record.FullPath : path)) return {};
    if (inside) path = record.FullPath;
    return Tr(res::TextId::MissingMessageFile, {path});
}
