#pragma once
// Where the program's own files are. Everything is found from the running executable, so the
// build folder, an installed package and an installation moved elsewhere on disk all work.
//
// Beside the executable (the build folder, or a copy of it): the components with their
// registration file, "LANG", the help book, "icons/hicolor", and the files the program writes
// for itself (the error log, the language choice).
//
// Installed (the programs in bin/): the components and their registration file in a private
// library folder, "LANG" and the help book in the data folder, the icon in the shared hicolor
// theme, all at fixed places relative to bin/. Nothing is written there at run time: the error log goes to the user's state folder and
// the language choice to the settings folder.
#include <optional>
#include <string>

namespace platform {

// The components' registration file, in the library folder.
inline constexpr const char* kClassRegistryFileName = "kestrel-classes.reg";

struct ProgramFolders {
    std::string program; // the executable's folder
    std::string library; // the components and their registration file
    std::string data;    // "LANG" and the help book
    std::string icons;   // the program's icon as the hicolor theme holds it: NxN/apps/kestrel.png
    bool installed = false;
};

// The layout around an executable. It is installed when the private library folder, taken
// relative to the executable's folder, holds the registration file; otherwise everything is
// beside the executable.
ProgramFolders FindProgramFolders(const std::string& executablePath);
// The running executable's, looked up once.
const ProgramFolders& GetProgramFolders();

// True when the program keeps the files it writes beside itself: not installed, and its folder
// is writable.
bool WritesBesideProgram(const ProgramFolders& folders);

// The folder of the settings file: GetAppDataFolder() + "/VANDREL/KESTL".
std::optional<std::string> GetSettingsFolder();
// The user's state folder for Kestrel: $XDG_STATE_HOME/kestrel, else ~/.local/state/kestrel.
// Empty when neither can be determined.
std::string GetStateFolder();
// The folder of the error log: the program's folder when WritesBesideProgram, else the state
// folder, created (owner only) when missing.
std::string GetLogFolder();

} // namespace platform
