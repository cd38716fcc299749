// Any byte sequence as an ini file: load it, look values up, and write it back. Whatever was
// loaded must survive a save and a reload unchanged: saving what that reload gave writes the
// same bytes again.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "FuzzFile.h"
#include "locale/IniFile.h"

namespace {
// Saving replaces a file by renaming a new one over it, which needs a real folder.
const std::string& OutputFolder() {
    static const std::string folder = [] {
        std::string templ =
            (std::filesystem::temp_directory_path() / "kestrel-ini-fuzz-XXXXXX").string();
        if (!mkdtemp(templ.data())) std::abort();
        return templ;
    }();
    return folder;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile in(data, size);
    if (!in.Ok()) return 0;
    const std::string first = OutputFolder() + "/first.ini";
    const std::string second = OutputFolder() + "/second.ini";
    CIniFile ini;
    ini.SetPath(in.Path());
    ini.Load();
    for (size_t k = 0; k < ini.KeyCount() && k < 4; ++k)
        ini.ValueCount(static_cast<int>(k));
    ini.GetValue("Settings", "LastMailFolder");
    ini.GetValueInt("Settings", "HTMLItemNumber");
    ini.SetValue("Settings", "LastMailFolder", "x", true);
    // Texts taken from the input may be refused, never stored so that they break the file.
    if (size > 2) {
        std::string text(reinterpret_cast<const char*>(data), size);
        ini.SetValue(text.substr(0, size / 3), text.substr(size / 3, size / 3),
                     text.substr(2 * (size / 3)), true);
    }
    ini.SetPath(first);
    if (!ini.Save()) return 0;
    CIniFile reread;
    reread.SetPath(first);
    if (!reread.Load()) std::abort();
    reread.SetPath(second);
    if (!reread.Save()) return 0;
    if (Contents(first) != Contents(second)) std::abort();
    return 0;
}
