#include "gui/WxProgressWindow.h"

#include <algorithm>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/settings.h>
#include <wx/stattext.h>

#include "gui/DialogWindows.h"
#include "gui/LongOperation.h"
#include "gui/WxText.h"

namespace {
constexpr int kStatusLines = 4;

int EdgeWidth() {
    int e = wxSystemSettings::GetMetric(wxSYS_EDGE_X);
    return e > 0 ? e : 2;
}
} // namespace

CWxProgressWindow::CWxProgressWindow(wxWindow* owner, const std::string& title, bool smooth)
    : m_owner(owner) {
    SetBaseTitle(title);
    Create(title, smooth);
}

CWxProgressWindow::~CWxProgressWindow() {
    Close();
}

void CWxProgressWindow::Create(const std::string& title, bool smooth) {
    wxWindow* owner = m_owner ? m_owner : (wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
    m_window =
        new wxDialog(owner, wxID_ANY, Wx(title), wxDefaultPosition, wxSize(400, 250), wxCAPTION);
    m_window->SetCursor(wxCursor(wxCURSOR_ARROWWAIT));
    m_window->SetFont(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT));
    m_titleLine = new wxStaticText(m_window, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                   wxDefaultSize, wxST_NO_AUTORESIZE | wxST_ELLIPSIZE_END);
    m_statusLine = new wxStaticText(m_window, wxID_ANY, wxEmptyString, wxDefaultPosition,
                                    wxDefaultSize, wxST_NO_AUTORESIZE);
    m_bar = new wxGauge(m_window, wxID_ANY, 100, wxDefaultPosition, wxDefaultSize,
                        wxGA_HORIZONTAL | (smooth ? wxGA_SMOOTH : 0));
    m_button = new wxButton(m_window, wxID_CANCEL, WxTr(res::TextId::ProgressCancel));
    Layout();

    m_button->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        if (m_active) Cancel();
    });
    // Escape is only noted here: whether it cancels is up to the operation's next pump.
    m_window->Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_ESCAPE)
            m_escapePending = true;
        else
            e.Skip();
    });
    // The title bar's close box counts as Cancel; the operation still owns the window.
    m_window->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
        if (e.CanVeto()) e.Veto();
        if (m_active) Cancel();
    });
    PlaceOverMainWindow(*m_window);
}

void CWxProgressWindow::Layout() {
    const int e = EdgeWidth();
    wxClientDC dc(m_window);
    dc.SetFont(m_window->GetFont());
    int lineHeight = dc.GetCharHeight();
    wxSize label = dc.GetTextExtent(m_button->GetLabel() + "  ");

    m_titleLine->SetSize(10, 10, 360, 80);
    int statusTop = 40;
    int statusHeight = lineHeight * kStatusLines;
    m_statusLine->SetSize(10, statusTop, 390, statusHeight);

    // As wide as the label plus room, and never smaller than the toolkit draws a button.
    wxSize best = m_button->GetBestSize();
    int buttonWidth = std::max(label.x + 4 * e, best.x);
    int buttonHeight = std::max(label.y + 3 * e, best.y);
    int buttonTop = statusTop + statusHeight + 10;
    int buttonLeft = 370 - buttonWidth;
    m_button->SetSize(buttonLeft, buttonTop, buttonWidth, buttonHeight);
    m_bar->SetSize(10, buttonTop + e, buttonLeft - 10 - 10, buttonHeight - 2 * e);

    // The button must stay inside the window whatever the font's height.
    int clientHeight = std::max(110 + buttonHeight, buttonTop + buttonHeight + 10);
    m_window->SetClientSize(380, clientHeight);
}

void CWxProgressWindow::Open(const std::string& title, bool smooth) {
    if (!m_window) Create(title, smooth);
    if (m_active) return;
    // Disable the top-most enabled window above this one; the rest of the program waits.
    wxWindow* top = nullptr;
    for (wxWindow* w = m_window->GetParent(); w && w->IsEnabled(); w = w->GetParent())
        top = w;
    if (top) {
        top->Disable();
        m_disabledOwner = top;
    }
    m_window->Enable();
    m_active = true;
    CLongOperation::Begin();
    m_window->Show();
    m_window->Raise();
    m_button->SetFocus();
}

void CWxProgressWindow::SetTitleLine(const std::string& text) {
    if (m_window && m_titleLine) m_titleLine->SetLabel(Wx(text));
}

void CWxProgressWindow::SetStatusLine(const std::string& text) {
    if (m_window && m_statusLine) m_statusLine->SetLabel(Wx(text));
}

bool CWxProgressWindow::PumpAndCheckCancel(bool allowEscape) {
    if (m_cancelled) return true;
    if (CLongOperation::IsCancelRequested()) {
        Cancel();
        return true;
    }
    if (m_active && m_window && m_window->IsShown() && !m_window->HasFocus() &&
        !m_button->HasFocus())
        m_button->SetFocus();
    // Everything else is disabled, so what runs here is painting, Cancel and Escape.
    if (wxTheApp) wxTheApp->Yield(true);
    if (CLongOperation::IsCancelRequested() && !m_cancelled) Cancel();
    if (m_escapePending) {
        m_escapePending = false;
        if (allowEscape && !m_cancelled) Cancel();
    }
    return m_cancelled;
}

void CWxProgressWindow::Cancel() {
    m_cancelled = true;
    if (m_window) m_window->Hide();
    if (wxWindow* main = wxTheApp ? wxTheApp->GetTopWindow() : nullptr) main->Raise();
}

void CWxProgressWindow::Close() {
    if (m_active) {
        m_active = false;
        if (wxWindow* owner = m_disabledOwner.get()) owner->Enable();
        m_disabledOwner.Release();
        CLongOperation::End();
    }
    if (m_window) {
        m_window->Hide();
        m_window->Destroy();
        m_window.Release();
        m_titleLine = m_statusLine = nullptr;
        m_bar = nullptr;
        m_button = nullptr;
    }
}

void CWxProgressWindow::OnRangeChanged() {
    if (m_window && m_bar) m_bar->SetRange(std::max(1, GetUpper() - GetLower()));
}

void CWxProgressWindow::OnPositionChanged() {
    if (!m_window) return;
    if (!m_window->IsShown()) m_window->Show();
    int range = std::max(1, GetUpper() - GetLower());
    m_bar->SetValue(std::clamp(GetPos() - GetLower(), 0, range));
}

void CWxProgressWindow::OnCaptionChanged() {
    if (m_window) m_window->SetTitle(Wx(GetCaption()));
}
