#include "engine/DoneMessages.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/ErrorLog.h"
#include "platform/FileHandle.h"
#include "platform/FileSystem.h"
#include "platform/Hash.h"
#include "platform/Text.h"
#include "report/ReportWriter.h"
#include "store/MailSource.h"

namespace {

constexpr const char* kFolderName = "report";
constexpr const char* kFileName = "done.txt";
constexpr const char* kFirstLine = "Kestrel done messages 1";
// Far more than a record of a million messages needs; a larger file is not one of ours.
constexpr std::uint64_t kMaxRecordSize = 256ull << 20;

// Keys, stamps and mailbox paths may hold any byte: the few that would break a line or a field
// are written as %XX.
std::string Escape(const std::string& text) {
    return platform::PercentEscape(text, "\t\n\r");
}

bool Unescape(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) return false;
        unsigned value = 0;
        for (size_t k = 1; k <= 2; ++k) {
            const char h = text[i + k];
            value <<= 4;
            if (h >= '0' && h <= '9') value |= static_cast<unsigned>(h - '0');
            else if (h >= 'A' && h <= 'F') value |= static_cast<unsigned>(h - 'A' + 10);
            else return false;
        }
        out += static_cast<char>(value);
        i += 2;
    }
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

std::string SumLine(const std::string& body) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "sum %016llx",
                  static_cast<unsigned long long>(platform::HashBytes(body)));
    return buf;
}

// D/report/done.txt, read without following a link put in place of the folder or the file.
platform::Status ReadRecord(const std::string& destination, std::string& text) {
    using platform::Status;
    using platform::StatusCode;
    platform::UniqueFd dest(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dest.IsOpen()) return {};
    platform::UniqueFd folder(
        ::openat(dest.Get(), kFolderName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.IsOpen()) {
        if (errno == ENOENT) return {};
        return Status(StatusCode::Refused, ReportFolder(destination) + " is not a folder");
    }
    std::string refused;
    platform::UniqueFd file(platform::OpenFileForReadingAt(folder.Get(), kFileName, false,
                                                           kMaxRecordSize, &refused));
    if (!file.IsOpen()) {
        if (refused.empty()) return {}; // none yet
        return Status(StatusCode::Refused, CDoneMessages::Path(destination) + " " + refused);
    }
    if (!platform::ReadOpenFile(file.Get(), kMaxRecordSize, text))
        return Status(StatusCode::Unreadable, CDoneMessages::Path(destination) + " cannot be read");
    return {};
}

} // namespace

std::string MailboxIdentity(const std::string& path) {
    std::string identity = path;
    // A folder inside a file ("mail/archive.pst/Inbox") is named by the file's own name with
    // the folder's path after it, so that it is the same from wherever the run is started.
    std::string head = path, rest;
    while (!head.empty()) {
        if (char* real = ::realpath(head.c_str(), nullptr)) {
            identity = std::string(real) + rest;
            std::free(real);
            break;
        }
        const std::size_t slash = head.find_last_of('/');
        if (slash == std::string::npos || slash == 0) break;
        rest = head.substr(slash) + rest;
        head.erase(slash);
    }
    while (identity.size() > 1 && identity.back() == '/')
        identity.pop_back();
    return identity;
}

std::string CDoneMessages::Path(const std::string& destination) {
    return platform::JoinPath(ReportFolder(destination), kFileName);
}

platform::Result<CDoneMessages> CDoneMessages::Load(const std::string& destination) {
    CDoneMessages record;
    std::string text;
    if (platform::Status read = ReadRecord(destination, text); !read) return read;
    if (!text.empty() && !record.Parse(text))
        return platform::Status(platform::StatusCode::Damaged,
                                Path(destination) + " is damaged or not a record of Kestrel's");
    return record;
}

const DoneMailbox* CDoneMessages::Find(const std::string& mailbox,
                                       const std::string& place) const {
    for (const DoneMailbox& m : m_mailboxes)
        if (m.Mailbox == mailbox && m.Place == place) return &m;
    return nullptr;
}

void CDoneMessages::Replace(DoneMailbox entry) {
    for (DoneMailbox& m : m_mailboxes)
        if (m.Mailbox == entry.Mailbox && m.Place == entry.Place) {
            m = std::move(entry);
            return;
        }
    m_mailboxes.push_back(std::move(entry));
}

std::string CDoneMessages::Text() const {
    std::string body = std::string(kFirstLine) + "\n";
    for (const DoneMailbox& m : m_mailboxes) {
        // Sorted, so that the same work gives the same file.
        std::vector<std::string> keys(m.Keys.begin(), m.Keys.end());
        std::sort(keys.begin(), keys.end());
        body += "mailbox\t" + Escape(m.Mailbox) + "\t" + Escape(m.Place) + "\t" +
                (m.AllFiles ? "all" : "pictures") + "\t" + Escape(m.Stamp) + "\t" +
                std::to_string(keys.size()) + "\n";
        for (const std::string& key : keys)
            body += Escape(key) + "\n";
    }
    return body + SumLine(body) + "\n";
}

