// The host's output window: an in-memory rich-edit control holding text as runs of character formats.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/host_ui.h"

// Rich Edit mask and effect bits the model honours when a format is applied to a selection (kept in
// a namespace of their own: the library's headers may define the same names).
namespace richedit {
constexpr DWORD CFM_BOLD = 0x00000001;
constexpr DWORD CFM_ITALIC = 0x00000002;
constexpr DWORD CFM_UNDERLINE = 0x00000004;
constexpr DWORD CFM_STRIKEOUT = 0x00000008;
constexpr DWORD CFM_OFFSET = 0x10000000;
constexpr DWORD CFM_CHARSET = 0x08000000;
constexpr DWORD CFM_BACKCOLOR = 0x04000000;
constexpr DWORD CFM_FACE = 0x20000000;
constexpr DWORD CFM_COLOR = 0x40000000;
constexpr DWORD CFM_SIZE = 0x80000000;
constexpr DWORD CFE_AUTOCOLOR = 0x40000000;
constexpr DWORD CFE_AUTOBACKCOLOR = 0x04000000;
}  // namespace richedit

// Told about every change of the model's text and formats, in the order they happen.
class RichEditListener {
public:
    virtual ~RichEditListener() = default;
    // [pos, pos + length) has just been inserted.
    virtual void TextInserted(long pos, long length) = 0;
    // [pos, pos + length) is about to be removed (the text is still there).
    virtual void TextRemoving(long pos, long length) = 0;
    // A format has just been applied to [start, end).
    virtual void FormatApplied(long start, long end) = 0;
};

// Black text on white, Courier New: what an empty control starts with.
CHARFORMAT2 DefaultCharFormat();
// True when two formats would look the same (the mask and size fields are not compared).
bool SameLook(const CHARFORMAT2& a, const CHARFORMAT2& b);

// A rich-edit control as the library drives it: replace the selection, format the selection,
// count lines, scroll. Inserted text takes the format of the character before it (the first
// character's at position 0), as the real control does; adjacent runs of one look are merged,
// so a long report of few colours costs few runs. Line count and scroll are kept incrementally.
//
// The model holds only the last part of the text (about kKeptChars; the terminal and the log hold
// all of it), so the host's memory stays flat however much a test prints. Lengths, positions and
// the line count still count the whole text. What was let go lies before KeptFrom(): a selection
// takes it only whole, from 0 (a position inside it moves to KeptFrom()), and GetWindowText answers
// the kept text after a line that says how much is missing in front of it.
class RichEditModel : public CRichEditCtrl {
public:
    // Text kept once the model lets older text go; it lets go in steps of a quarter of this.
    static constexpr long kKeptChars = 1L << 20;

    RichEditModel();

    void SetListener(RichEditListener* listener) { m_listener = listener; }

    long GetTextLength() const override { return m_base + static_cast<long>(m_text.size()); }
    void GetSel(long& start, long& end) const override;
    // end -1 selects to the end; start -1 removes the selection (caret at its end); values are
    // clipped to the text and put in order.
    void SetSel(long start, long end) override;
    void ReplaceSel(const char* text, bool canUndo = false) override;
    void SetSelectionCharFormat(const CHARFORMAT2& cf) override;
    int GetLineCount() const override;
    void LineScroll(int lines, int chars = 0) override;
    CString GetWindowText() const override;
    void SetWindowText(const char* text) override;

    // Appends text at the end in the given format; the selection becomes the caret at the end.
    void Append(const std::string& text, const CHARFORMAT2& format);

    // The text kept: the window's text from KeptFrom() to the end.
    const std::string& Text() const { return m_text; }
    // Where the kept text starts in the window's text (0 until the model first lets text go).
    long KeptFrom() const { return m_base; }
    // The format of the character at pos (the default format when there is none).
    const CHARFORMAT2& FormatAt(long pos) const;
    // Calls visit(text, format) for each run piece of the kept text inside [start, end), in order.
    template <typename Visit>
    void ForEachRun(long start, long end, Visit&& visit) const;
    size_t RunCount() const { return m_runs.size(); }

    int FirstVisibleLine() const { return m_firstVisible; }
    int ScrollCalls() const { return m_scrollCalls; }
    int LastScrollLines() const { return m_lastScroll; }

private:
    struct Run {
        long start;  // in the whole text
        CHARFORMAT2 format;
    };

    long RunEnd(size_t i) const;
    size_t RunIndexAt(long pos) const;
    size_t SplitAt(long pos);
    void MergeAround(size_t first, size_t last);
    long Kept(long pos) const;
    void Insert(long pos, const char* text, long length, const CHARFORMAT2& format);
    void Remove(long start, long end);
    void LetGoBefore(long keepFrom);

    std::string m_text;       // the kept text
    long m_base = 0;          // characters let go in front of it
    std::vector<Run> m_runs;  // sorted by start, covering the kept text; empty when it is
    CHARFORMAT2 m_default;
    long m_selStart = 0;
    long m_selEnd = 0;
    bool m_hasCaretFormat = false;  // a format set on an empty selection waits for the next insertion
    CHARFORMAT2 m_caretFormat;
    long m_newlines = 0;         // in the whole text
    long m_droppedNewlines = 0;  // of those, in the text let go
    int m_firstVisible = 0;
    int m_scrollCalls = 0;
    int m_lastScroll = 0;
    RichEditListener* m_listener = nullptr;
};

template <typename Visit>
void RichEditModel::ForEachRun(long start, long end, Visit&& visit) const {
    if (start < m_base) start = m_base;
    if (end > GetTextLength()) end = GetTextLength();
    if (start >= end) return;
    const std::string_view text(m_text);
    for (size_t i = RunIndexAt(start); i < m_runs.size() && m_runs[i].start < end; ++i) {
        long a = m_runs[i].start < start ? start : m_runs[i].start;
        long b = RunEnd(i) > end ? end : RunEnd(i);
        if (a < b) visit(text.substr(static_cast<size_t>(a - m_base), static_cast<size_t>(b - a)), m_runs[i].format);
    }
}
