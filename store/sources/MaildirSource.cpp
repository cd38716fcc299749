#include "store/sources/MaildirSource.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <unistd.h>

#include "platform/FileHandle.h"
#include "platform/FileSystem.h"

MaildirSource::MaildirSource(const std::string& folder) {
    AddFiles(platform::JoinPath(folder, "cur"), "*");
    AddFiles(platform::JoinPath(folder, "new"), "*");
    // By name, not by path: a message moves from new/ to cur/ when it is first read, and keeps
    // its place.
    std::sort(m_paths.begin(), m_paths.end(), [](const std::string& a, const std::string& b) {
        return std::strcmp(a.c_str() + a.rfind('/'), b.c_str() + b.rfind('/')) < 0;
    });
}

namespace {

// How many files of a lone cur/ are looked into before it is said not to hold mail.
constexpr int kFilesLookedAt = 8;

// A first line such as "Received: ..." or "Subject: ...": a field name of printable characters
// without blanks, then a colon.
bool StartsWithHeaderField(const std::string& path) {
    platform::UniqueFd fd(platform::OpenFileForReading(path, UINT64_MAX));
    if (!fd.IsOpen()) return false;
    char head[256];
    ssize_t got = ::pread(fd.Get(), head, sizeof head, 0);
    if (got <= 0) return false;
    for (ssize_t i = 0; i < got; ++i) {
        const unsigned char c = static_cast<unsigned char>(head[i]);
        if (c == ':') return i > 0;
        if (c <= ' ' || c >= 127) return false;
    }
    return false;
}

platform::Status IsMaildirKind(const MailboxProbe& probe) {
    return probe.IsFolder ? IsMaildir(probe.Path) : NotMine();
}

platform::Result<std::unique_ptr<IMailSource>> OpenMaildir(const std::string& path) {
    return std::unique_ptr<IMailSource>(std::make_unique<MaildirSource>(path));
}

} // namespace

platform::Status IsMaildir(const std::string& folder) {
    const std::string cur = platform::JoinPath(folder, "cur");
    if (!platform::IsDirectory(cur)) return NotMine();
    if (platform::IsDirectory(platform::JoinPath(folder, "new")) ||
        platform::IsDirectory(platform::JoinPath(folder, "tmp")))
        return {};
    int looked = 0;
    for (const platform::DirEntry& e : platform::ListDirectory(cur, "*")) {
        if (e.name[0] == '.') continue;
        if (e.name.find(":2,") != std::string::npos) return {};
        if (e.isRegular && looked++ < kFilesLookedAt &&
            StartsWithHeaderField(platform::JoinPath(cur, e.name)))
            return {};
    }
    if (looked == 0) return NotMine();
    return NotMine("a folder with cur/ alone whose files do not read as mail (no maildir flags in "
                   "their names, no header field on their first line), so not a maildir");
}

const MailSourceKind kMaildirKind{"a maildir", true, IsMaildirKind, OpenMaildir};
