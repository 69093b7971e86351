// The in-memory rich-edit control: text, runs of formats, selection, line count and scroll.
#include "host/rich_edit_model.h"

#include <algorithm>
#include <cstring>
#include <limits>

using namespace richedit;

CHARFORMAT2 DefaultCharFormat() {
    CHARFORMAT2 cf;
    cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_COLOR | CFM_BACKCOLOR |
                CFM_SIZE | CFM_FACE | CFM_CHARSET;
    cf.yHeight = 180;
    cf.crTextColor = 0x000000;
    cf.crBackColor = 0xFFFFFF;
    cf.bCharSet = 0;
    cf.bPitchAndFamily = 0x31;
    std::strcpy(cf.szFaceName, "Courier New");
    return cf;
}

bool SameLook(const CHARFORMAT2& a, const CHARFORMAT2& b) {
    return a.dwEffects == b.dwEffects && a.yHeight == b.yHeight && a.yOffset == b.yOffset &&
           a.crTextColor == b.crTextColor && a.crBackColor == b.crBackColor &&
           a.bCharSet == b.bCharSet && a.bPitchAndFamily == b.bPitchAndFamily &&
           std::strncmp(a.szFaceName, b.szFaceName, sizeof a.szFaceName) == 0 &&
           a.wWeight == b.wWeight && a.sSpacing == b.sSpacing && a.lcid == b.lcid &&
           a.sStyle == b.sStyle && a.wKerning == b.wKerning && a.bUnderlineType == b.bUnderlineType &&
           a.bAnimation == b.bAnimation && a.bRevAuthor == b.bRevAuthor;
}

namespace {

// Effect bits that a mask bit of the same value switches; the colour bits carry the "automatic
// colour" effects.
constexpr DWORD kEffectBits = 0x0003007F | CFE_AUTOCOLOR | CFE_AUTOBACKCOLOR;

// The fields of cf that its mask names, laid over base.
CHARFORMAT2 Merge(const CHARFORMAT2& base, const CHARFORMAT2& cf) {
    CHARFORMAT2 r = base;
    DWORD effects = cf.dwMask & kEffectBits;
    r.dwEffects = (base.dwEffects & ~effects) | (cf.dwEffects & effects);
    if (cf.dwMask & CFM_COLOR) r.crTextColor = cf.crTextColor;
    if (cf.dwMask & CFM_BACKCOLOR) r.crBackColor = cf.crBackColor;
    if (cf.dwMask & CFM_SIZE) r.yHeight = cf.yHeight;
    if (cf.dwMask & CFM_OFFSET) r.yOffset = cf.yOffset;
    if (cf.dwMask & CFM_CHARSET) r.bCharSet = cf.bCharSet;
    if (cf.dwMask & CFM_FACE) {
        std::memcpy(r.szFaceName, cf.szFaceName, sizeof r.szFaceName);
        r.szFaceName[sizeof r.szFaceName - 1] = '\0';
        r.bPitchAndFamily = cf.bPitchAndFamily;
    }
    return r;
}

}  // namespace

RichEditModel::RichEditModel() : m_default(DefaultCharFormat()) {}

void RichEditModel::GetSel(long& start, long& end) const {
    start = m_selStart;
    end = m_selEnd;
}

void RichEditModel::SetSel(long start, long end) {
    const long len = GetTextLength();
    if (start == -1) {
        m_selStart = m_selEnd;
        return;
    }
    if (end < 0 || end > len) end = len;
    if (start < 0) start = 0;
    if (start > len) start = len;
    if (start > end) std::swap(start, end);
    // Text let go is taken only whole, from 0; anything else inside it moves to the kept text.
    if (start > 0 && start < m_base) start = m_base;
    if (end < m_base) {
        if (start == end) start = m_base;  // a caret inside it
        end = m_base;
    }
    if (start != m_selStart || end != m_selEnd) m_hasCaretFormat = false;
    m_selStart = start;
    m_selEnd = end;
}

