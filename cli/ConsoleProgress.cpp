#include "cli/ConsoleProgress.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/Text.h"
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
struct sigaction g_previousInt;
int g_openCount = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
}

// The terminal must come back in its cooked mode however the program ends.
std::mutex g_termLock;
bool g_termSaved = false;
int g_termFd = -1;
struct termios g_termios;

void RestoreTerminal() {
    std::lock_guard<std::mutex> guard(g_termLock);
    if (g_termSaved) tcsetattr(g_termFd, TCSANOW, &g_termios);
    g_termSaved = false;
}

// Cuts a UTF-8 text to at most width bytes without splitting a character.
std::string Fit(const std::string& s, size_t width) {
    if (s.size() <= width) return s;
    size_t cut = width;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80)
        --cut;
    return s.substr(0, cut);
}

// Control characters in a subject would move the cursor about.
} // namespace

CConsoleProgress::CConsoleProgress(std::FILE* out, int inputFd)
    : m_out(out), m_inputFd(inputFd), m_outIsTty(out && isatty(fileno(out))) {}

CConsoleProgress::~CConsoleProgress() {
    Close();
}

void CConsoleProgress::Open(const std::string& title, bool) {
    if (m_open) return;
    m_open = true;
    SetBaseTitle(title);
    if (g_openCount++ == 0) {
        g_interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = OnInterrupt;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &g_previousInt);
    }
}

void CConsoleProgress::SetTitleLine(const std::string& text) {
    m_title = platform::Printable(text);
    Draw();
}

void CConsoleProgress::SetStatusLine(const std::string& text) {
    m_status = platform::Printable(text);
    Draw();
}

void CConsoleProgress::OnPositionChanged() {
    Draw();
}

void CConsoleProgress::OnCaptionChanged() {
    if (m_outIsTty || !m_open || !m_out) return;
    // A log, not an animation: a line per tenth of the way.
    int decile = ProgressPercent(GetPos(), GetLower(), GetUpper()) / 10;
    if (decile == m_lastDecile) return;
    m_lastDecile = decile;
    std::fprintf(m_out, "%s %s\n", GetCaption().c_str(), m_title.c_str());
    std::fflush(m_out);
}

// Raw input starts with the first pump, not at Open: a question asked before the work starts
// must still read a whole line.
void CConsoleProgress::StartRawInput() {
    m_rawTried = true;
    if (m_inputFd >= 0 && isatty(m_inputFd) && tcgetattr(m_inputFd, &m_savedTermios) == 0) {
        {
            std::lock_guard<std::mutex> guard(g_termLock);
            if (!g_termSaved) {
                g_termios = m_savedTermios;
                g_termFd = m_inputFd;
                g_termSaved = true;
                static std::once_flag once;
                std::call_once(once, [] { std::atexit(RestoreTerminal); });
            }
        }
        // Keys arrive one by one without echo; Ctrl-C still raises SIGINT.
        struct termios raw = m_savedTermios;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        m_rawInput = tcsetattr(m_inputFd, TCSANOW, &raw) == 0;
    }
}

bool CConsoleProgress::PumpAndCheckCancel(bool allowEscape) {
    if (m_cancelled) return true;
    if (g_interrupted) {
        Cancel();
        return true;
    }
    if (!m_rawTried && m_open) StartRawInput();
    if (m_rawInput) {
        struct pollfd pfd {
            m_inputFd, POLLIN, 0
        };
        while (poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN)) {
            char keys[64];
            ssize_t n = read(m_inputFd, keys, sizeof keys);
            if (n <= 0) break;
            // A lone Escape; arrow and function keys also start with it but come with more.
            for (ssize_t i = 0; i < n; ++i) {
                if (keys[i] != 27) continue;
                bool sequence = i + 1 < n && (keys[i + 1] == '[' || keys[i + 1] == 'O');
                if (!sequence && allowEscape) {
                    Cancel();
                    return true;
                }
            }
        }
    }
    return false;
}

void CConsoleProgress::Cancel() {
    m_cancelled = true;
    Erase();
}

void CConsoleProgress::Close() {
    if (!m_open) return;
    Erase();
    m_open = false;
    m_rawTried = false;
    if (m_rawInput) {
        tcsetattr(m_inputFd, TCSANOW, &m_savedTermios);
        m_rawInput = false;
        std::lock_guard<std::mutex> guard(g_termLock);
        g_termSaved = false;
    }
    if (--g_openCount == 0) sigaction(SIGINT, &g_previousInt, nullptr);
}

int CConsoleProgress::Width() const {
    struct winsize ws {};
    if (m_out && ioctl(fileno(m_out), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 10) return ws.ws_col;
    return 80;
}

void CConsoleProgress::Erase() {
    if (!m_drawn || !m_out) return;
    // Back to the title line, clearing both lines.
    std::fputs("\r\033[K\033[1A\r\033[K", m_out);
    std::fflush(m_out);
    m_drawn = false;
}

void CConsoleProgress::Draw() {
    if (!m_outIsTty || !m_open || m_cancelled) return;
    // A terminal is slower than the run: at most 25 frames a second.
    auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_lastDraw < std::chrono::milliseconds(40)) return;
    m_lastDraw = now;
    size_t width = static_cast<size_t>(Width()) - 1;
    int percent = ProgressPercent(GetPos(), GetLower(), GetUpper());
    percent = std::clamp(percent, 0, 100);
    const int barWidth = 30;
    int filled = percent * barWidth / 100;
    std::string bar = "[" + std::string(static_cast<size_t>(filled), '#') +
                      std::string(static_cast<size_t>(barWidth - filled), '-') + "] ";
    std::string pct = std::to_string(percent) + "% ";
    std::string line2 = bar + pct + m_status;
    if (m_drawn) std::fputs("\r\033[1A", m_out);
    std::fprintf(m_out, "\r\033[K%s\n\r\033[K%s", Fit(m_title, width).c_str(),
                 Fit(line2, width).c_str());
    std::fflush(m_out);
    m_drawn = true;
}
