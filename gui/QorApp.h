#pragma once
// The application object: start-up, the splash screen, the main frame.
#include <string>
#include <vector>

#include <wx/app.h>

#include "gui/CmdTarget.h"

class CMainFrame;

inline constexpr const char* kVersionLine = "Version: 1.09";

class CQorApp : public wxApp, public CCmdTarget {
public:
    CQorApp();

    bool OnInit() override;
    int FilterEvent(wxEvent& event) override;

    // The start-up sequence; false ends the program. splashMilliseconds is how long the splash
    // screen stays up unless a key or click hides it first.
    bool InitInstance(int splashMilliseconds = 1000);
    CMainFrame* GetMainFrame() const;
};

// "-Embedding", "-Automation", "/Embedding" or "/Automation" among the arguments.
bool HasAutomationSwitch(const std::vector<std::string>& args);
// The steps of start-up that need no window; shared by both ways of starting.
void InitProcessState();
// Runs without a window until SIGTERM or SIGINT; returns the exit code.
int RunAutomationServer();
