#pragma once
// What every dialog and secondary window of the program does alike: it opens centred over the
// main window, on that window's screen, no larger than a 1024x768 screen holds; Escape closes it
// as its close box does; and the open modal dialogs can all be ended at once, for a quit asked
// for from outside (a logout, kill).
#include <functional>
#include <vector>

#include <wx/modalhook.h>
#include <wx/toplevel.h>

// The largest outer size of a window that still fits a 1024x768 screen beside a panel and
// the window manager's title bar.
inline constexpr int kLargestWindowWidth = 1000;
inline constexpr int kLargestWindowHeight = 680;

// Shrinks the window to fit the largest size, then centres it over the main window (over the
// screen when there is none yet), kept inside the main window's screen.
void PlaceOverMainWindow(wxTopLevelWindow& window);

// Escape closes the window as the window manager's close button does (a dialog: as Cancel).
void CloseOnEscape(wxTopLevelWindow& window);

// Follows every modal dialog of the program, message boxes included: places each as it opens,
// and ends them all when the program is told to quit. Once quitting, a dialog that would still
// open is answered with Cancel at once.
class CModalDialogs : public wxModalDialogHook {
public:
    CModalDialogs();
    ~CModalDialogs() override;

    // The one of the program (registered by the application object).
    static CModalDialogs* Instance();

    std::size_t OpenCount() const { return m_open.size(); }
    bool IsQuitting() const { return m_quitting; }
    // Ends every open modal dialog as Cancel does, refuses new ones, and calls whenNoneOpen once
    // the last of them has returned to its caller (at once when none is open).
    void EndAllForQuit(std::function<void()> whenNoneOpen);
    // Back to normal (a test that started the program again).
    void Reset();
    // Each dialog that opens writes "dialog open: " and its title on the standard output.
    void SetTrace(bool trace) { m_trace = trace; }

protected:
    int Enter(wxDialog* dialog) override;
    void Exit(wxDialog* dialog) override;

private:
    void EndInnermost();
    void EndDialog(wxDialog* dialog);

    std::vector<wxDialog*> m_open;
    bool m_quitting = false;
    bool m_trace = false;
    std::function<void()> m_whenNoneOpen;
};
