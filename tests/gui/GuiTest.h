#pragma once
// The window tests' harness: wxWidgets started once per test program with the real application
// object, ways to let the program run, scripted answers to modal dialogs, clicks and choices as
// the user makes them, and GuiTest, a fixture with a settings and language folder of its own for
// tests that start the whole program.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <execinfo.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include <glib.h>

#include <wx/app.h>
#include <wx/aui/auibar.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/debug.h>
#include <wx/dialog.h>
#include <wx/init.h>
#include <wx/menu.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/treectrl.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include "TempDir.h"
#include "app/Settings.h"
#include "gui/MainFrame.h"
#include "gui/QorApp.h"
#include "locale/Language.h"
#include "res/Resource.h"

// What a dialog says: its title, then its message or the texts of its labels, for a failure
// message that tells which dialog came up.
inline std::string DialogText(wxDialog& dialog) {
    std::string text = "\"" + dialog.GetTitle().utf8_string() + "\"";
    if (auto* box = dynamic_cast<wxMessageDialogBase*>(&dialog))
        return text + ": " + box->GetMessage().utf8_string();
    std::function<void(wxWindow&)> labels = [&](wxWindow& window) {
        for (wxWindow* child : window.GetChildren()) {
            if (auto* label = dynamic_cast<wxStaticText*>(child))
                text += ": " + label->GetLabel().utf8_string();
            labels(*child);
        }
    };
    labels(dialog);
    return text;
}

// Where the program is, on stderr: a failure's message says how it came about.
inline void PrintStack() {
    void* frames[64];
    const int count = backtrace(frames, 64);
    backtrace_symbols_fd(frames, count, 2);
}

// A failed wxWidgets check is a fault of the program: the test that met it fails with the
// check's text and the stack, instead of a dialog nobody answers or a trap that says nothing.
inline void FailOnWxAssert(const wxString& file, int line, const wxString& func,
                           const wxString& cond, const wxString& msg) {
    const std::string what = "wxWidgets check \"" + cond.utf8_string() + "\" failed in " +
                             func.utf8_string() + " (" + file.utf8_string() + ":" +
                             std::to_string(line) + ")" +
                             (msg.empty() ? std::string() : ": " + msg.utf8_string());
    std::fprintf(stderr, "%s\n", what.c_str());
    PrintStack();
    ADD_FAILURE() << what;
}

// The toolkit's warnings, criticals and errors keep their usual text and add the stack; an
// error still ends the program (with a trap) once this has said where it came from.
inline void LogWithStack(const gchar* domain, GLogLevelFlags level, const gchar* message,
                         gpointer) {
    g_log_default_handler(domain, level, message, nullptr);
    if (level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) PrintStack();
}

// Any other trap (a debugger break compiled into a library) says where it came from too.
inline void SayWhereTrapped(int sig) {
    static const char msg[] = "window test trapped (SIGTRAP) at:\n";
    (void)!write(2, msg, sizeof msg - 1);
    PrintStack();
    std::signal(sig, SIG_DFL);
    raise(sig);
}

// Scripts alive now; while there is one, it answers the dialogs.
inline int& LiveModalScripts() {
    static int live = 0;
    return live;
}

// A dialog that comes up while no script is there to answer it would wait for a user who never
// comes: the test fails at once with what the dialog says, and the dialog is cancelled.
class UnexpectedDialogGuard : public wxModalDialogHook {
public:
    UnexpectedDialogGuard() { Register(); }

protected:
    int Enter(wxDialog* dialog) override {
        if (LiveModalScripts() > 0) return wxID_NONE;
        ADD_FAILURE() << "unexpected modal dialog " << DialogText(*dialog);
        return wxID_CANCEL;
    }
    void Exit(wxDialog*) override {}
};

