#pragma once
// The desktop's "open" and "edit" verbs.
#include <optional>
#include <string>
#include <vector>

namespace platform {
// Opens the file or folder in the desktop's default application (xdg-open), detached.
bool ShellOpen(const std::string& path);
// Opens the file in $VISUAL, else $EDITOR (in a terminal), else the desktop's default
// application for plain text.
bool ShellEdit(const std::string& path);
// The command ShellEdit runs for the file.
std::vector<std::string> EditorCommand(const std::string& path);
// A command line split into words as the shell splits it (quotes, escapes); none for a line
// that is empty or that the shell could not split.
std::optional<std::vector<std::string>> SplitCommandLine(const std::string& line);
// The command of a desktop entry's Exec line for one file: its field codes filled in (the file
// in place of the first of %f %F %u %U, at the end when there is none); empty for a line that
// cannot be split.
std::vector<std::string> DesktopEntryCommand(const std::string& exec, const std::string& path);
// Starts a program with arguments, detached, without a shell. True when it was started.
bool SpawnDetached(const std::vector<std::string>& argv);
} // namespace platform
