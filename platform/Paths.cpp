#include "platform/Paths.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {
std::string EnvOrEmpty(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}
} // namespace

std::string GetHomeFolder() {
    std::string home = EnvOrEmpty("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::optional<std::string> GetAppDataFolder() {
    std::string xdg = EnvOrEmpty("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg[0] == '/') return xdg;
    std::string home = GetHomeFolder();
    if (home.empty()) return std::nullopt;
    return home + "/.config";
}

std::string GetCurrentDir() {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string(".") : p.string();
}

std::string GetProgramPath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

std::string GetProgramFolder() {
    std::string exe = GetProgramPath();
    auto slash = exe.rfind('/');
    if (slash == std::string::npos) return GetCurrentDir();
    return slash == 0 ? std::string("/") : exe.substr(0, slash);
}

std::string GetTempFolder() {
    std::error_code ec;
    auto p = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : p.string();
}

std::string GetWineDriveC() {
    std::string prefix = EnvOrEmpty("WINEPREFIX");
    if (prefix.empty()) prefix = GetHomeFolder() + "/.wine";
    while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix + "/drive_c";
}

} // namespace platform