// wxWidgets with the program's own application object, started once per test program (including
// this header registers it). Settings files go under a fresh XDG_CONFIG_HOME unless a test sets
// its own; the extractor component is the one the build registers beside the programs; a modal
// dialog nobody scripted fails the test that raised it; and a watchdog, set again as each test
// starts, makes a test that waits for a window that never comes fail instead of hang.
class WxEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::signal(SIGALRM, [](int) {
            static const char msg[] = "window test watchdog: a test did not finish\n";
            (void)!write(2, msg, sizeof msg - 1);
            _exit(3);
        });
        ::testing::UnitTest::GetInstance()->listeners().Append(new WatchdogRestarter);
        alarm(kWatchdogSeconds);
        std::signal(SIGTRAP, SayWhereTrapped);
        m_config = std::make_unique<TempDir>();
        m_env = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_config->path());
        m_registry = std::make_unique<ScopedEnv>("KESTREL_CLASS_REGISTRY",
                                                 KESTREL_OUTPUT_DIR "/kestrel-classes.reg");
        wxApp::SetInstance(new CQorApp);
        static int argc = 1;
        static char name[] = "kestrel-test";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display";
        wxSetAssertHandler(FailOnWxAssert);
        g_log_set_default_handler(LogWithStack, nullptr);
        wxTheApp->SetExitOnFrameDelete(false);
        m_guard = std::make_unique<UnexpectedDialogGuard>();
    }
    void TearDown() override {
        m_guard.reset();
        wxEntryCleanup();
        alarm(0);
    }

private:
    // Only a test that hangs meets it, however loaded the machine.
    static constexpr unsigned kWatchdogSeconds = 300;
    struct WatchdogRestarter : ::testing::EmptyTestEventListener {
        void OnTestStart(const ::testing::TestInfo&) override { alarm(kWatchdogSeconds); }
    };
    std::unique_ptr<TempDir> m_config;
    std::unique_ptr<ScopedEnv> m_env;
    std::unique_ptr<ScopedEnv> m_registry;
    std::unique_ptr<UnexpectedDialogGuard> m_guard;
};

inline auto* const g_wxEnvironment = ::testing::AddGlobalTestEnvironment(new WxEnvironment);

