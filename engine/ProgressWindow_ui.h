#pragma once
// The progress window: two text lines, a bar and Cancel. While open it keeps its owner disabled,
// so pumping lets only Cancel, Escape and painting reach the program.
#include <string>

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
    wxDialog* GetWindow() const { return m_window; }
    wxButton* GetCancelButton() const { return m_button; }
    wxWindow* GetDisabledOwner() const { return m_disabledOwner; }

protected:
    void OnRangeChanged() override;
    void OnPositionChanged() override;
    void OnCaptionChanged() override;

private:
    void Create(const std::string& title, bool smooth);
    void Layout();

    wxWindow* m_owner = nullptr;
    wxDialog* m_window = nullptr;
    wxStaticText* m_titleLine = nullptr;
    wxStaticText* m_statusLine = nullptr;
    wxGauge* m_bar = nullptr;
    wxButton* m_button = nullptr;
    wxWindow* m_disabledOwner = nullptr;
    bool m_cancelled = false;
    bool m_active = false;
    bool m_escapePending = false;
};