void RichEditModel::ReplaceSel(const char* text, bool canUndo) {
    (void)canUndo;
    const long start = m_selStart;
    const bool caretFormat = m_hasCaretFormat;
    const CHARFORMAT2 pending = m_caretFormat;
    if (m_selEnd > m_selStart) Remove(m_selStart, m_selEnd);
    const long length = text ? static_cast<long>(std::strlen(text)) : 0;
    if (length > 0) {
        CHARFORMAT2 format;
        if (caretFormat)
            format = pending;
        else if (start > 0)
            format = FormatAt(start - 1);
        else
            format = FormatAt(0);
        Insert(start, text, length, format);
    }
    m_selStart = m_selEnd = start + length;
    m_hasCaretFormat = false;
}

void RichEditModel::SetSelectionCharFormat(const CHARFORMAT2& cf) {
    if (m_selStart == m_selEnd) {
        // With nothing selected the format applies to what is typed at the caret next.
        m_caretFormat = Merge(m_hasCaretFormat ? m_caretFormat
                                               : (m_selStart > 0 ? FormatAt(m_selStart - 1) : FormatAt(0)),
                              cf);
        m_hasCaretFormat = true;
        return;
    }
    // Text let go keeps no formats: only the kept part of a selection takes this one.
    size_t first = SplitAt(std::max(m_selStart, m_base));
    size_t last = SplitAt(m_selEnd);
    for (size_t i = first; i < last; ++i) m_runs[i].format = Merge(m_runs[i].format, cf);
    MergeAround(first, last);
    if (m_listener) m_listener->FormatApplied(m_selStart, m_selEnd);
}

int RichEditModel::GetLineCount() const {
    return static_cast<int>(std::min<long>(m_newlines + 1, std::numeric_limits<int>::max()));
}

void RichEditModel::LineScroll(int lines, int chars) {
    (void)chars;
    ++m_scrollCalls;
    m_lastScroll = lines;
    long first = static_cast<long>(m_firstVisible) + lines;
    first = std::clamp<long>(first, 0, GetLineCount() - 1);
    m_firstVisible = static_cast<int>(first);
}

CString RichEditModel::GetWindowText() const {
    if (m_base == 0) return CString(m_text);
    // Said in the text itself: whoever reads it (a log the library writes it to) sees the gap.
    return CString("[... " + std::to_string(m_base) + " earlier characters of this window are not kept ...]\n" + m_text);
}

void RichEditModel::SetWindowText(const char* text) {
    if (GetTextLength() > 0) Remove(0, GetTextLength());
    const long length = text ? static_cast<long>(std::strlen(text)) : 0;
    if (length > 0) Insert(0, text, length, m_default);
    m_selStart = m_selEnd = 0;
    m_hasCaretFormat = false;
    m_firstVisible = 0;
}

void RichEditModel::Append(const std::string& text, const CHARFORMAT2& format) {
    const long end = GetTextLength();
    if (!text.empty()) Insert(end, text.data(), static_cast<long>(text.size()), format);
    m_selStart = m_selEnd = GetTextLength();
    m_hasCaretFormat = false;
}

const CHARFORMAT2& RichEditModel::FormatAt(long pos) const {
    if (m_runs.empty()) return m_default;
    if (pos < 0 || pos >= GetTextLength()) return m_runs.back().format;
    if (pos < m_base) return m_runs.front().format;  // the nearest format kept
    return m_runs[RunIndexAt(pos)].format;
}

long RichEditModel::RunEnd(size_t i) const {
    return i + 1 < m_runs.size() ? m_runs[i + 1].start : GetTextLength();
}

size_t RichEditModel::RunIndexAt(long pos) const {
    // Mostly the last run: the library appends at the end and formats what it appended.
    if (!m_runs.empty() && pos >= m_runs.back().start) return m_runs.size() - 1;
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), pos,
                               [](long p, const Run& r) { return p < r.start; });
    return it == m_runs.begin() ? 0 : static_cast<size_t>(it - m_runs.begin()) - 1;
}

