#pragma once
// The help book in the toolkit's HTML help viewer, opened on first use.
#include <string>

class wxWindow;
class wxHtmlHelpController;

// Shows the topic (a page of the help book); says so when the book is missing. False then.
bool ShowHelpTopic(const std::string& page);
// The viewer, once it was opened; null before.
wxHtmlHelpController* GetHelpController();
// Closes the viewer's window, so the program can end with its main window.
void CloseHelp();
