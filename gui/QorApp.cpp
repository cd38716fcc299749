#include "gui/QorApp.h"

#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <strings.h>

#include <wx/iconbndl.h>
#include <wx/image.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "app/Settings.h"
#include "gui/AboutDialog.h"
#include "gui/DialogWindows.h"
#include "gui/EditKeys.h"
#include "gui/LongOperation.h"
#include "gui/MainFrame.h"
#include "gui/SplashScreen.h"
#include "gui/WxText.h"
#include "locale/Language.h"
#include "platform/ErrorLog.h"
#include "platform/FileSystem.h"
#include "platform/ProgramFolders.h"
#include "platform/SeException.h"
#include "platform/UserInterface.h"
#include "res/Resource.h"

CQorApp::CQorApp() : m_modalDialogs(std::make_unique<CModalDialogs>()) {
    // Faults inside guarded calls arrive as CSeException from the start.
    InstallFaultTranslator();
    OnCommand(res::ID_APP_ABOUT, [](wxCommandEvent&) {
        CAboutBox box(wxTheApp->GetTopWindow());
        box.ShowModal();
    });
}

CQorApp::~CQorApp() = default;

bool HasAutomationSwitch(const std::vector<std::string>& args) {
    for (const std::string& a : args) {
        if (a.size() < 2 || (a[0] != '-' && a[0] != '/')) continue;
        const char* name = a.c_str() + 1;
        if (strcasecmp(name, "Embedding") == 0 || strcasecmp(name, "Automation") == 0) return true;
    }
    return false;
}

void InitProcessState() {
    LoadStartupLanguage();
    CErrorLog& log = TheErrorLog();
    log.Open("errorlog.txt", true);
    log.SetEnabled(true);
    log.SetTimeStamp(true);
    LoadSettings();
}

int RunAutomationServer() {
    InitProcessState();
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    int sig = 0;
    sigwait(&set, &sig);
    return 0;
}

namespace {
// GTK 3 leaves pictures out of menus unless the setting asks for them; the menu shows the tool
// bar's pictures beside the same commands. Looked up at run time: the toolkit is already loaded
// by wxWidgets, and nothing else of it is needed at build time.
void ShowMenuPictures() {
#ifdef __WXGTK__
    using GetDefault = void* (*)();
    using ObjectSet = void (*)(void*, const char*, ...);
    auto getDefault = reinterpret_cast<GetDefault>(dlsym(RTLD_DEFAULT, "gtk_settings_get_default"));
    auto objectSet = reinterpret_cast<ObjectSet>(dlsym(RTLD_DEFAULT, "g_object_set"));
    if (!getDefault || !objectSet) return;
    if (void* settings = getDefault()) objectSet(settings, "gtk-menu-images", 1, nullptr);
#endif
}
} // namespace

// The program's icon at the theme's sizes, from the folder beside it in the build, or from the
// theme of its installation, so the window shows it under any window manager.
static wxIconBundle LoadProgramIcons() {
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    wxIconBundle icons;
    const std::string& theme = platform::GetProgramFolders().icons;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        std::string edge = std::to_string(size);
        std::string path = theme + "/" + edge + "x" + edge + "/apps/kestrel.png";
        if (platform::IsRegularFile(path)) icons.AddIcon(Wx(path), wxBITMAP_TYPE_PNG);
    }
    return icons;
}

bool CQorApp::OnInit() {
    // The program has no options of its own; the automation switch is handled before the
    // window system starts.
    return InitInstance();
}

bool CQorApp::InitInstance(int splashMilliseconds) {
    InitProcessState();

    CSplashScreen::SetVersionLine(kVersionLine);
    CSplashScreen::EnableSplashScreen(true);
    CSplashScreen::ShowSplashScreen(nullptr);
    // Keep the splash up for its time while letting a key or click through to hide it.
    wxStopWatch watch;
    while (CSplashScreen::IsShowing() && watch.Time() < splashMilliseconds) {
        Yield(true);
        wxMilliSleep(10);
    }
    if (CSplashScreen::IsShowing()) CSplashScreen::HideSplashScreen();

    InstallQuitSignals();

    ShowMenuPictures();

    auto* frame = new CMainFrame;
    SetTopWindow(frame);
    frame->SetIcons(LoadProgramIcons());
    frame->SetTitle(kAppTitle);
    frame->Maximize(true);
    frame->Show(true);
    frame->Update();
    // Showing the frame activates it; without a window manager no activation event comes.
    if (!frame->IsFirstActivationDone()) frame->HandleActivation();
    RunStartCommand(*frame);
    return true;
}

void CQorApp::RunStartCommand(CMainFrame& frame) {
    // The checks of the whole program open a dialog this way and learn when it is up.
    const char* command = std::getenv("KESTREL_START_COMMAND");
    if (!command || !*command) return;
    m_modalDialogs->SetTrace(true);
    const int id = res::WxId(static_cast<unsigned>(std::atoi(command)));
    CallAfter([&frame, id] {
        wxCommandEvent event(wxEVT_MENU, id);
        event.SetEventObject(&frame);
        frame.GetEventHandler()->ProcessEvent(event);
    });
}

void CQorApp::InstallQuitSignals() {
    // The toolkit only notes the signal in its handler and hands it to the main loop through a
    // pipe that loop watches: the quit runs there, in whatever loop is running then.
    m_modalDialogs->Reset();
    CLongOperation::RequestCancel(false);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        SetSignalHandler(sig, [](int) { static_cast<CQorApp*>(wxTheApp)->QuitFromOutside(); });
}

void CQorApp::QuitFromOutside() {
    // A run stops at its next look at its progress window; every dialog ends as Cancel does,
    // the innermost first; then the frame closes as File > Exit does (once a run is over),
    // which saves the settings.
    CLongOperation::RequestCancel();
    m_modalDialogs->EndAllForQuit([] {
        if (CMainFrame* frame = TheMainFrame())
            frame->Close();
        else if (wxTheApp)
            wxTheApp->ExitMainLoop();
    });
}

int CQorApp::FilterEvent(wxEvent& event) {
    if (CSplashScreen::PreTranslateAppMessage(event)) return Event_Processed;
    if (FilterEditKeys(event)) return Event_Processed;
    return Event_Skip;
}

CMainFrame* CQorApp::GetMainFrame() const {
    return TheMainFrame();
}