// Makes a run start at pos and answers its index (the run count when pos is the end).
size_t RichEditModel::SplitAt(long pos) {
    if (pos >= GetTextLength()) return m_runs.size();
    size_t i = RunIndexAt(pos);
    if (m_runs[i].start == pos) return i;
    m_runs.insert(m_runs.begin() + static_cast<long>(i) + 1, Run{pos, m_runs[i].format});
    return i + 1;
}

// Joins runs of one look among [first - 1, last].
void RichEditModel::MergeAround(size_t first, size_t last) {
    size_t lo = first > 0 ? first - 1 : 0;
    size_t hi = std::min(last, m_runs.size() - (m_runs.empty() ? 0 : 1));
    size_t i = lo;
    while (i < hi && i + 1 < m_runs.size()) {
        if (SameLook(m_runs[i].format, m_runs[i + 1].format)) {
            m_runs.erase(m_runs.begin() + static_cast<long>(i) + 1);
            --hi;
        } else {
            ++i;
        }
    }
}

// The index in the kept text of a position at or after KeptFrom().
long RichEditModel::Kept(long pos) const { return pos - m_base; }

void RichEditModel::Insert(long pos, const char* text, long length, const CHARFORMAT2& format) {
    size_t i = SplitAt(pos);
    m_text.insert(static_cast<size_t>(Kept(pos)), text, static_cast<size_t>(length));
    m_newlines += static_cast<long>(std::count(text, text + length, '\n'));
    for (size_t k = i; k < m_runs.size(); ++k) m_runs[k].start += length;
    m_runs.insert(m_runs.begin() + static_cast<long>(i), Run{pos, format});
    MergeAround(i, i + 1);
    if (m_listener) m_listener->TextInserted(pos, length);
    // Never the text just inserted: it may still wait for its format before it is shown.
    if (static_cast<long>(m_text.size()) > kKeptChars + kKeptChars / 4)
        LetGoBefore(std::min(pos, GetTextLength() - kKeptChars));
}

// Lets the text before keepFrom go, or a little less so that the kept text starts a line.
void RichEditModel::LetGoBefore(long keepFrom) {
    if (keepFrom <= m_base) return;
    const size_t cut = static_cast<size_t>(Kept(keepFrom));
    const size_t look = std::min<size_t>(cut, kKeptChars / 8);
    const size_t newline = m_text.rfind('\n', cut - 1);
    const size_t drop = newline != std::string::npos && newline + 1 + look >= cut ? newline + 1 : cut;
    m_droppedNewlines += static_cast<long>(std::count(m_text.begin(), m_text.begin() + static_cast<long>(drop), '\n'));
    m_text.erase(0, drop);
    m_base += static_cast<long>(drop);
    const size_t first = RunIndexAt(m_base);
    m_runs.erase(m_runs.begin(), m_runs.begin() + static_cast<long>(first));
    if (!m_runs.empty()) m_runs.front().start = m_base;
    m_selStart = std::max(m_selStart, m_base);
    m_selEnd = std::max(m_selEnd, m_base);
}

void RichEditModel::Remove(long start, long end) {
    if (m_listener) m_listener->TextRemoving(start, end - start);
    // A removal reaches into the text let go only from 0 (SetSel keeps it so): all of it goes.
    const long from = std::max(start, m_base);
    size_t first = SplitAt(from);
    size_t last = SplitAt(end);
    m_runs.erase(m_runs.begin() + static_cast<long>(first), m_runs.begin() + static_cast<long>(last));
    for (size_t k = first; k < m_runs.size(); ++k) m_runs[k].start -= end - start;
    m_newlines -= static_cast<long>(std::count(m_text.begin() + Kept(from), m_text.begin() + Kept(end), '\n'));
    m_text.erase(static_cast<size_t>(Kept(from)), static_cast<size_t>(end - from));
    if (start < m_base) {
        m_newlines -= m_droppedNewlines;
        m_droppedNewlines = 0;
        m_base = start;
    }
    if (!m_runs.empty()) MergeAround(first, first);
    if (m_firstVisible > m_newlines) m_firstVisible = static_cast<int>(m_newlines);
}
