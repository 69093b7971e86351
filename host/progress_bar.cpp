// The progress bar on stderr.
#include "host/progress_bar.h"

#include <algorithm>

void ProgressBar::ShowWindow(int cmd) {
    const bool show = cmd != SW_HIDE;
    if (show == m_shown) return;
    m_shown = show;
    if (show) {
        m_lastFilled = m_lastPercent = -1;
        Draw();
    } else {
        ClearLine();
    }
}

void ProgressBar::SetRange32(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
    m_pos = std::clamp(m_pos, std::min(lower, upper), std::max(lower, upper));
    Draw();
}

int ProgressBar::SetPos(int pos) {
    const int previous = m_pos;
    m_pos = std::clamp(pos, std::min(m_lower, m_upper), std::max(m_lower, m_upper));
    Draw();
    return previous;
}

void ProgressBar::ClearLine() {
    if (!m_drawn) return;
    fputs("\r\033[K", m_out);
    fflush(m_out);
    m_drawn = false;
    m_lastFilled = m_lastPercent = -1;
}

void ProgressBar::Draw() {
    if (!m_enabled || !m_shown) return;
    const long long span = static_cast<long long>(m_upper) - m_lower;
    const long long done = static_cast<long long>(m_pos) - m_lower;
    const int percent = span > 0 ? static_cast<int>(done * 100 / span) : 0;
    const int filled = span > 0 ? static_cast<int>(done * kWidth / span) : 0;
    if (m_drawn && filled == m_lastFilled && percent == m_lastPercent) return;
    char bar[kWidth + 1];
    for (int i = 0; i < kWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kWidth] = '\0';
    fprintf(m_out, "\r\033[K[%s] %3d%%", bar, percent);
    fflush(m_out);
    m_drawn = true;
    m_lastFilled = filled;
    m_lastPercent = percent;
}
