#include "gui/AboutDialog.h"

#include <algorithm>
#include <optional>

#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/msgdlg.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/statline.h>
#include <wx/stattext.h>

#include "app/DesktopCommands.h"
#include "gui/DialogWindows.h"
#include "gui/LanguageMenus.h"
#include "gui/LinkStatic.h"
#include "gui/WxText.h"
#include "platform/UserInterface.h"
#include "res/Resource.h"

using namespace res;

namespace {

const wxColour kCreditColour(0xFF, 0x60, 0x08);
bool g_useOwnTimer = true;

wxBitmap WhiteBitmap(int w, int h) {
    wxBitmap bmp(w, h, 24);
    wxMemoryDC dc(bmp);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    return bmp;
}

// Bitmap 148: the program's name on a sky band with a bird's wing.
wxBitmap DrawBanner(const wxSize& size) {
    wxBitmap bmp = WhiteBitmap(size.x, size.y);
    wxMemoryDC dc(bmp);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (!gc) return bmp;
    double w = size.x, h = size.y;
    gc->SetBrush(gc->CreateLinearGradientBrush(0, 0, w, 0, wxColour(0x2B, 0x4F, 0x8C),
                                               wxColour(0x9C, 0xC3, 0xE6)));
    gc->SetPen(*wxTRANSPARENT_PEN);
    gc->DrawRoundedRectangle(0, 0, w - 1, h - 1, 6);
    // A wing in two strokes, the kestrel's.
    wxGraphicsPath wing = gc->CreatePath();
    wing.MoveToPoint(h * 0.3, h * 0.62);
    wing.AddQuadCurveToPoint(h * 0.75, h * 0.1, h * 1.3, h * 0.35);
    wing.AddQuadCurveToPoint(h * 0.85, h * 0.42, h * 0.3, h * 0.62);
    gc->SetBrush(wxBrush(wxColour(0xC8, 0x6B, 0x2A)));
    gc->FillPath(wing);
    gc->SetFont(wxFont(wxFontInfo(wxSize(0, static_cast<int>(h * 0.5))).Bold()), *wxWHITE);
    gc->DrawText("Kestrel", h * 1.45, h * 0.12);
    gc->SetFont(wxFont(wxFontInfo(wxSize(0, static_cast<int>(h * 0.22)))), *wxWHITE);
    gc->DrawText(WxTr(res::TextId::AboutTagline), h * 1.5, h * 0.68);
    return bmp;
}

// IDB_SEPARATOR: a thin rule that fades out at both ends, with a diamond in the middle.
wxBitmap DrawSeparator() {
    const int w = 180, h = 20;
    wxBitmap bmp = WhiteBitmap(w, h);
    wxMemoryDC dc(bmp);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (!gc) return bmp;
    gc->SetPen(*wxTRANSPARENT_PEN);
    gc->SetBrush(gc->CreateLinearGradientBrush(0, 0, w / 2.0, 0, *wxWHITE, kCreditColour));
    gc->DrawRectangle(0, h / 2.0 - 1, w / 2.0, 2);
    gc->SetBrush(gc->CreateLinearGradientBrush(w / 2.0, 0, w, 0, kCreditColour, *wxWHITE));
    gc->DrawRectangle(w / 2.0, h / 2.0 - 1, w / 2.0, 2);
    wxGraphicsPath diamond = gc->CreatePath();
    diamond.MoveToPoint(w / 2.0, 4);
    diamond.AddLineToPoint(w / 2.0 + 6, h / 2.0);
    diamond.AddLineToPoint(w / 2.0, h - 4);
    diamond.AddLineToPoint(w / 2.0 - 6, h / 2.0);
    diamond.CloseSubpath();
    gc->SetBrush(wxBrush(kCreditColour));
    gc->FillPath(diamond);
    return bmp;
}

} // namespace

void CAboutBox::UseOwnTimer(bool use) {
    g_useOwnTimer = use;
}

wxBitmap LoadAboutPicture(const std::string& name) {
    if (name == kSeparatorPicture) return DrawSeparator();
    return wxNullBitmap;
}

