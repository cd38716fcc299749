// The desktop program. With the automation or embedding switch it runs without a window (and
// without needing a display) until it is told to quit.
#include <string>
#include <vector>

#include <wx/app.h>

#include "app/QorApp.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (HasAutomationSwitch(args)) return RunAutomationServer();
    wxApp::SetInstance(new CQorApp);
    return wxEntry(argc, argv);
}
