#pragma once
// A modal folder chooser with a title, a start folder and an owner.
#include <optional>
#include <string>

class wxWindow;

// The chosen folder, or nothing when the user cancelled.
std::optional<std::string> BrowseForFolder(wxWindow* owner, const std::string& title,
                                           const std::string& startFolder);
