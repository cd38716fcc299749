#pragma once
// A wxWidgets application for window tests: started once before the first test, with every
// settings file under a fresh XDG_CONFIG_HOME, and a watchdog so a test waiting on a window that
// never comes fails instead of hanging.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/utils.h>

#include "TempDir.h"

class WxTestEnvironment : public ::testing::Environment {
public:
    explicit WxTestEnvironment(unsigned watchdogSeconds = 120) : m_seconds(watchdogSeconds) {}
    void SetUp() override {
        std::signal(SIGALRM, [](int) {
            static const char msg[] = "window test watchdog: a test did not finish\n";
            (void)!write(2, msg, sizeof msg - 1);
            _exit(3);
        });
        alarm(m_seconds);
        m_config = std::make_unique<TempDir>();
        m_env = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", m_config->path());
        // The extractor component as the build registers it beside the programs.
        m_registry = std::make_unique<ScopedEnv>("KESTREL_CLASS_REGISTRY",
                                                 KESTREL_OUTPUT_DIR "/kestrel-classes.reg");
        static int argc = 1;
        static char name[] = "kestrel-test";
        static char* argv[] = {name, nullptr};
        wxApp::SetInstance(new wxApp);
        ASSERT_TRUE(wxEntryStart(argc, argv));
        wxTheApp->CallOnInit();
    }
    void TearDown() override {
        wxEntryCleanup();
        alarm(0);
    }

private:
    unsigned m_seconds;
    std::unique_ptr<TempDir> m_config;
    std::unique_ptr<ScopedEnv> m_env;
    std::unique_ptr<ScopedEnv> m_registry;
};

// Lets pending events, idle work and painting run.
inline void PumpEvents(int rounds = 5) {
    for (int i = 0; i < rounds; ++i) {
        wxYield();
        if (wxTheApp) wxTheApp->ProcessIdle();
    }
}
