#pragma once
// What the frame's commands start and what they say when that fails: the mail program under
// the Wine prefix, the help book beside the program, and the desktop opener's failures.
#include <string>
#include <vector>

// Where the mail program may be installed, in the order they are tried.
std::vector<std::string> MailProgramCandidates();
// The first candidate that is a file; empty when none is.
std::string FindMailProgram();
// The command that starts the mail program at that path.
std::vector<std::string> MailProgramCommand(const std::string& program);
std::string MailProgramMissingMessage();
std::string MailProgramNotStartedMessage(const std::string& program);

// The help book: its project file and its pages, beside the program.
inline constexpr const char* kHelpFirstTopic = "Introduce.html";
inline constexpr const char* kSupportPage = "support.html";
inline constexpr const char* kTutorialPage = "tutorial.html";
inline constexpr const char* kAboutPage = "about.html";
// The "help" folder among the program's data (beside it in the build, share/kestrel once
// installed), unless one was set (tests run from another folder).
std::string HelpBookFolder();
void SetHelpBookFolder(const std::string& folder);
std::string HelpBookFile();
std::string HelpPagePath(const std::string& page);
std::string HelpBookMissingMessage();

// The launch error the hyperlink reports for an exit status of the desktop opener
// (xdg-open: 2 no such file, 3 no application for it); -1 when it could not be run at all.
int LaunchErrorFromOpenerStatus(int status);
// "Unable to open hyperlink:\n\n" and the launch error's text.
std::string HyperlinkErrorMessage(int launchError);
// What the frame says when the desktop could not open a file or page.
std::string OpenFailedMessage(const std::string& target);

// A folder as typed or pasted into a path box: blanks around it and quotes a file manager adds
// go, "~" is the home folder, a trailing "/" goes. Empty when nothing was typed.
std::string TypedFolderPath(const std::string& typed, const std::string& home);
std::string FolderMissingMessage(const std::string& folder);