// Lets the program run until cond holds; says whether it held. The fail-safe only ends the wait
// of a test that fails (the event never comes): no machine is so slow that a sound program
// misses it.
inline bool PumpUntil(const std::function<bool()>& cond, int failSafeMs = 60000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(failSafeMs);
    while (true) {
        wxTheApp->Yield(true);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
        if (cond()) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
// Lets the program run for a while: only before checking that something does not happen, never
// to wait for something that should.
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

// Lets pending events, idle work and painting run.
inline void PumpEvents(int rounds = 5) {
    for (int i = 0; i < rounds; ++i) {
        wxYield();
        if (wxTheApp) wxTheApp->ProcessIdle();
    }
}

// With KESTREL_SCREENSHOTS naming a folder, saves a picture there as name.png for a person to
// look at; otherwise does nothing. A window given is grabbed itself (the X window of its place
// and size, with ImageMagick), since the screen's picture leaves windows of another depth (most
// dialogs) black; else the whole screen.
inline void SaveScreenshotIfAsked(const std::string& name, wxWindow* window = nullptr) {
    const char* folder = std::getenv("KESTREL_SCREENSHOTS");
    if (!folder || !*folder) return;
    // The window system draws on its own time: a person's look can wait for it.
    if (window) window->Refresh();
    PumpFor(300);
    // The standard places: a test may have narrowed PATH to its stand-ins.
    std::string command = "PATH=/usr/local/bin:/usr/bin:/bin; ", source = "root";
    if (window) {
        const wxRect r = window->GetScreenRect();
        const std::string size = std::to_string(r.width) + "x" + std::to_string(r.height);
        const std::string place = "\\+" + std::to_string(r.x) + "\\+" + std::to_string(r.y);
        command += "id=$(xwininfo -root -tree | awk '/ " + size + "\\+/ && / " + place +
                   "$/ {print $1; exit}'); test -n \"$id\" && ";
        source = "$id";
    }
    command += "convert x:" + source + " '" + folder + "/" + name + ".png'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "no screenshot: " << command;
}

// Waits until the window has been drawn on the screen, so that the input a test sends reaches it
// (a window shown is not yet one the X server maps and routes input to).
inline void WaitUntilDrawn(wxWindow& window) {
    auto drawn = std::make_shared<bool>(false);
    window.Bind(wxEVT_PAINT, [drawn](wxPaintEvent& event) {
        *drawn = true;
        event.Skip();
    });
    window.Refresh();
    EXPECT_TRUE(PumpUntil([&] { return *drawn; }));
}

// Moves the pointer to that point of the window and waits until it is there: the keys a test
// then presses go to the window under the pointer.
inline void PointAt(wxWindow& window, wxPoint offset) {
    const wxPoint at = window.GetScreenRect().GetPosition() + offset;
    wxUIActionSimulator().MouseMove(at);
    EXPECT_TRUE(PumpUntil([&] { return wxGetMousePosition() == at; }));
}

// A menu command sent to the main window, as the menu sends it.
inline void PostCommand(CMainFrame* frame, unsigned id) {
    wxCommandEvent event(wxEVT_MENU, res::WxId(id));
    event.SetEventObject(frame);
    frame->GetEventHandler()->ProcessEvent(event);
}

// The first window of that kind at or under w, depth first; nullptr when there is none.
template <typename T> T* FindChild(wxWindow* w) {
    if (auto* found = dynamic_cast<T*>(w)) return found;
    for (wxWindow* child : w->GetChildren())
        if (T* found = FindChild<T>(child)) return found;
    return nullptr;
}

// The control of that kind with that id among the window's children; throws when there is none.
template <typename T> T& Control(wxWindow& parent, unsigned id) {
    T* control = dynamic_cast<T*>(wxWindow::FindWindowById(static_cast<int>(id), &parent));
    if (!control) throw std::runtime_error("no control " + std::to_string(id));
    return *control;
}

// The first item with that text under from (the root when not given), depth first.
inline wxTreeItemId FindItem(wxTreeCtrl& tree, const std::string& text, wxTreeItemId from = {}) {
    if (!from.IsOk()) from = tree.GetRootItem();
    wxTreeItemIdValue cookie;
    for (wxTreeItemId c = tree.GetFirstChild(from, cookie); c.IsOk();
         c = tree.GetNextChild(from, cookie)) {
        if (tree.GetItemText(c).utf8_string() == text) return c;
        if (wxTreeItemId below = FindItem(tree, text, c); below.IsOk()) return below;
    }
    return {};
}

// Whether the menu shows the command enabled; its tool bar button, if it has one, must agree.
inline bool CommandEnabled(CMainFrame* frame, unsigned id) {
    frame->DoMenuUpdates();
    wxAuiToolBar* bar = frame->GetMainToolBar();
    bar->UpdateWindowUI(wxUPDATE_UI_FROMIDLE);
    const bool menu = frame->GetMenuBar()->IsEnabled(res::WxId(id));
    if (bar->FindTool(res::WxId(id))) {
        EXPECT_EQ(menu, bar->GetToolEnabled(res::WxId(id))) << id;
    }
    return menu;
}

// Stand-ins for the desktop's programs, in a folder of their own: each writes the line it was
// started with (its path and its arguments) to a log and exits as told.
class FakePrograms {
public:
    explicit FakePrograms(const TempDir& dir) : m_dir(dir) { m_dir.MakeDir("fakebin"); }
    void Add(const std::string& name, int exitCode) {
        std::string path =
            m_dir.Write("fakebin/" + name, "#!/bin/sh\necho \"$0 $*\" >> \"" + Log() + "\"\nexit " +
                                               std::to_string(exitCode) + "\n");
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    }
    std::string Folder() const { return m_dir / "fakebin"; }
    std::string Log() const { return m_dir / "fakebin.log"; }
    bool Ran(const std::string& text) const {
        return ReadFileText(Log()).find(text) != std::string::npos;
    }
    // The log once that many have started (they may run detached).
    std::string LogOf(long starts) const {
        std::string log;
        PumpUntil([&] {
            log = ReadFileText(Log());
            return std::count(log.begin(), log.end(), '\n') >= starts;
        });
        return log;
    }

private:
    const TempDir& m_dir;
};

// Answers the modal dialogs a test causes. Message boxes are recorded and answered at once
// without being shown; any other dialog is handed, inside its own modal loop, to the next
// scripted step, which must end it. A dialog with no step left for it is cancelled, and the test
// fails with the dialog's text.
class ModalScript : public wxModalDialogHook {
public:
    using Step = std::function<void(wxDialog& dialog)>;

    ModalScript() {
        ++LiveModalScripts();
        Register();
    }
    ~ModalScript() override {
        Unregister();
        --LiveModalScripts();
    }

    ModalScript& Then(Step step) {
        m_steps.push_back(std::move(step));
        return *this;
    }
    std::size_t PendingSteps() const { return m_steps.size(); }

    std::vector<std::string> messages;
    std::vector<std::string> unexpected;
    int yesNoAnswer = wxID_NO;

protected:
    int Enter(wxDialog* dialog) override {
        if (auto* box = dynamic_cast<wxMessageDialogBase*>(dialog)) {
            messages.push_back(box->GetMessage().utf8_string());
            return (box->GetMessageDialogStyle() & wxYES_NO) ? yesNoAnswer : wxID_OK;
        }
        if (m_steps.empty()) {
            unexpected.push_back(dialog->GetTitle().utf8_string());
            ADD_FAILURE() << "modal dialog with no step left for it: " << DialogText(*dialog);
            return wxID_CANCEL;
        }
        Step step = std::move(m_steps.front());
        m_steps.pop_front();
        wxTheApp->CallAfter([step, dialog] { step(*dialog); });
        return wxID_NONE;
    }
    void Exit(wxDialog*) override {}

private:
    std::deque<Step> m_steps;
};

// A click on the button with that id among the window's children, as the user makes it.
inline void ClickButton(wxWindow& parent, int id) {
    wxWindow* button = wxWindow::FindWindowById(id, &parent);
    ASSERT_NE(button, nullptr) << "no button " << id;
    wxCommandEvent event(wxEVT_BUTTON, id);
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
}

// Picks an entry of a drop-down list as the user does, with the notification that follows.
inline void ChooseEntry(wxChoice& choice, int index) {
    choice.SetSelection(index);
    wxCommandEvent event(wxEVT_CHOICE, choice.GetId());
    event.SetEventObject(&choice);
    event.SetInt(index);
    choice.GetEventHandler()->ProcessEvent(event);
}

class GuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        TheLanguage() = LanguageState{};
        SetLanguageProgramPath(dir / "bin/kestrel");
        dir.MakeDir("bin");
        TheSettings() = AppSettings{};
    }
    void TearDown() override {
        CloseFrame();
        CMainFrame::SetFolderPaneFactory({});
        TheLanguage() = LanguageState{};
        SetLanguageProgramPath({});
    }
    void InstallGerman() {
        std::filesystem::create_directories(dir / "bin/LANG");
        std::filesystem::copy_file(std::string(KESTREL_SOURCE_DIR) + "/res/LANG/German.lng",
                                   dir / "bin/LANG/German.lng");
    }
    std::string SettingsFile() { return dir / "config/VANDREL/KESTL/qor.ini"; }
    void WriteSettings(const std::string& programSetup) {
        dir.Write("config/VANDREL/KESTL/qor.ini",
                  "[Program Setup]\r\n" + programSetup + "[Option]\r\nHTMLItemNumber=10\r\n");
    }
    CMainFrame* Start() {
        CQorApp* app = static_cast<CQorApp*>(wxTheApp);
        EXPECT_TRUE(app->InitInstance(0));
        return TheMainFrame();
    }
    void CloseFrame() {
        if (CMainFrame* frame = TheMainFrame()) {
            frame->Close(true);
            PumpUntil([] { return TheMainFrame() == nullptr; });
        }
    }
    // The next run: the frame closed (which writes the settings) and started again with the
    // settings read from the file.
    CMainFrame* Restart() {
        CloseFrame();
        TheSettings() = AppSettings{};
        return Start();
    }

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv locale{"LC_ALL", "C"};
};
