#include "gui/LinkStatic.h"

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/msgdlg.h>
#include <wx/settings.h>
#include <wx/utils.h>
#include <wx/weakref.h>

#include "app/DesktopCommands.h"
#include "gui/DesktopOpener.h"
#include "platform/UserInterface.h"

namespace {
constexpr int kWatchTimerId = 100;
constexpr int kWatchMilliseconds = 100;
constexpr int kLaunchSucceeded = 33;
} // namespace

CLinkStatic::CLinkStatic(wxWindow* parent, wxWindowID id, const wxString& text)
    : wxGenericStaticText(parent, id, text), m_watch(this, kWatchTimerId) {
    m_link = text.utf8_string();
    wxFont font = GetFont();
    if (!font.IsOk()) font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    m_plainFont = font;
    m_underlinedFont = font.Underlined();
    SetCursor(wxCursor(wxCURSOR_HAND));
    SetToolTip(wxString::FromUTF8(m_link));
    UpdateLook();
    FitToText();

    Bind(wxEVT_MOTION, &CLinkStatic::OnMotion, this);
    Bind(wxEVT_ENTER_WINDOW, &CLinkStatic::OnMotion, this);
    Bind(wxEVT_TIMER, &CLinkStatic::OnWatch, this, kWatchTimerId);
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent&) { Click(); });
}

void CLinkStatic::SetLink(const std::string& link) {
    m_link = link;
    FitToText();
    SetToolTip(wxString::FromUTF8(link));
}

void CLinkStatic::OpenLink(const std::string& address, std::function<void(int)> done) {
    RunDesktopCommand({"xdg-open", address}, [done](int status) {
        if (done) done(status == 0 ? kLaunchSucceeded : LaunchErrorFromOpenerStatus(status));
    });
}

void CLinkStatic::MarkVisited(bool visited) {
    m_visited = visited;
    UpdateLook();
}

void CLinkStatic::SetUnderlineMode(int mode) {
    if (mode != m_underlineMode) {
        m_underlineMode = mode;
        UpdateLook();
    }
}

void CLinkStatic::FitToText() {
    if (!m_fitToText) return;
    wxClientDC dc(this);
    dc.SetFont(m_underlinedFont);
    wxSize extent = dc.GetTextExtent(GetLabel());
    SetMinSize(extent);
    SetSize(extent);
    if (GetParent()) GetParent()->Layout();
}

void CLinkStatic::ShowOpenError(int launchError) {
    wxMessageDialog(wxTheApp ? wxTheApp->GetTopWindow() : nullptr,
                    wxString::FromUTF8(HyperlinkErrorMessage(launchError)), kAppTitle,
                    wxOK | wxICON_EXCLAMATION)
        .ShowModal();
}

void CLinkStatic::Click() {
    m_hovering = false;
    m_watch.Stop();
    UpdateLook();
    wxWeakRef<CLinkStatic> self(this);
    OpenLink(m_link, [self](int result) {
        if (result > 32) {
            if (self) self->MarkVisited(true);
            return;
        }
        wxBell();
        ShowOpenError(result);
    });
}

void CLinkStatic::UpdateLook() {
    SetForegroundColour(m_hovering ? m_hoverColour : m_visited ? m_visitedColour : m_linkColour);
    bool underline = m_underlineMode == 1 || (m_underlineMode == -1 && m_hovering);
    SetFont(underline ? m_underlinedFont : m_plainFont);
    Refresh();
}

void CLinkStatic::OnMotion(wxMouseEvent& event) {
    if (!m_hovering) {
        m_hovering = true;
        UpdateLook();
        m_watch.Start(kWatchMilliseconds);
    }
    event.Skip();
}

void CLinkStatic::OnWatch(wxTimerEvent&) {
    wxPoint mouse = ScreenToClient(wxGetMousePosition());
    if (wxRect(GetClientSize()).Contains(mouse)) return;
    m_hovering = false;
    m_watch.Stop();
    UpdateLook();
}
