#pragma once
// The shell's path helpers, on "/" separated paths.
#include <string>

#include "platform/Text.h"

namespace platform {

// Removes one pair of enclosing double quotes.
std::string Unquote(const std::string& s);
// Replaces every %NAME% whose variable is set by its value; unknown references stay as written.
std::string ExpandEnvironmentStrings(const std::string& s);
// Resolves "/." and "/.." segments textually, as the shell's canonicaliser does.
std::string CanonicalizePath(const std::string& s);
// Joins a folder and a name with exactly one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder part of a path, ending with "/".
std::string FolderOf(const std::string& path);
// The text after the last separator.
std::string FindFileName(const std::string& path);
// The extension of the last component: from its last "." on, unless that text holds a blank;
// empty when there is none.
std::string FindExtension(const std::string& path);
std::string RemoveExtension(const std::string& path);
// The full normalisation that turns a folder path into a display name: trim, unquote, trim,
// expand variables, canonicalise, drop a leading "\\?\" prefix, last component, no extension.
std::string DisplayNameOf(const std::string& path);

} // namespace platform
