#pragma once
// Window tests: wxWidgets is started once per test program with the real application object;
// each test gets its own settings folder and language folder and pumps events with a fail-safe.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include <wx/app.h>
#include <wx/init.h>

#include "TempDir.h"
#include "app/Settings.h"
#include "gui/MainFrame.h"
#include "gui/QorApp.h"
#include "locale/Language.h"

class WxEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        wxApp::SetInstance(new CQorApp);
        static int argc = 1;
        static char name[] = "kestrel-test";
        static char* argv[] = {name, nullptr};
        ASSERT_TRUE(wxEntryStart(argc, argv)) << "no display";
        wxTheApp->SetExitOnFrameDelete(false);
    }
    void TearDown() override { wxEntryCleanup(); }
};

// Lets the program run until cond holds or the fail-safe runs out; says whether it held.
inline bool PumpUntil(const std::function<bool()>& cond, int failSafeMs = 5000) {
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
inline void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
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

    TempDir dir;
    ScopedEnv config{"XDG_CONFIG_HOME", dir / "config"};
    ScopedEnv locale{"LC_ALL", "C"};
};
