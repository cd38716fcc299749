#include "gui/Pictures.h"

#include <algorithm>
#include <initializer_list>

#include <wx/artprov.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>

#include "gui/WxText.h"
#include "res/MenuTemplate.h"
#include "res/Resource.h"

namespace res {

namespace {

// The first of the names the theme knows, scaled to the size.
wxBitmap ThemeBitmap(std::initializer_list<const char*> names, int size) {
    for (const char* name : names) {
        wxBitmap bmp = wxArtProvider::GetBitmap(Wx(name), wxART_OTHER, wxSize(size, size));
        if (bmp.IsOk()) {
            if (bmp.GetWidth() != size || bmp.GetHeight() != size)
                bmp = wxBitmap(bmp.ConvertToImage().Rescale(size, size, wxIMAGE_QUALITY_HIGH));
            return bmp;
        }
    }
    return wxNullBitmap;
}

// A plain tile with a letter, for a theme without the icon.
wxBitmap DrawnTile(const wxColour& colour, const wxString& letter, int size) {
    wxImage image(size, size);
    image.InitAlpha();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            image.SetAlpha(x, y, 0);
    wxBitmap bmp(image);
    {
        wxMemoryDC dc(bmp);
        std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
        if (gc) {
            gc->SetBrush(wxBrush(colour));
            gc->SetPen(wxPen(colour.ChangeLightness(70)));
            gc->DrawRoundedRectangle(1, 1, size - 3, size - 3, size / 5.0);
            gc->SetFont(wxFont(wxFontInfo(size / 2).Bold()), *wxWHITE);
            double w, h;
            gc->GetTextExtent(letter, &w, &h);
            gc->DrawText(letter, (size - w) / 2, (size - h) / 2);
        }
    }
    return bmp;
}

struct ToolPicture {
    unsigned id;
    std::initializer_list<const char*> names;
    unsigned colour;
    const char* letter;
};

const ToolPicture kToolPictures[] = {
    {ID_LAUNCH_MAIL,
     {"mail-send-receive", "internet-mail", "mail-unread", wxART_GO_FORWARD},
     0x2F6FB5,
     "M"},
    {ID_LAUNCH_BROWSER,
     {"web-browser", "applications-internet", wxART_HELP_BROWSER},
     0x2E8B57,
     "B"},
    {ID_EXTRACT_ATTACHMENTS,
     {"folder-download", "document-save-as", wxART_FILE_SAVE_AS},
     0xC0392B,
     "E"},
    {ID_SAVE_MESSAGES, {"document-save", wxART_FILE_SAVE}, 0x8E44AD, "S"},
    {ID_EDIT_REPORT, {"accessories-text-editor", "text-editor", wxART_EDIT}, 0xD68910, "R"},
    {ID_APP_ABOUT, {"help-about", wxART_INFORMATION}, 0x566573, "?"},
};

} // namespace

std::unique_ptr<wxImageList> LoadFolderImages() {
    auto list = std::make_unique<wxImageList>(16, 16, true, 8);
    const std::initializer_list<const char*> kImages[] = {
        {wxART_FOLDER_OPEN}, {wxART_NORMAL_FILE},     {wxART_HARDDISK}, {wxART_CDROM},
        {wxART_REMOVABLE},   {wxART_EXECUTABLE_FILE}, {wxART_GO_HOME},  {wxART_FOLDER},
    };
    for (const auto& names : kImages) {
        wxBitmap bmp = ThemeBitmap(names, 16);
        list->Add(bmp.IsOk() ? bmp : DrawnTile(wxColour(0xE0B040), "F", 16));
    }
    return list;
}

wxBitmap ToolBarBitmapFor(unsigned commandId, int size) {
    for (const ToolPicture& p : kToolPictures) {
        if (p.id != commandId) continue;
        wxBitmap bmp = ThemeBitmap(p.names, size);
        if (bmp.IsOk()) return bmp;
        wxColour c((p.colour >> 16) & 0xFF, (p.colour >> 8) & 0xFF, p.colour & 0xFF);
        return DrawnTile(c, p.letter, size);
    }
    return wxNullBitmap;
}

std::unique_ptr<wxImageList> LoadToolBarImages(bool disabled) {
    auto list = std::make_unique<wxImageList>(24, 24, true, 5);
    for (unsigned id : MainToolBarButtons()) {
        if (id == 0) continue;
        wxBitmap bmp = ToolBarBitmapFor(id, 24);
        list->Add(disabled ? bmp.ConvertToDisabled() : bmp);
    }
    return list;
}

wxBitmap LoadWizardPicture(int width, int height) {
    wxBitmap bmp(width, height, 24);
    wxMemoryDC dc(bmp);
    dc.GradientFillLinear(wxRect(0, 0, width, height), wxColour(18, 42, 78), wxColour(40, 120, 150),
                          wxSOUTH);
    const int size = std::min(width - 16, 64);
    wxBitmap folder = ThemeBitmap({"folder-open", "folder"}, size);
    if (!folder.IsOk())
        folder = wxArtProvider::GetBitmap(wxART_FOLDER_OPEN, wxART_OTHER, wxSize(size, size));
    if (folder.IsOk()) dc.DrawBitmap(folder, (width - size) / 2, height / 4, true);
    dc.SelectObject(wxNullBitmap);
    return bmp;
}

wxBitmap LoadSplashBitmap() {
    const int width = 420, height = 220;
    wxBitmap bmp(width, height, 24);
    wxMemoryDC dc(bmp);
    dc.GradientFillLinear(wxRect(0, 0, width, height), wxColour(18, 42, 78), wxColour(40, 120, 150),
                          wxSOUTH);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    if (gc) {
        // A kestrel hovering, seen from below: pointed wings, fanned tail, small head.
        wxGraphicsPath bird = gc->CreatePath();
        bird.MoveToPoint(60, 94);
        bird.AddCurveToPoint(40, 80, 20, 82, 4, 92);
        bird.AddCurveToPoint(24, 96, 42, 104, 56, 108);
        bird.AddLineToPoint(50, 150);
        bird.AddLineToPoint(64, 145);
        bird.AddLineToPoint(78, 150);
        bird.AddLineToPoint(72, 108);
        bird.AddCurveToPoint(86, 104, 104, 96, 124, 92);
        bird.AddCurveToPoint(108, 82, 88, 80, 68, 94);
        bird.CloseSubpath();
        bird.AddEllipse(58, 80, 12, 16);
        gc->SetBrush(wxBrush(wxColour(236, 170, 90)));
        gc->SetPen(wxPen(wxColour(255, 230, 190), 1));
        gc->FillPath(bird);
        gc->StrokePath(bird);
        gc->SetFont(wxFont(wxFontInfo(30).Bold().Family(wxFONTFAMILY_SWISS)), *wxWHITE);
        gc->DrawText("Kestrel", 120, 36);
        gc->SetFont(wxFont(wxFontInfo(10).Family(wxFONTFAMILY_SWISS)), wxColour(200, 225, 240));
        gc->DrawText("Attachments out of stored mail", 120, 130);
    }
    dc.SelectObject(wxNullBitmap);
    return bmp;
}

} // namespace res
