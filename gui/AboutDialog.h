#pragma once
// Help > About: the picture, the version, the credits scrolling upwards on a timer with their
// separator pictures, and the link to the project's page in the help book. A click anywhere
// but on the link closes it.
#include <memory>

#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/timer.h>

#include "app/AboutCredits.h"

class CLinkStatic;
class wxPanel;

class CAboutBox : public wxDialog {
public:
    explicit CAboutBox(wxWindow* parent);

    CLinkStatic* GetLink() const { return m_link; }
    wxPanel* GetCreditsPanel() const { return m_panel; }
    const CCreditScroller& GetScroller() const { return m_scroller; }
    bool IsScrolling() const { return m_scrolling; }
    // Tests drive the credits themselves, tick by tick: the box's own timer stays still.
    static void UseOwnTimer(bool use);
    // What the credits panel shows.
    const wxBitmap& GetCanvas() const { return m_canvas; }
    // One step of the credits, as the timer makes it.
    void Tick();

private:
    void PaintRow();

    CLinkStatic* m_link = nullptr;
    wxPanel* m_panel = nullptr;
    CCreditScroller m_scroller;
    wxBitmap m_canvas;
    wxBitmap m_picture;
    wxTimer m_timer;
    bool m_scrolling = true;
};

// The pictures of the box by name (IDB_SEPARATOR); not ok for a name it does not have.
wxBitmap LoadAboutPicture(const std::string& name);
