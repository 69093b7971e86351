// The transcript of the output window on the terminal and in the log.
#include "host/output_renderer.h"

#include <cerrno>

using namespace richedit;

bool IsRedText(const CHARFORMAT2& cf) {
    if (cf.dwEffects & CFE_AUTOCOLOR) return false;
    const COLORREF c = cf.crTextColor & 0xFFFFFF;
    return c == 0x0000FF || c == 0x0000C0;
}

namespace {

void AppendRgb(std::string& sgr, const char* kind, COLORREF c) {
    sgr += kind;
    sgr += std::to_string(c & 0xFF) + ';' + std::to_string((c >> 8) & 0xFF) + ';' +
           std::to_string((c >> 16) & 0xFF);
}

// Select Graphic Rendition for a format. The window is black on white; on a terminal black text
// on white shows in the terminal's own colours, so a dark terminal stays readable.
std::string Sgr(const CHARFORMAT2& cf) {
    const bool autoText = (cf.dwEffects & CFE_AUTOCOLOR) != 0;
    const bool autoBack = (cf.dwEffects & CFE_AUTOBACKCOLOR) != 0;
    const COLORREF text = cf.crTextColor & 0xFFFFFF;
    const COLORREF back = cf.crBackColor & 0xFFFFFF;
    const bool plainBack = autoBack || back == 0xFFFFFF;
    std::string sgr;
    if (!autoText && !(text == 0x000000 && plainBack)) AppendRgb(sgr, ";38;2;", text);
    if (!plainBack) AppendRgb(sgr, ";48;2;", back);
    if (cf.dwEffects & CFE_UNDERLINE) sgr += ";4";
    if (cf.dwEffects & CFE_BOLD) sgr += ";1";
    if (sgr.empty()) return sgr;
    return "\033[0" + sgr + "m";
}

}  // namespace

OutputRenderer::OutputRenderer(RichEditModel& model, FILE* out, bool ansi, FILE* log)
    : m_model(model), m_out(out), m_ansi(ansi), m_log(log), m_pending(model.GetTextLength()) {}

void OutputRenderer::TextInserted(long pos, long length) {
    const long end = m_model.GetTextLength();
    if (m_silent) {
        if (m_pending >= pos) m_pending += length;
        if (m_pending > end) m_pending = end;
        // What was held back before the silent text is still new output.
        if (m_pending < pos) RenderRange(m_pending, pos);
        m_pending = end;
        return;
    }
    if (pos + length == end) {
        // An append: what was held back is complete, the new run waits for its format.
        if (m_pending < pos) RenderRange(m_pending, pos);
        m_pending = pos;
        return;
    }
    // Inserted inside the text: it cannot wait, the text after it is already shown.
    if (m_pending >= pos) m_pending += length;
    if (m_pending < end) RenderRange(m_pending, end);
    if (m_pending > pos) RenderRange(pos, pos + length);
    m_pending = end;
}

void OutputRenderer::TextRemoving(long pos, long length) {
    (void)pos;
    Flush();
    m_pending = m_model.GetTextLength() - length;
}

void OutputRenderer::FormatApplied(long start, long end) {
    (void)start;
    if (m_pending < m_model.GetTextLength() && end >= m_model.GetTextLength()) Flush();
}

void OutputRenderer::Flush() {
    const long end = m_model.GetTextLength();
    if (m_pending < end) RenderRange(m_pending, end);
    m_pending = end;
}

void OutputRenderer::WriteHostText(std::string_view text, COLORREF color) { WriteHostTextOn(m_out, text, color); }

void OutputRenderer::WriteHostTextOn(FILE* screen, std::string_view text, COLORREF color) {
    Flush();
    if (text.empty()) return;
    // The progress bar may share the screen: it is cleared whichever stream the text goes to.
    if (m_beforeWrite) m_beforeWrite();
    const bool onOut = !screen || screen == m_out;
    if (onOut && m_ansi && color != kDefaultColor) {
        std::string sgr;
        AppendRgb(sgr, "\033[0;38;2;", color);
        sgr += 'm';
        WriteAnsi(text, sgr);
    } else {
        fwrite(text.data(), 1, text.size(), onOut ? m_out : screen);
    }
    WriteLog(text);
    if (onOut) m_atLineStart = text.back() == '\n';
    CollectRed(text, false);
}

