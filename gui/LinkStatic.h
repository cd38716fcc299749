#pragma once
// A text that is a link: coloured, underlined while the mouse is over it, a hand cursor, a tool
// tip with the address; a click opens the address with the desktop and marks it visited.
#include <functional>
#include <string>

#include <wx/font.h>
#include <wx/generic/stattextg.h>
#include <wx/timer.h>

class CLinkStatic : public wxGenericStaticText {
public:
    CLinkStatic(wxWindow* parent, wxWindowID id, const wxString& text);

    void SetLink(const std::string& link);
    const std::string& GetLink() const { return m_link; }
    // Opens the address; reports the outcome to done (a launch error code, or 33 on success).
    static void OpenLink(const std::string& address, std::function<void(int result)> done);
    void MarkVisited(bool visited);
    bool IsVisited() const { return m_visited; }
    bool IsHovering() const { return m_hovering; }
    // -1: underlined only while the mouse is over it; 1: always; 0: never.
    void SetUnderlineMode(int mode);
    void FitToText();
    static void ShowOpenError(int launchError);

    // A click, as the user makes it.
    void Click();

    wxColour LinkColour() const { return m_linkColour; }
    wxColour VisitedColour() const { return m_visitedColour; }
    wxColour HoverColour() const { return m_hoverColour; }

private:
    void UpdateLook();
    void OnMotion(wxMouseEvent& event);
    void OnWatch(wxTimerEvent& event);

    wxColour m_linkColour{0, 0, 0xEE};
    wxColour m_visitedColour{0x55, 0x1A, 0x8B};
    wxColour m_hoverColour{0xFF, 0, 0};
    bool m_hovering = false;
    bool m_visited = false;
    int m_underlineMode = -1;
    bool m_fitToText = true;
    std::string m_link;
    wxFont m_plainFont;
    wxFont m_underlinedFont;
    wxTimer m_watch;
};
