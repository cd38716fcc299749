#pragma once
// The progress window of kestrel-cli: on a terminal, a title line and a bar with the status
// line, redrawn in place on stderr; without one, a line at every tenth of the way. Ctrl-C,
// or Escape when the caller allows it, cancels at the next PumpAndCheckCancel.
#include <chrono>
#include <cstdio>
#include <string>
#include <termios.h>

#include "engine/ProgressWindow.h"

class CConsoleProgress : public CProgressWindow {
public:
    // out: where the bar goes; inputFd: the terminal read for Escape.
    explicit CConsoleProgress(std::FILE* out = stderr, int inputFd = 0);
    ~CConsoleProgress() override;
    CConsoleProgress(const CConsoleProgress&) = delete;
    CConsoleProgress& operator=(const CConsoleProgress&) = delete;

    void Open(const std::string& title, bool smooth) override;
    void SetTitleLine(const std::string& text) override;
    void SetStatusLine(const std::string& text) override;
    bool PumpAndCheckCancel(bool allowEscape) override;
    void Close() override;

    bool IsCancelled() const { return m_cancelled; }

protected:
    void OnPositionChanged() override;
    void OnCaptionChanged() override;

private:
    void Cancel();
    void StartRawInput();
    void Draw();
    void Erase();
    int Width() const;

    std::FILE* m_out;
    int m_inputFd;
    bool m_outIsTty;
    bool m_open = false;
    bool m_cancelled = false;
    bool m_drawn = false;
    bool m_rawInput = false;
    bool m_rawTried = false;
    int m_lastDecile = 0;
    std::chrono::steady_clock::time_point m_lastDraw;
    struct termios m_savedTermios {};
    std::string m_title;
    std::string m_status;
};
