#pragma once
// The hidden names under which the extractor component writes an attachment before it is
// complete. A file appears under its own name only whole: it is written without a name where
// the file system allows it, else under such a name, and given its own name in one step at the
// end. A process killed in the middle can leave a file under this name behind (never one under
// a name of the mail's); a run that resumes after an interrupted one removes them.
#include <string_view>

namespace platform {

inline constexpr std::string_view kPartialFilePrefix = ".kestrel-partial-";

inline bool IsPartialFileName(std::string_view name) {
    return name.size() > kPartialFilePrefix.size() &&
           name.substr(0, kPartialFilePrefix.size()) == kPartialFilePrefix;
}

} // namespace platform
