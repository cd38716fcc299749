#include "gui/DesktopOpener.h"

#include <memory>

#include <wx/app.h>
#include <wx/log.h>
#include <wx/process.h>
#include <wx/utils.h>

#include "app/DesktopCommands.h"
#include "gui/DesktopUi.h"
#include "platform/UserInterface.h"

namespace {

class CWatchedProcess : public wxProcess {
public:
    explicit CWatchedProcess(std::function<void(int)> done) : m_done(std::move(done)) {}
    void OnTerminate(int, int status) override {
        auto done = std::move(m_done);
        delete this;
        if (done) done(status);
    }

private:
    std::function<void(int)> m_done;
};

} // namespace

void RunDesktopCommand(const std::vector<std::string>& argv, std::function<void(int)> done) {
    std::vector<const char*> args;
    for (const std::string& a : argv)
        args.push_back(a.c_str());
    args.push_back(nullptr);
    auto* process = new CWatchedProcess(done);
    long pid = 0;
    {
        // The toolkit would log its own error; the caller reports the failure in its words.
        wxLogNull quiet;
        pid = argv.empty() ? 0 : wxExecute(args.data(), wxEXEC_ASYNC, process);
    }
    if (pid == 0) {
        delete process;
        if (done && wxTheApp) wxTheApp->CallAfter([done] { done(-1); });
    }
}

void OpenWithDesktop(const std::string& target) {
    RunDesktopCommand({"xdg-open", target}, [target](int status) {
        if (status != 0)
            CWxMessageBox().ShowMessage(OpenFailedMessage(target), kAppTitle, MessageIcon::Warning);
    });
}