void OutputRenderer::WriteToLog(std::string_view text) {
    WriteLog(text);
    if (!text.empty()) m_atLineStart = text.back() == '\n';  // the terminal's echo ended the line
}

void OutputRenderer::EnsureLineStart() {
    Flush();
    if (!m_atLineStart) WriteHostText("\n");
}

void OutputRenderer::CaptureRedLines(std::string* lines) {
    if (m_red && m_redCut) {
        if (!m_red->empty() && m_red->back() != '\n') m_red->push_back('\n');
        *m_red += "[... " + std::to_string(m_redCut) + " more characters of red text are not kept here ...]\n";
    }
    m_red = lines;
    m_redOpen = false;
    m_redCut = 0;
}

void OutputRenderer::FlushStreams() {
    Flush();
    fflush(m_out);
    if (m_log && fflush(m_log) != 0 && m_logError == 0) m_logError = errno;
}

void OutputRenderer::HoldLog() {
    m_log = nullptr;
    m_holdingLog = true;
}

void OutputRenderer::AttachLog(FILE* log) {
    m_log = log;
    m_holdingLog = false;
    WriteLog(m_heldLog);
    std::string().swap(m_heldLog);
}

void OutputRenderer::WriteLog(std::string_view text) {
    if (m_holdingLog) m_heldLog += text;
    if (m_log && fwrite(text.data(), 1, text.size(), m_log) != text.size() && m_logError == 0) m_logError = errno ? errno : EIO;
}

void OutputRenderer::RenderRange(long start, long end) {
    if (m_beforeWrite) m_beforeWrite();
    m_model.ForEachRun(start, end, [&](std::string_view piece, const CHARFORMAT2& cf) { WritePiece(piece, cf); });
}

void OutputRenderer::WritePiece(std::string_view text, const CHARFORMAT2& cf) {
    if (m_ansi) {
        WriteAnsi(text, Sgr(cf));
    } else {
        fwrite(text.data(), 1, text.size(), m_out);
    }
    WriteLog(text);
    if (!text.empty()) m_atLineStart = text.back() == '\n';
    CollectRed(text, IsRedText(cf));
}

// Escapes are closed before each line end, so a background never runs on to the line's edge.
void OutputRenderer::WriteAnsi(std::string_view text, const std::string& sgr) {
    if (sgr.empty()) {
        fwrite(text.data(), 1, text.size(), m_out);
        return;
    }
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        if (!line.empty()) {
            fputs(sgr.c_str(), m_out);
            fwrite(line.data(), 1, line.size(), m_out);
            fputs("\033[0m", m_out);
        }
        if (nl == std::string_view::npos) break;
        fputc('\n', m_out);
        text.remove_prefix(nl + 1);
    }
}

void OutputRenderer::CollectRed(std::string_view text, bool red) {
    if (!m_red || text.empty()) return;
    if (red) {
        const size_t room = m_red->size() < kRedKept ? kRedKept - m_red->size() : 0;
        if (m_redCut == 0 && text.size() <= room) {
            m_red->append(text);
            m_redOpen = text.back() != '\n';
            return;
        }
        if (m_redCut == 0) {
            // Whole lines where they fit, so the mark starts a line of its own.
            const size_t newline = text.substr(0, room).rfind('\n');
            const size_t kept = newline != std::string_view::npos ? newline + 1 : m_redOpen ? room : 0;
            m_red->append(text.substr(0, kept));
            text.remove_prefix(kept);
        }
        m_redCut += text.size();
        m_redOpen = false;
    } else if (m_redOpen && text.find('\n') != std::string_view::npos) {
        // The red part of a line ends where the line does.
        m_red->push_back('\n');
        m_redOpen = false;
    }
}
