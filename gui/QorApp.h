#pragma once
// The application object: start-up, the splash screen, the main frame.
#include <memory>
#include <string>
#include <vector>

#include <wx/app.h>

#include "gui/CmdTarget.h"

class CMainFrame;
class CModalDialogs;

inline constexpr const char* kVersionLine = "Version: 1.09";

class CQorApp : public wxApp, public CCmdTarget {
public:
    CQorApp();
    ~CQorApp() override;

    bool OnInit() override;
    int FilterEvent(wxEvent& event) override;

    // The start-up sequence; false ends the program. splashMilliseconds is how long the splash
    // screen stays up unless a key or click hides it first.
    bool InitInstance(int splashMilliseconds = 1000);
    CMainFrame* GetMainFrame() const;
    // SIGTERM, SIGINT or SIGHUP, from whatever state: the open dialogs end, a run is
    // cancelled, and the program ends as File > Exit ends it.
    void QuitFromOutside();
    // Lets those signals reach QuitFromOutside (start-up does it), and forgets an earlier quit.
    void InstallQuitSignals();

private:
    // The command named by KESTREL_START_COMMAND (a command id), run once the frame is up;
    // each modal dialog then says on the standard output that it opened.
    void RunStartCommand(CMainFrame& frame);

    std::unique_ptr<CModalDialogs> m_modalDialogs;
};

// "-Embedding", "-Automation", "/Embedding" or "/Automation" among the arguments.
bool HasAutomationSwitch(const std::vector<std::string>& args);
// The steps of start-up that need no window; shared by both ways of starting.
void InitProcessState();
// Runs without a window until SIGTERM or SIGINT; returns the exit code.
int RunAutomationServer();
