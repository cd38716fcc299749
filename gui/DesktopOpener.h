#pragma once
// Starts a desktop command (the opener, a browser, wine) without waiting for it, and tells the
// caller how it ended, so a failure can be reported instead of passing in silence.
#include <functional>
#include <string>
#include <vector>

// done gets the command's exit status once it ends: -1 when it could not be started (then after
// the current event), 255 when the program was not found. It is called on the window thread.
void RunDesktopCommand(const std::vector<std::string>& argv, std::function<void(int status)> done);

// Opens a file, folder or page with the desktop's application; says so in a message box owned
// by the main window when the desktop could not.
void OpenWithDesktop(const std::string& target);
