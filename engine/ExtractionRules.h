#pragma once
// The rules of the runs that are plain text: which names the component may answer, the folder
// names the runs make, the subject condition and the forward prefix.
#include <cstddef>
#include <string>

// The component answers names within the folder it was given; anything else is not touched.
bool IsNameWithinFolder(const std::string& name);

// The sub-directory name for a mail folder's name.
std::string CleanFolderName(const std::string& folderName);
// CleanFolderName, with "_" in front of a name the runs use for their own files ("report",
// "process", any case) and "_" for a name that is empty after cleaning: a folder's files never
// land among the report's or over the top report. Cut to kMaxSubDirectoryName bytes.
constexpr std::size_t kMaxSubDirectoryName = 200;
std::string SubDirectoryName(const std::string& folderName);
// The subject condition: keyword found in subject, without regard to case (full Unicode case
// folding for UTF-8 text, ASCII for anything else). Blanks around the keyword do not count.
bool SubjectContains(const std::string& subject, const std::string& keyword);
// Removes one leading forward prefix ("fwd:", "fw:", "fwd", "fw", any case) and the blanks
// around it.
std::string StripForwardPrefix(const std::string& subject);
