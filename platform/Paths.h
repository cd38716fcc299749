#pragma once
// Where things live on this system: the folders the program asks the platform for.
#include <optional>
#include <string>

namespace platform {

// The user's application-data folder: $XDG_CONFIG_HOME, else ~/.config. Empty when neither
// can be determined.
std::optional<std::string> GetAppDataFolder();
std::string GetHomeFolder();
std::string GetCurrentDir();
// The running executable and the folder holding it (error log, LANG, the component registry).
std::string GetProgramPath();
std::string GetProgramFolder();
std::string GetTempFolder();
// The Wine prefix's drive_c: $WINEPREFIX, else ~/.wine, + "/drive_c".
std::string GetWineDriveC();

} // namespace platform
