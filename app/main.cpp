// The desktop program. With the automation or embedding switch it runs without a window (and
// without needing a display) until it is told to quit.
#include <string>
#include <vector>

#include <wx/app.h>

#include "app/MainFrame.h"
#include "app/QorApp.h"
#include "store/ExpressFolderView.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (HasAutomationSwitch(args)) return RunAutomationServer();
    // Pane (0,0) is the mail folder view; window tests of the frame alone keep a placeholder.
    CMainFrame::SetFolderPaneFactory([](wxWindow* parent, CExpressFolderView*& view) {
        view = new CExpressFolderView(parent);
        return static_cast<wxWindow*>(view);
    });
    wxApp::SetInstance(new CQorApp);
    return wxEntry(argc, argv);
}
