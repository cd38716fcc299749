// Any byte sequence as an ini file: load it, look values up, and write it back.
#include "FuzzFile.h"
#include "locale/IniFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzFile in(data, size);
    FuzzFile out(nullptr, 0);
    if (!in.Ok() || !out.Ok()) return 0;
    CIniFile ini;
    ini.SetPath(in.Path());
    ini.Load();
    for (size_t k = 0; k < ini.KeyCount() && k < 4; ++k)
        ini.ValueCount(static_cast<int>(k));
    ini.GetValue("Settings", "LastMailFolder");
    ini.GetValueInt("Settings", "HTMLItemNumber");
    ini.SetValue("Settings", "LastMailFolder", "x", true);
    ini.SetPath(out.Path());
    ini.Save();
    return 0;
}
