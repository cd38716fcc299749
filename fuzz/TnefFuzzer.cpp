// Any bytes as a winmail.dat: the TNEF reader must keep every file inside the stream it was
// given and give valid UTF-8 names; through the extractor, every name must be a plain entry of
// its folder, and a stream that is not read completely into files must be kept byte for byte.
#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <string>

#include "FuzzFile.h"
#include "components/extractor/MessageExtractor.h"
#include "components/extractor/Tnef.h"
#include "platform/Utf8.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        std::string templ =
            (std::filesystem::temp_directory_path() / "kestrel-tnef-fuzz-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        return templ;
    }();
    return folder;
}

std::string ReadAll(const std::string& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    extractor::TnefContents contents;
    std::string reason;
    const bool read = extractor::ReadTnef(stream, 0, contents, reason);
    if (!read && reason.empty()) std::abort();
    for (const extractor::TnefFile& file : contents.files) {
        if (file.bytes.data() < stream.data() ||
            file.bytes.data() + file.bytes.size() > stream.data() + stream.size())
            std::abort();
        if (!platform::IsValidUtf8(file.name)) std::abort();
    }

    // The same bytes as the winmail.dat of a message.
    gchar* encoded = g_base64_encode(data, size);
    std::string message =
        "From: a@example.org\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; "
        "boundary=\"B\"\r\n\r\n--B\r\nContent-Type: application/ms-tnef; name=\"winmail.dat\"\r\n"
        "Content-Transfer-Encoding: base64\r\n\r\n" +
        std::string(encoded) + "\r\n--B--\r\n";
    g_free(encoded);
    FuzzFile file(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    if (!file.Ok()) return 0;
    extractor::ExtractedMessage m = extractor::ExtractMessage(file.Path(), Folder());
    bool keptWhole = false;
    for (const std::string& name : m.files) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            !platform::IsValidUtf8(name))
            std::abort();
        const std::string path = Folder() + "/" + name;
        if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(path))) std::abort();
        keptWhole = keptWhole || ReadAll(path) == stream;
    }
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(Folder())) {
        ++entries;
        std::filesystem::remove(e.path());
    }
    if (entries != m.files.size()) std::abort(); // a name given twice, or a file left unnamed
    const bool whollyFiles = read && !contents.moreThanFiles && !contents.files.empty();
    if (!whollyFiles && !keptWhole) std::abort();
    return 0;
}
