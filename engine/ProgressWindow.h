#pragma once
// Progress and cancel for long operations. The core drives this interface; the desktop program
// shows it as a window, kestrel-cli as a bar on stderr, and tests script it.
#include <string>

class CProgressWindow {
public:
    virtual ~CProgressWindow() = default;

    virtual void Open(const std::string& title, bool smooth) = 0;
    void SetRange(int lower, int upper, int step);
    void SetPos(int pos);
    void StepIt() { SetPos(m_position + m_step); }
    virtual void SetTitleLine(const std::string& text) = 0;
    virtual void SetStatusLine(const std::string& text) = 0;
    // Lets pending input through and says whether the user has cancelled. Escape counts only
    // when allowEscape is set.
    virtual bool PumpAndCheckCancel(bool allowEscape) = 0;
    virtual void Close() = 0;

    int GetLower() const { return m_lower; }
    int GetUpper() const { return m_upper; }
    int GetStep() const { return m_step; }
    int GetPos() const { return m_position; }
    const std::string& GetCaption() const { return m_caption; }
    void SetBaseTitle(const std::string& title) { m_baseTitle = title; }

protected:
    // Called when the bar moves, and when the caption's percentage changes.
    virtual void OnRangeChanged() {}
    virtual void OnPositionChanged() {}
    virtual void OnCaptionChanged() {}

private:
    std::string m_baseTitle = "Progress";
    std::string m_caption = "Progress";
    int m_lower = 0, m_upper = 100, m_step = 1, m_position = 0;
    int m_lastPercent = 0;
};

// (pos - lower) * 100 / (upper - lower), rounded half up; 0 when upper <= lower.
int ProgressPercent(int pos, int lower, int upper);
// "%s [%d%%]"
std::string ProgressCaption(const std::string& baseTitle, int percent);
