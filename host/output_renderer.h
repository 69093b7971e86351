// Shows the library's output window text on the terminal (ANSI colours or plain) and in the log, in order.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "host/rich_edit_model.h"

// Red as the library writes failures: "RED" and "DKRED" of its colour table.
bool IsRedText(const CHARFORMAT2& cf);

// Listens to the window model. The library appends a run raw and formats it just after, so an
// appended run is held back until its format arrives (or anything else happens to the window)
// and is then written with the format it has. The terminal is a transcript: text removed from
// the window stays on screen.
class OutputRenderer : public RichEditListener {
public:
    // out: the terminal side (stdout); ansi: colour escapes on out; log: plain copy, may be null.
    OutputRenderer(RichEditModel& model, FILE* out, bool ansi, FILE* log);

    void TextInserted(long pos, long length) override;
    void TextRemoving(long pos, long length) override;
    void FormatApplied(long start, long end) override;

    // Writes the window text still held back.
    void Flush();
    // The host's own text (result lines, message boxes): after what is held back, in colour when
    // the terminal shows colours (0xFFFFFFFF: the terminal's default colour).
    static constexpr COLORREF kDefaultColor = 0xFFFFFFFF;
    void WriteHostText(std::string_view text, COLORREF color = kDefaultColor);
    // The same on screen instead of out (a dialog shown where the operator sees it while out goes to
    // a file): plain, and in the log as ever. out's line is left as it was. A null screen is out.
    void WriteHostTextOn(FILE* screen, std::string_view text, COLORREF color = kDefaultColor);
    // Text only the log shows (what a person typed: the terminal has echoed it already).
    void WriteToLog(std::string_view text);
    // While silent, text put into the window is not shown (the library rebuilding the window from
    // text that is already on screen).
    void SetSilent(bool silent) { m_silent = silent; }
    // Red text written from now on is collected, a line at a time, into lines (null: stop). Only
    // the first kRedKept characters are kept, so a test that fails on every line costs no more;
    // when more came, stopping adds a line that says how much was cut there.
    static constexpr size_t kRedKept = 64 * 1024;
    void CaptureRedLines(std::string* lines);
    // Called before anything is written to out (the progress bar clears its line).
    void SetBeforeWrite(std::function<void()> hook) { m_beforeWrite = std::move(hook); }
    // Nothing more goes to the log (it is about to be closed).
    void DetachLog() { m_log = nullptr; }
    // Until AttachLog, what the log would get is kept (the start-up text, while the host cannot
    // yet tell whether the log's file may be written); AttachLog writes it to log first.
    void HoldLog();
    void AttachLog(FILE* log);
    // The errno of the first write to the log that failed; 0 when none did.
    int LogError() const { return m_logError; }
    // Pushes written text to the terminal and the log.
    void FlushStreams();
    // Ends the current transcript line when text has been written since the last line end.
    void EnsureLineStart();

private:
    void RenderRange(long start, long end);
    void WritePiece(std::string_view text, const CHARFORMAT2& cf);
    void WriteAnsi(std::string_view text, const std::string& sgr);
    void CollectRed(std::string_view text, bool red);
    void WriteLog(std::string_view text);

    RichEditModel& m_model;
    FILE* m_out;
    bool m_ansi;
    FILE* m_log;
    int m_logError = 0;
    bool m_holdingLog = false;
    std::string m_heldLog;
    long m_pending;  // window text from here to the end is not shown yet
    bool m_silent = false;
    std::string* m_red = nullptr;
    bool m_redOpen = false;  // the collected red text ends inside a line
    size_t m_redCut = 0;     // red characters past kRedKept, not collected
    bool m_atLineStart = true;
    std::function<void()> m_beforeWrite;
};
