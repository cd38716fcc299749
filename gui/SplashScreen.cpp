#include "gui/SplashScreen.h"

#include <wx/app.h>
#include <wx/dcbuffer.h>
#include <wx/sizer.h>

#include "gui/Pictures.h"
#include "gui/WxText.h"

bool CSplashScreen::s_enabled = false;
std::string CSplashScreen::s_versionLine;
CSplashScreen* CSplashScreen::s_window = nullptr;
CSplashScreen* CSplashScreen::s_showing = nullptr;

namespace {
constexpr int kAutoHideMilliseconds = 4000;
} // namespace

CSplashScreen::CSplashScreen(wxWindow* parent, const wxBitmap& bitmap)
    : wxFrame(parent, wxID_ANY, wxEmptyString, wxDefaultPosition, bitmap.GetSize(),
              wxBORDER_NONE | wxFRAME_TOOL_WINDOW | wxFRAME_NO_TASKBAR | wxSTAY_ON_TOP),
      m_bitmap(bitmap), m_timer(this, 1) {
    // The picture sits in a child of its size: an undecorated window without children is
    // shrunk to nothing by the toolkit.
    m_canvas = new wxWindow(this, wxID_ANY, wxPoint(0, 0), bitmap.GetSize());
    m_canvas->SetMinSize(bitmap.GetSize());
    m_canvas->SetBackgroundStyle(wxBG_STYLE_PAINT);
    m_canvas->Bind(wxEVT_PAINT, &CSplashScreen::OnPaint, this);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(m_canvas, 1, wxEXPAND);
    SetSizerAndFit(sizer);
    Bind(wxEVT_TIMER, [](wxTimerEvent&) { HideSplashScreen(); });
    CentreOnScreen();
    m_timer.StartOnce(kAutoHideMilliseconds);
}

CSplashScreen::~CSplashScreen() {
    if (s_window == this) s_window = nullptr;
    if (s_showing == this) s_showing = nullptr;
}

void CSplashScreen::ShowSplashScreen(wxWindow* parent) {
    if (!s_enabled || s_window) return;
    wxBitmap bitmap = res::LoadSplashBitmap();
    if (!bitmap.IsOk()) return;
    s_window = new CSplashScreen(parent, bitmap);
    s_showing = s_window;
    s_window->Show();
    s_window->Update();
}

void CSplashScreen::HideSplashScreen() {
    CSplashScreen* window = s_window;
    s_showing = nullptr;
    s_window = nullptr;
    if (window) {
        window->m_timer.Stop();
        window->Hide();
        window->Destroy();
    }
    if (wxWindow* main = wxTheApp ? wxTheApp->GetTopWindow() : nullptr; main && main != window)
        main->Refresh();
}

bool CSplashScreen::PreTranslateAppMessage(const wxEvent& event) {
    if (!s_window) return false;
    wxEventType t = event.GetEventType();
    // The toolkit reports clicks on window frames as ordinary button presses.
    if (t == wxEVT_KEY_DOWN || t == wxEVT_LEFT_DOWN || t == wxEVT_RIGHT_DOWN ||
        t == wxEVT_MIDDLE_DOWN || t == wxEVT_LEFT_DCLICK) {
        HideSplashScreen();
        return true;
    }
    return false;
}

void CSplashScreen::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(m_canvas);
    dc.DrawBitmap(m_bitmap, 0, 0);
    dc.SetTextForeground(*wxWHITE);
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.DrawText(Wx(s_versionLine), 120, 90);
}
