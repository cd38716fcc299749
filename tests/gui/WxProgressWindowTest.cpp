#include "GuiTest.h"

#include <optional>

#include <wx/button.h>
#include <wx/dialog.h>

#include "gui/WxProgressWindow.h"

// The main window with a run's progress window open over it; a test ends the run by resetting it.
class ProgressTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        frame = Start();
        progress.emplace(frame, "Progress", true);
        progress->Open("Progress", true);
    }
    void TearDown() override {
        progress.reset();
        GuiTest::TearDown();
    }
    CMainFrame* frame = nullptr;
    std::optional<CWxProgressWindow> progress;
};

TEST_F(ProgressTest, TheCaptionFollowsThePositionAndTheOwnerWaits) {
    EXPECT_FALSE(frame->IsEnabled());
    EXPECT_EQ(progress->GetDisabledOwner(), frame);
    progress->SetRange(0, 3, 1);
    for (const char* title : {"Progress [33%]", "Progress [67%]", "Progress [100%]"}) {
        progress->StepIt();
        EXPECT_EQ(progress->GetWindow()->GetTitle(), title);
    }
    EXPECT_EQ(progress->GetCancelButton()->GetLabel(), " Cancel ");
    SaveScreenshotIfAsked("progress");
    // Over the middle of the main window, whatever window owns it.
    const wxRect at = progress->GetWindow()->GetScreenRect(), over = frame->GetScreenRect();
    EXPECT_NEAR(at.x + at.width / 2, over.x + over.width / 2, 2);
    EXPECT_NEAR(at.y + at.height / 2, over.y + over.height / 2, 2);
    // The button stays inside the window whatever the font.
    wxRect client(progress->GetWindow()->GetClientSize());
    EXPECT_TRUE(client.Contains(progress->GetCancelButton()->GetRect()));
    EXPECT_FALSE(progress->PumpAndCheckCancel(true));
    progress->Close();
    EXPECT_TRUE(frame->IsEnabled());
    EXPECT_EQ(progress->GetWindow(), nullptr);
}

TEST_F(ProgressTest, AClickOnCancelCancels) {
    WaitUntilDrawn(*progress->GetWindow());
    wxButton* button = progress->GetCancelButton();
    PointAt(*button, wxPoint(button->GetSize().x / 2, button->GetSize().y / 2));
    wxUIActionSimulator().MouseClick();
    EXPECT_TRUE(PumpUntil([&] { return progress->PumpAndCheckCancel(false); }));
    EXPECT_FALSE(progress->GetWindow()->IsShown());
    // A later position shows the window again; the run decides when to stop.
    progress->StepIt();
    EXPECT_TRUE(progress->GetWindow()->IsShown());
    EXPECT_TRUE(progress->PumpAndCheckCancel(false));
    progress->Close();
    EXPECT_TRUE(frame->IsEnabled());
}

TEST_F(ProgressTest, EscapeCancelsOnlyWhenTheRunAllowsIt) {
    wxDialog* window = progress->GetWindow();
    WaitUntilDrawn(*window);
    for (bool allowEscape : {false, true}) {
        PointAt(*window, wxPoint(40, 40));
        wxUIActionSimulator().Char(WXK_ESCAPE);
        if (allowEscape) {
            EXPECT_TRUE(PumpUntil([&] { return progress->PumpAndCheckCancel(true); }));
        } else { // the key is let through and forgotten
            PumpFor(300);
            EXPECT_FALSE(progress->PumpAndCheckCancel(false));
        }
    }
}

TEST_F(ProgressTest, ClosingTheFrameDuringARunWaitsForItsEnd) {
    frame->Close();
    PumpFor(100);
    ASSERT_EQ(TheMainFrame(), frame);
    EXPECT_FALSE(progress->PumpAndCheckCancel(true));
    progress.reset();
    EXPECT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
}

TEST_F(ProgressTest, AForcedCloseDuringARunLeavesTheProgressWindowHarmless) {
    frame->Close(true);
    ASSERT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
    // The window went with its owner; the run can still step, pump and close.
    EXPECT_EQ(progress->GetWindow(), nullptr);
    EXPECT_EQ(progress->GetDisabledOwner(), nullptr);
    progress->StepIt();
    progress->SetStatusLine("still running");
    EXPECT_FALSE(progress->PumpAndCheckCancel(true));
    progress->Close();
}

TEST_F(ProgressTest, AQuitSignalDuringARunCancelsItAndClosesWhenItEnds) {
    TheSettings().LastFileFolder = "/during/the/run";
    raise(SIGTERM);
    // The run learns it at its next look, as if Cancel had been pressed; Escape or not.
    EXPECT_TRUE(PumpUntil([&] { return progress->PumpAndCheckCancel(false); }));
    ASSERT_EQ(TheMainFrame(), frame);
    progress.reset();
    EXPECT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
    EXPECT_NE(ReadFileText(SettingsFile()).find("LastFileFolder=/during/the/run"),
              std::string::npos);
}
