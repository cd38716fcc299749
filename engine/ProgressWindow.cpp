#include "engine/ProgressWindow.h"

#include <cmath>

int ProgressPercent(int pos, int lower, int upper) {
    if (upper <= lower) return 0;
    double pct = (static_cast<double>(pos) - lower) * 100.0 / (static_cast<double>(upper) - lower);
    return static_cast<int>(std::floor(pct + 0.5));
}

std::string ProgressCaption(const std::string& baseTitle, int percent) {
    return baseTitle + " [" + std::to_string(percent) + "%]";
}

void CProgressWindow::SetRange(int lower, int upper, int step) {
    m_lower = lower;
    m_upper = upper;
    m_step = step;
    OnRangeChanged();
}

void CProgressWindow::SetPos(int pos) {
    m_position = pos;
    int percent = ProgressPercent(pos, m_lower, m_upper);
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        m_caption = ProgressCaption(m_baseTitle, percent);
        OnCaptionChanged();
    }
    OnPositionChanged();
}
