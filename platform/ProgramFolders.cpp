#include "platform/ProgramFolders.h"

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/Paths.h"

// The install rules set these from the installation folders; the defaults match them.
#ifndef KESTREL_LIBRARY_FROM_BINDIR
#define KESTREL_LIBRARY_FROM_BINDIR "../lib/kestrel"
#endif
#ifndef KESTREL_DATA_FROM_BINDIR
#define KESTREL_DATA_FROM_BINDIR "../share/kestrel"
#endif
#ifndef KESTREL_ICONS_FROM_BINDIR
#define KESTREL_ICONS_FROM_BINDIR "../share/icons/hicolor"
#endif

namespace platform {

namespace {
std::string Below(const std::string& folder, const char* relative) {
    return (std::filesystem::path(folder) / relative).lexically_normal().string();
}

// Makes each missing folder of an absolute path, the new ones readable by the owner only.
void CreatePrivateFolders(const std::string& path) {
    std::string sofar;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        sofar = path.substr(0, pos);
        if (!sofar.empty() && !IsDirectory(sofar)) ::mkdir(sofar.c_str(), 0700);
    }
}
} // namespace

ProgramFolders FindProgramFolders(const std::string& executablePath) {
    ProgramFolders f;
    f.program = FolderOf(executablePath);
    while (f.program.size() > 1 && f.program.back() == '/')
        f.program.pop_back();
    if (f.program.empty()) f.program = GetCurrentDir();
    std::string library = Below(f.program, KESTREL_LIBRARY_FROM_BINDIR);
    f.installed = IsRegularFile(library + "/" + kClassRegistryFileName);
    f.library = f.installed ? library : f.program;
    f.data = f.installed ? Below(f.program, KESTREL_DATA_FROM_BINDIR) : f.program;
    f.icons = f.installed ? Below(f.program, KESTREL_ICONS_FROM_BINDIR)
                          : f.program + "/icons/hicolor";
    return f;
}

const ProgramFolders& GetProgramFolders() {
    static const ProgramFolders folders = FindProgramFolders(GetProgramPath());
    return folders;
}

bool WritesBesideProgram(const ProgramFolders& folders) {
    return !folders.installed && ::access(folders.program.c_str(), W_OK) == 0;
}

std::optional<std::string> GetSettingsFolder() {
    auto appData = GetAppDataFolder();
    if (!appData) return std::nullopt;
    return *appData + "/VANDREL/KESTL";
}

std::string GetStateFolder() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kestrel";
    std::string home = GetHomeFolder();
    if (home.empty()) return {};
    return home + "/.local/state/kestrel";
}

std::string GetLogFolder() {
    const ProgramFolders& folders = GetProgramFolders();
    if (WritesBesideProgram(folders)) return folders.program;
    std::string state = GetStateFolder();
    if (!state.empty()) CreatePrivateFolders(state);
    return state;
}

} // namespace platform
