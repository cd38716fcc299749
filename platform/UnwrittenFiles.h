#pragma once
// How the extractor component tells its caller that files of a message could not be written:
// one more entry at the end of its ":" separated file list, "/unwritten/N/E" (N files, E the
// errno of the first failure). A written file's name never holds "/" or ":", so the entry
// cannot be taken for one, and a caller that knows nothing of it skips it as a name that is
// not a file in the folder. The component writes it and the program reads it through here.
#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

namespace platform {

struct UnwrittenFiles {
    int Count = 0; // files of the message that could not be written
    int Error = 0; // the errno of the first of them
};

inline constexpr std::string_view kUnwrittenPrefix = "/unwritten/";

inline std::string FormatUnwrittenEntry(const UnwrittenFiles& unwritten) {
    return std::string(kUnwrittenPrefix) + std::to_string(unwritten.Count) + "/" +
           std::to_string(unwritten.Error);
}

// True when the list entry is such a note; its numbers are added to `into` (the first error
// kept).
inline bool ReadUnwrittenEntry(std::string_view entry, UnwrittenFiles& into) {
    if (entry.substr(0, kUnwrittenPrefix.size()) != kUnwrittenPrefix) return false;
    entry.remove_prefix(kUnwrittenPrefix.size());
    const size_t slash = entry.find('/');
    if (slash == std::string_view::npos) return false;
    auto number = [](std::string_view digits, int& out) {
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            return false;
        out = std::atoi(std::string(digits).c_str());
        return true;
    };
    int count = 0, error = 0;
    if (!number(entry.substr(0, slash), count) || !number(entry.substr(slash + 1), error) ||
        count == 0)
        return false;
    if (into.Count == 0) into.Error = error;
    into.Count += count;
    return true;
}

} // namespace platform
