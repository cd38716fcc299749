// The desktop program. With the automation or embedding switch it runs without a window (and
// without needing a display) until it is told to quit.
#include <cstdio>
#include <string>
#include <vector>

#include <wx/app.h>

#include "gui/ExpressFolderView.h"
#include "gui/MainFrame.h"
#include "gui/QorApp.h"

#ifndef KESTREL_VERSION
#define KESTREL_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    // Answered before the window system starts, so they work without a display.
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("kestrel %s\n", KESTREL_VERSION);
        return 0;
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("usage: kestrel [-Embedding | -Automation]\n\n"
                    "Opens Kestrel's main window. With -Embedding or -Automation it shows no "
                    "window and runs\nuntil it gets SIGTERM. kestrel-cli does the same work "
                    "without a window.\n");
        return 0;
    }
    if (HasAutomationSwitch(args)) return RunAutomationServer();
    // Pane (0,0) is the mail folder view; window tests of the frame alone keep a placeholder.
    CMainFrame::SetFolderPaneFactory([](wxWindow* parent, CExpressFolderView*& view) {
        view = new CExpressFolderView(parent);
        return static_cast<wxWindow*>(view);
    });
    wxApp::SetInstance(new CQorApp);
    return wxEntry(argc, argv);
}
