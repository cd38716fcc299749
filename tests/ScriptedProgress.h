#pragma once
// A progress window for tests: records every call and cancels after a given number of pumps.
#include <string>
#include <vector>

#include "engine/ProgressWindow.h"

class CScriptedProgress : public CProgressWindow {
public:
    // cancelAfterPumps < 0: never cancels; n: the n-th PumpAndCheckCancel reports Cancel.
    explicit CScriptedProgress(int cancelAfterPumps = -1) : m_cancelAfter(cancelAfterPumps) {}

    void Open(const std::string& title, bool) override {
        SetBaseTitle(title);
        m_open = true;
        Calls.push_back("Open " + title);
    }
    void SetTitleLine(const std::string& text) override {
        TitleLines.push_back(text);
        Calls.push_back("Title " + text);
    }
    void SetStatusLine(const std::string& text) override {
        StatusLines.push_back(text);
        Calls.push_back("Status " + text);
    }
    bool PumpAndCheckCancel(bool allowEscape) override {
        ++Pumps;
        Calls.push_back(allowEscape ? "Pump escape" : "Pump");
        if (m_cancelAfter >= 0 && Pumps >= m_cancelAfter) m_cancelled = true;
        return m_cancelled;
    }
    void Close() override {
        if (!m_open) return;
        m_open = false;
        Calls.push_back("Close");
    }

    bool IsOpen() const { return m_open; }

    std::vector<std::string> Calls;
    std::vector<std::string> TitleLines;
    std::vector<std::string> StatusLines;
    std::vector<std::string> Captions;
    int Pumps = 0;

protected:
    void OnCaptionChanged() override { Captions.push_back(GetCaption()); }

private:
    int m_cancelAfter;
    bool m_open = false;
    bool m_cancelled = false;
};