bool CDoneMessages::Parse(const std::string& text) {
    m_mailboxes.clear();
    const size_t sumAt = text.rfind("sum ", text.size() >= 2 ? text.size() - 2 : 0);
    if (sumAt == std::string::npos || text.back() != '\n') return false;
    const std::string body = text.substr(0, sumAt);
    if (SumLine(body) + "\n" != text.substr(sumAt)) return false;
    size_t pos = 0;
    auto nextLine = [&](std::string& line) {
        const size_t end = body.find('\n', pos);
        if (end == std::string::npos) return false;
        line = body.substr(pos, end - pos);
        pos = end + 1;
        return true;
    };
    std::string line;
    if (!nextLine(line) || line != kFirstLine) return false;
    while (pos < body.size()) {
        if (!nextLine(line)) return false;
        const std::vector<std::string> f = SplitTabs(line);
        if (f.size() != 6 || f[0] != "mailbox" || (f[3] != "all" && f[3] != "pictures"))
            return false;
        DoneMailbox m;
        if (!Unescape(f[1], m.Mailbox) || !Unescape(f[2], m.Place) || !Unescape(f[4], m.Stamp))
            return false;
        m.AllFiles = f[3] == "all";
        char* end = nullptr;
        const unsigned long long count = std::strtoull(f[5].c_str(), &end, 10);
        if (f[5].empty() || *end != '\0') return false;
        for (unsigned long long k = 0; k < count; ++k) {
            std::string key;
            if (!nextLine(line) || !Unescape(line, key)) return false;
            m.Keys.insert(std::move(key));
        }
        m_mailboxes.push_back(std::move(m));
    }
    return true;
}

bool CDoneMessages::Save(const std::string& destination) const {
    return WriteReportFile(destination, kFolderName, kFileName, Text());
}

CNewMailFilter::CNewMailFilter(IMailSource& source, std::string mailbox, std::string place,
                               bool allFiles, bool newOnly, std::string destination)
    : m_source(source), m_newOnly(newOnly), m_destination(std::move(destination)) {
    m_entry.Mailbox = std::move(mailbox);
    m_entry.Place = std::move(place);
    m_entry.AllFiles = allFiles;
}

platform::Status CNewMailFilter::Begin() {
    m_begun = true;
    platform::Result<CDoneMessages> loaded = CDoneMessages::Load(m_destination);
    const platform::Status begun =
        loaded ? platform::Status()
               : platform::Status(loaded.GetStatus().Code(),
                                  loaded.GetStatus().Reason() + "; every message is taken");
    m_record = loaded.Take();
    const DoneMailbox* earlier = m_record.Find(m_entry.Mailbox, m_entry.Place);
    const bool stampHolds =
        m_source.CheckStamp(earlier ? earlier->Stamp : std::string(), m_entry.Stamp);
    // Keys of a mailbox that changed under them name other messages now; a run that kept only
    // the pictures has not done a message for a run that keeps every file.
    if (earlier && stampHolds && (earlier->AllFiles || !m_entry.AllFiles)) {
        m_remembered = earlier->Keys;
    }
    m_done.assign(static_cast<size_t>(std::max(0, m_source.Count())), false);
    for (size_t i = 0; i < m_done.size() && !m_remembered.empty(); ++i) {
        const std::string key = m_source.MessageKey(static_cast<int>(i));
        if (!key.empty() && m_remembered.count(key)) m_done[i] = true;
    }
    m_passedOver = m_newOnly ? static_cast<int>(std::count(m_done.begin(), m_done.end(), true)) : 0;
    return begun;
}

bool CNewMailFilter::IsDone(int index) const {
    return m_newOnly && index >= 0 && static_cast<size_t>(index) < m_done.size() &&
           m_done[static_cast<size_t>(index)];
}

void CNewMailFilter::MarkDone(int index) {
    if (index >= 0 && static_cast<size_t>(index) < m_done.size())
        m_done[static_cast<size_t>(index)] = true;
}

int CNewMailFilter::PassedOver() const {
    return m_passedOver;
}

// Counted once: what the run marks done as it goes was new all the same.
int CNewMailFilter::NewCount() const {
    return static_cast<int>(m_done.size()) - m_passedOver;
}

bool CNewMailFilter::Commit() {
    if (!m_begun) return true;
    // What is done of the mailbox as it is now: keys of messages gone from it are dropped.
    m_entry.Keys.clear();
    for (size_t i = 0; i < m_done.size(); ++i) {
        if (!m_done[i]) continue;
        std::string key = m_source.MessageKey(static_cast<int>(i));
        if (!key.empty()) m_entry.Keys.insert(std::move(key));
    }
    if (m_entry.Keys.empty() && !m_record.Find(m_entry.Mailbox, m_entry.Place)) return true;
    m_record.Replace(m_entry);
    return m_record.Save(m_destination);
}
