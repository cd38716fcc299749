#include "gui/DesktopUi.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "gui/WxText.h"
#include "platform/Shell.h"
#include "platform/Text.h"

namespace {
long IconStyle(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return wxICON_INFORMATION;
    case MessageIcon::Warning:
        return wxICON_WARNING;
    case MessageIcon::Error:
        return wxICON_ERROR;
    case MessageIcon::Question:
        return wxICON_QUESTION;
    case MessageIcon::None:
        break;
    }
    return 0;
}

// A message names folders and files whose names may hold control characters: they are shown as
// escapes, so a name cannot forge lines of its own; the message's own line breaks stay.
wxString Shown(const std::string& text) {
    return Wx(platform::Printable(text, true));
}
} // namespace

void CWxMessageBox::ShowMessage(const std::string& text, const std::string& caption,
                                MessageIcon icon) {
    wxWindow* parent = m_parent ? m_parent : (wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
    wxMessageDialog dialog(parent, Shown(text), Shown(caption), wxOK | IconStyle(icon));
    dialog.ShowModal();
}

bool CWxMessageBox::AskYesNo(const std::string& text, const std::string& caption,
                             MessageIcon icon) {
    wxWindow* parent = m_parent ? m_parent : (wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
    wxMessageDialog dialog(parent, Shown(text), Shown(caption), wxYES_NO | IconStyle(icon));
    dialog.SetYesNoLabels(WxTr(res::TextId::ButtonYes), WxTr(res::TextId::ButtonNo));
    return dialog.ShowModal() == wxID_YES;
}

bool CWxMessageBox::AskOkCancel(const std::string& text, const std::string& caption,
                                MessageIcon icon) {
    wxWindow* parent = m_parent ? m_parent : (wxTheApp ? wxTheApp->GetTopWindow() : nullptr);
    wxMessageDialog dialog(parent, Shown(text), Shown(caption), wxOK | wxCANCEL | IconStyle(icon));
    dialog.SetOKCancelLabels(WxTr(res::TextId::ButtonOk), WxTr(res::TextId::ButtonCancel));
    return dialog.ShowModal() == wxID_OK;
}

bool CWxShell::Open(const std::string& path) {
    return platform::ShellOpen(path);
}
bool CWxShell::Edit(const std::string& path) {
    return platform::ShellEdit(path);
}