CAboutBox::CAboutBox(wxWindow* parent)
    : wxDialog(parent, IDD_ABOUTBOX, "About Kestrel", wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_timer(this, kCreditTimerId) {
    SetBackgroundColour(*wxWHITE);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    auto* picture =
        new wxStaticBitmap(this, wxID_ANY, DrawBanner(wxDLG_UNIT(this, wxSize(195, 34))));
    sizer->Add(picture, 0, wxALIGN_CENTER_HORIZONTAL | wxTOP, wxDLG_UNIT(this, wxSize(0, 8)).y);
    auto* version = new wxStaticText(this, IDC_VERSION_TEXT, kAboutVersionText);
    sizer->Add(version, 0, wxALIGN_CENTER_HORIZONTAL | wxTOP, 6);

    m_panel = new wxPanel(this, IDC_CREDITS, wxDefaultPosition, wxDLG_UNIT(this, wxSize(245, 113)),
                          wxBORDER_NONE);
    m_panel->SetMinSize(m_panel->GetSize());
    m_panel->SetBackgroundStyle(wxBG_STYLE_PAINT);
    sizer->Add(m_panel, 0, wxALIGN_CENTER_HORIZONTAL | wxALL, 8);
    sizer->Add(new wxStaticLine(this, wxID_ANY), 0, wxEXPAND | wxLEFT | wxRIGHT, 8);

    m_link = new CLinkStatic(this, IDC_HOME_LINK, "Kestrel project page");
    m_link->SetLink(HelpPagePath(kAboutPage));
    sizer->Add(m_link, 0, wxALIGN_CENTER_HORIZONTAL | wxTOP | wxBOTTOM, 10);
    SetSizer(sizer);
    for (wxWindow* child : GetChildren())
        if (child != m_link) child->SetBackgroundColour(*wxWHITE);

    TranslateDialog(this, IDD_ABOUTBOX);
    GetSizer()->SetSizeHints(this);
    CentreOnParent();

    wxSize canvas = m_panel->GetClientSize();
    m_canvas = WhiteBitmap(std::max(canvas.x, 1), std::max(canvas.y, 1));
    m_panel->Bind(wxEVT_PAINT, [this](wxPaintEvent&) {
        wxPaintDC dc(m_panel);
        dc.DrawBitmap(m_canvas, 0, 0);
    });

    // A click anywhere but on the link, Escape and the close box close it as OK does.
    CloseOnEscape(*this);
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) {
        if (IsModal()) EndModal(wxID_OK);
    });
    auto close = [this](wxMouseEvent& e) {
        if (IsModal()) EndModal(wxID_OK);
        e.Skip();
    };
    Bind(wxEVT_LEFT_UP, close);
    for (wxWindow* child : GetChildren())
        if (child != m_link) child->Bind(wxEVT_LEFT_UP, close);

    Bind(
        wxEVT_TIMER, [this](wxTimerEvent&) { Tick(); }, kCreditTimerId);
    if (g_useOwnTimer) m_timer.Start(kCreditTickMilliseconds);
}

void CAboutBox::Tick() {
    m_scroller.Tick();
    // The whole panel moves up by one row; the new bottom row is painted next.
    wxBitmap moved = WhiteBitmap(m_canvas.GetWidth(), m_canvas.GetHeight());
    {
        wxMemoryDC dc(moved);
        dc.DrawBitmap(m_canvas, 0, -1);
    }
    m_canvas = moved;
    PaintRow();
    m_panel->Refresh(false);
}

void CAboutBox::PaintRow() {
    CreditPaint paint = m_scroller.Paint([this](const std::string& name) -> std::optional<int> {
        m_picture = LoadAboutPicture(name);
        if (!m_picture.IsOk()) return std::nullopt;
        return m_picture.GetHeight();
    });
    if (paint.kind == CreditPaint::MissingPicture) {
        m_timer.Stop();
        m_scrolling = false;
        wxMessageDialog(this, wxString::FromUTF8(paint.text), kAppTitle, wxOK).ShowModal();
        return;
    }
    const int w = m_canvas.GetWidth(), h = m_canvas.GetHeight();
    wxMemoryDC dc(m_canvas);
    dc.SetClippingRegion(0, h - 1, w, 1);
    dc.SetBackground(*wxWHITE_BRUSH);
    dc.Clear();
    if (paint.kind == CreditPaint::Text) {
        wxFontInfo info(wxSize(0, paint.font.height * 9 / 10));
        info.FaceName("Arial").Weight(paint.font.weight);
        dc.SetFont(wxFont(info));
        dc.SetTextForeground(kCreditColour);
        dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
        wxString text = wxString::FromUTF8(paint.text);
        int textWidth = dc.GetTextExtent(text).x;
        dc.DrawText(text, (w - textWidth) / 2, h - paint.rowsShown);
    } else if (paint.kind == CreditPaint::Picture && m_picture.IsOk()) {
        dc.DrawBitmap(m_picture, w / 2 - m_picture.GetWidth() / 2, h - paint.rowsShown);
    }
}
