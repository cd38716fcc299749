#include "GuiTest.h"

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/uiaction.h>

#include "gui/WxProgressWindow.h"

TEST_F(GuiTest, ProgressCaptionFollowsThePositionAndTheOwnerWaits) {
    CMainFrame* frame = Start();
    CWxProgressWindow progress(frame, "Progress", true);
    progress.Open("Progress", true);
    EXPECT_FALSE(frame->IsEnabled());
    EXPECT_EQ(progress.GetDisabledOwner(), frame);
    progress.SetRange(0, 3, 1);
    progress.StepIt();
    EXPECT_EQ(progress.GetWindow()->GetTitle(), "Progress [33%]");
    progress.StepIt();
    EXPECT_EQ(progress.GetWindow()->GetTitle(), "Progress [67%]");
    progress.StepIt();
    EXPECT_EQ(progress.GetWindow()->GetTitle(), "Progress [100%]");
    EXPECT_EQ(progress.GetCancelButton()->GetLabel(), " Cancel ");
    SaveScreenshotIfAsked("progress");
    // Over the middle of the main window, whatever window owns it.
    const wxRect at = progress.GetWindow()->GetScreenRect(), over = frame->GetScreenRect();
    EXPECT_NEAR(at.x + at.width / 2, over.x + over.width / 2, 2);
    EXPECT_NEAR(at.y + at.height / 2, over.y + over.height / 2, 2);
    // The button stays inside the window whatever the font.
    wxRect client(progress.GetWindow()->GetClientSize());
    EXPECT_TRUE(client.Contains(progress.GetCancelButton()->GetRect()));
    EXPECT_FALSE(progress.PumpAndCheckCancel(true));
    progress.Close();
    EXPECT_TRUE(frame->IsEnabled());
    EXPECT_EQ(progress.GetWindow(), nullptr);
}

TEST_F(GuiTest, ProgressIsCancelledByAClickOnCancel) {
    CMainFrame* frame = Start();
    CWxProgressWindow progress(frame, "Progress", true);
    progress.Open("Progress", true);
    WaitUntilDrawn(*progress.GetWindow());
    wxButton* button = progress.GetCancelButton();
    PointAt(*button, wxPoint(button->GetSize().x / 2, button->GetSize().y / 2));
    wxUIActionSimulator().MouseClick();
    EXPECT_TRUE(PumpUntil([&] { return progress.PumpAndCheckCancel(false); }));
    EXPECT_FALSE(progress.GetWindow()->IsShown());
    // A later position shows the window again; the run decides when to stop.
    progress.StepIt();
    EXPECT_TRUE(progress.GetWindow()->IsShown());
    EXPECT_TRUE(progress.PumpAndCheckCancel(false));
    progress.Close();
    EXPECT_TRUE(frame->IsEnabled());
}

TEST_F(GuiTest, EscapeCancelsOnlyWhenTheRunAllowsIt) {
    CMainFrame* frame = Start();
    CWxProgressWindow progress(frame, "Progress", true);
    progress.Open("Progress", true);
    wxDialog* window = progress.GetWindow();
    WaitUntilDrawn(*window);
    auto pressEscape = [&] {
        PointAt(*window, wxPoint(40, 40)); // the keys go to the window under the pointer
        wxUIActionSimulator().Char(WXK_ESCAPE);
    };
    pressEscape();
    // Without leave to escape the key is let through and forgotten.
    PumpFor(300);
    EXPECT_FALSE(progress.PumpAndCheckCancel(false));
    pressEscape();
    EXPECT_TRUE(PumpUntil([&] { return progress.PumpAndCheckCancel(true); }));
    progress.Close();
}

TEST_F(GuiTest, ClosingTheFrameDuringARunWaitsForItsEnd) {
    CMainFrame* frame = Start();
    {
        CWxProgressWindow progress(frame, "Progress", true);
        progress.Open("Progress", true);
        frame->Close();
        PumpFor(100);
        ASSERT_EQ(TheMainFrame(), frame);
        EXPECT_FALSE(progress.PumpAndCheckCancel(true));
    }
    EXPECT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
}

TEST_F(GuiTest, AForcedCloseDuringARunLeavesTheProgressWindowHarmless) {
    CMainFrame* frame = Start();
    CWxProgressWindow progress(frame, "Progress", true);
    progress.Open("Progress", true);
    frame->Close(true);
    ASSERT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
    // The window went with its owner; the run can still step, pump and close.
    EXPECT_EQ(progress.GetWindow(), nullptr);
    EXPECT_EQ(progress.GetDisabledOwner(), nullptr);
    progress.StepIt();
    progress.SetStatusLine("still running");
    EXPECT_FALSE(progress.PumpAndCheckCancel(true));
    progress.Close();
}

TEST_F(GuiTest, AQuitSignalDuringARunCancelsItAndClosesWhenItEnds) {
    CMainFrame* frame = Start();
    TheSettings().LastFileFolder = "/during/the/run";
    {
        CWxProgressWindow progress(frame, "Progress", true);
        progress.Open("Progress", true);
        raise(SIGTERM);
        // The run learns it at its next look, as if Cancel had been pressed; Escape or not.
        EXPECT_TRUE(PumpUntil([&] { return progress.PumpAndCheckCancel(false); }));
        ASSERT_EQ(TheMainFrame(), frame);
    }
    EXPECT_TRUE(PumpUntil([] { return TheMainFrame() == nullptr; }));
    EXPECT_NE(ReadFileText(SettingsFile()).find("LastFileFolder=/during/the/run"),
              std::string::npos);
}
