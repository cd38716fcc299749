// Any bytes as a message file: the extractor must answer in its format, write only plain names
// inside its folder, and never crash or hang.
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "FuzzFile.h"
#include "components/extractor/AttachmentNames.h"
#include "components/extractor/GMimeHeaderText.h"
#include "components/extractor/MessageExtractor.h"
#include "platform/Utf8.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string templ = (std::filesystem::temp_directory_path() / "kestrel-fuzz-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        return templ;
    }();
    return folder;
}

void CheckName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.size() > 255) std::abort();
    if (name.find_first_of("/:|") != std::string::npos) std::abort();
    if (name.front() == ' ' || name.back() == ' ') std::abort();
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("ulk", 0) == 0 || lower.rfind("kestl", 0) == 0) std::abort();
    if (!platform::IsValidUtf8(name)) std::abort();
}

void EmptyFolder() {
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(Folder(), ec))
        std::filesystem::remove_all(e.path(), ec);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);

    // The header and name rules on their own, with the input as a header value.
    if (!platform::IsValidUtf8(extractor::DecodeHeaderText(text))) std::abort();
    std::string safe = extractor::SanitizeFileName(text);
    if (!safe.empty()) CheckName(safe);

    FuzzFile file(data, size);
    if (!file.Ok()) return 0;
    try {
        extractor::ExtractedMessage m = extractor::ExtractMessage(file.Path(), Folder());
        for (const std::string& name : m.files) {
            CheckName(name);
            if (!std::filesystem::is_regular_file(Folder() + "/" + name)) std::abort();
        }
        // The folder is empty and writable: no input may make a file unwritable there.
        if (m.unwritten.Count != 0) std::abort();
        std::string answer = extractor::FormatExtractToFolder2(m);
        size_t bars = 0;
        for (char c : answer) bars += c == '|';
        if (bars != (m.files.empty() ? 2u : 3u)) std::abort();
    } catch (const extractor::ExtractError&) {
    }
    EmptyFolder();
    return 0;
}
