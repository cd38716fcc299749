#pragma once
// Message boxes and the desktop's open/edit verbs for the core, as the desktop program shows them.
#include "platform/UserInterface.h"

class wxWindow;

class CWxMessageBox : public IMessageBox {
public:
    explicit CWxMessageBox(wxWindow* parent = nullptr) : m_parent(parent) {}
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    bool AskYesNo(const std::string& text, const std::string& caption, MessageIcon icon) override;
    bool AskOkCancel(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;

private:
    wxWindow* m_parent;
};

class CWxShell : public IShell {
public:
    bool Open(const std::string& path) override;
    bool Edit(const std::string& path) override;
};
