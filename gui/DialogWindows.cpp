#include "gui/DialogWindows.h"

#include <algorithm>
#include <cstdio>
#include <dlfcn.h>

#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/display.h>
#include <wx/msgdlg.h>

namespace {

CModalDialogs*& TheInstance() {
    static CModalDialogs* instance = nullptr;
    return instance;
}

// The main window, while it is on the screen and is not the window being placed.
wxWindow* ShownMainWindow(const wxWindow& window) {
    wxWindow* main = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
    if (!main || main == &window || !main->IsShown()) return nullptr;
    return main;
}

// The desktop's own message boxes run a loop of the toolkit's that wxWidgets does not end:
// they are answered as their Cancel would be. Looked up at run time like the menu setting.
void AnswerNativeDialog(wxDialog& dialog) {
#ifdef __WXGTK__
    using Response = void (*)(void*, int);
    static auto respond = reinterpret_cast<Response>(dlsym(RTLD_DEFAULT, "gtk_dialog_response"));
    constexpr int kResponseCancel = -6;
    if (respond && dialog.GetHandle()) respond(dialog.GetHandle(), kResponseCancel);
#else
    (void)dialog;
#endif
}

} // namespace

void PlaceOverMainWindow(wxTopLevelWindow& window) {
    wxWindow* main = ShownMainWindow(window);
    int index = wxDisplay::GetFromWindow(main ? main : &window);
    wxRect area = wxDisplay(index == wxNOT_FOUND ? 0u : static_cast<unsigned>(index)).GetClientArea();
    const wxSize largest(std::min(kLargestWindowWidth, area.width),
                         std::min(kLargestWindowHeight, area.height));
    wxSize size = window.GetSize();
    if (size.x > largest.x || size.y > largest.y) {
        size.DecTo(largest);
        wxSize least = window.GetMinSize();
        if (least.IsFullySpecified()) {
            least.DecTo(largest);
            window.SetMinSize(least);
        }
        window.SetSize(size);
        size = window.GetSize();
    }
    const wxRect over = main ? main->GetScreenRect() : area;
    wxPoint at(over.x + (over.width - size.x) / 2, over.y + (over.height - size.y) / 2);
    at.x = std::max(area.x, std::min(at.x, area.GetRight() + 1 - size.x));
    at.y = std::max(area.y, std::min(at.y, area.GetBottom() + 1 - size.y));
    window.Move(at);
}

void CloseOnEscape(wxTopLevelWindow& window) {
    window.Bind(wxEVT_CHAR_HOOK, [&window](wxKeyEvent& e) {
        if (e.GetKeyCode() == WXK_ESCAPE && e.GetModifiers() == wxMOD_NONE)
            window.Close();
        else
            e.Skip();
    });
}

CModalDialogs::CModalDialogs() {
    TheInstance() = this;
    Register();
}

CModalDialogs::~CModalDialogs() {
    Unregister();
    if (TheInstance() == this) TheInstance() = nullptr;
}

CModalDialogs* CModalDialogs::Instance() {
    return TheInstance();
}

int CModalDialogs::Enter(wxDialog* dialog) {
    if (m_quitting) return wxID_CANCEL;
    // The desktop's message boxes are placed over their parent by the toolkit itself.
    if (!dynamic_cast<wxMessageDialogBase*>(dialog)) PlaceOverMainWindow(*dialog);
    m_open.push_back(dialog);
    if (m_trace) {
        std::printf("dialog open: %s\n", dialog->GetTitle().utf8_str().data());
        std::fflush(stdout);
    }
    return wxID_NONE;
}

void CModalDialogs::Exit(wxDialog* dialog) {
    m_open.erase(std::remove(m_open.begin(), m_open.end(), dialog), m_open.end());
    if (!m_quitting) return;
    // The next dialog's loop is the running one again once this one has returned: it ends
    // then, and after the last, the quit goes on.
    wxTheApp->CallAfter([this] { EndInnermost(); });
}

void CModalDialogs::EndInnermost() {
    if (!m_open.empty()) {
        EndDialog(m_open.back());
        return;
    }
    if (std::function<void()> then = std::move(m_whenNoneOpen)) {
        m_whenNoneOpen = nullptr;
        then();
    }
}

void CModalDialogs::EndDialog(wxDialog* dialog) {
    if (dialog->IsModal())
        dialog->EndModal(wxID_CANCEL);
    else
        AnswerNativeDialog(*dialog);
}

void CModalDialogs::EndAllForQuit(std::function<void()> whenNoneOpen) {
    m_quitting = true;
    m_whenNoneOpen = std::move(whenNoneOpen);
    // Only the innermost loop can end now; the ones below it end in turn (Exit).
    EndInnermost();
}

void CModalDialogs::Reset() {
    m_quitting = false;
    m_whenNoneOpen = nullptr;
}
