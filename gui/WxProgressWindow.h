#pragma once
// The progress window: two text lines, a bar and Cancel. While open it keeps its owner disabled,
// so pumping lets only Cancel, Escape and painting reach the program.
#include <string>

#include <wx/dialog.h>
#include <wx/weakref.h>
#include <wx/window.h>

#include "engine/ProgressWindow.h"

class wxButton;
class wxDialog;
class wxGauge;
class wxStaticText;
class wxWindow;

class CWxProgressWindow : public CProgressWindow {
public:
    // Creates the window at once, owned by owner or else by the main window.
    explicit CWxProgressWindow(wxWindow* owner = nullptr, const std::string& title = "Progress",
                               bool smooth = true);
    ~CWxProgressWindow() override;

    void Open(const std::string& title, bool smooth) override;
    void SetTitleLine(const std::string& text) override;
    void SetStatusLine(const std::string& text) override;
    bool PumpAndCheckCancel(bool allowEscape) override;
    void Close() override;

    void Cancel();
    bool IsCancelled() const { return m_cancelled; }
    bool IsActive() const { return m_active; }
    wxDialog* GetWindow() const { return m_window.get(); }
    wxButton* GetCancelButton() const { return m_button; }
    wxWindow* GetDisabledOwner() const { return m_disabledOwner.get(); }

protected:
    void OnRangeChanged() override;
    void OnPositionChanged() override;
    void OnCaptionChanged() override;

private:
    void Create(const std::string& title, bool smooth);
    void Layout();

    wxWindow* m_owner = nullptr;
    wxWeakRef<wxDialog> m_window;
    wxStaticText* m_titleLine = nullptr;
    wxStaticText* m_statusLine = nullptr;
    wxGauge* m_bar = nullptr;
    wxButton* m_button = nullptr;
    // The owner may go while a run holds it (a forced close); the reference notices.
    wxWeakRef<wxWindow> m_disabledOwner;
    bool m_cancelled = false;
    bool m_active = false;
    bool m_escapePending = false;
};
