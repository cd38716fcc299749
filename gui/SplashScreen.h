#pragma once
// The splash picture shown while the program starts. A key press or click while it shows hides
// it and goes no further.
#include <string>

#include <wx/bitmap.h>
#include <wx/frame.h>
#include <wx/timer.h>

class CSplashScreen : public wxFrame {
public:
    static void EnableSplashScreen(bool enable) { s_enabled = enable; }
    static void SetVersionLine(const std::string& line) { s_versionLine = line; }
    static void ShowSplashScreen(wxWindow* parent);
    static void HideSplashScreen();
    static bool IsShowing() { return s_showing != nullptr; }
    static wxFrame* GetShowing() { return s_showing; }
    // True when the event hid the splash screen and must not be passed on.
    static bool PreTranslateAppMessage(const wxEvent& event);

private:
    CSplashScreen(wxWindow* parent, const wxBitmap& bitmap);
    ~CSplashScreen() override;
    void OnPaint(wxPaintEvent&);

    wxBitmap m_bitmap;
    wxWindow* m_canvas = nullptr;
    wxTimer m_timer;

    static bool s_enabled;
    static std::string s_versionLine;
    static CSplashScreen* s_window;
    static CSplashScreen* s_showing;
};
