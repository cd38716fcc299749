#pragma once
// The desktop's "open" and "edit" verbs.
#include <string>
#include <vector>

namespace platform {
// Opens the file or folder in the desktop's default application (xdg-open), detached.
bool ShellOpen(const std::string& path);
// Opens the file in $VISUAL, else $EDITOR, else the default text editor.
bool ShellEdit(const std::string& path);
// The command ShellEdit runs for the file.
std::vector<std::string> EditorCommand(const std::string& path);
// Starts a program with arguments, detached, without a shell. True when it was started.
bool SpawnDetached(const std::vector<std::string>& argv);
} // namespace platform
