#pragma once
// A wxWidgets application for window tests: started once before the first test, with every
// settings file under a fresh XDG_CONFIG_HOME, and a watchdog so a test waiting on a window that
// never comes fails instead of hanging.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/dialog.h>
#include <wx/init.h>
#include <wx/modalhook.h>
#include <wx/msgdlg.h>
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

// Answers the modal dialogs a test causes. Message boxes are recorded and answered at once
// without being shown; any other dialog is handed, inside its own modal loop, to the next
// scripted step, which must end it. A dialog nobody scripted is cancelled and recorded.
class ModalScript : public wxModalDialogHook {
public:
    using Step = std::function<void(wxDialog& dialog)>;

    ModalScript() { Register(); }
    ~ModalScript() override { Unregister(); }

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
