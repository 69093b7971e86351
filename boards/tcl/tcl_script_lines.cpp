// CTclCommandAssembler: Tcl_CommandComplete's answer for a growing command text, each line scanned once.
#include "boards/tcl/tcl_script_lines.h"

#include <tcl.h>

void CTclCommandAssembler::Start(const std::string& line) {
    m_text = line;
    m_restart = 0;
    m_scanned = 0;
    m_wait = Wait::kParse;
}

void CTclCommandAssembler::Append(const std::string& line) { m_text += line; }

bool CTclCommandAssembler::IsComplete() {
    if (m_wait == Wait::kBrace && BraceStillOpen()) return false;
    return Parse();
}

// Tcl_CommandComplete's own loop, from the unfinished command on: the commands before it are whole
// and nothing appended changes how they parse.
bool CTclCommandAssembler::Parse() {
    const char* base = m_text.data();
    const char* end = base + m_text.size();
    const char* p = base + m_restart;
    Tcl_Parse parse;
    int code;
    while ((code = Tcl_ParseCommand(nullptr, p, static_cast<int>(end - p), 0, &parse)) == TCL_OK) {
        const char* next = parse.commandStart + parse.commandSize;
        if (next >= end) break;
        Tcl_FreeParse(&parse);
        p = next;
    }
    const bool incomplete = parse.incomplete != 0;
    m_restart = static_cast<size_t>(p - base);
    m_wait = Wait::kParse;
    // A missing close-brace is reported at its open brace.
    if (incomplete && code != TCL_OK && parse.errorType == TCL_PARSE_MISSING_BRACE && parse.term >= base && parse.term < end &&
        *parse.term == '{') {
        m_wait = Wait::kBrace;
        m_scanned = static_cast<size_t>(parse.term - base);
        m_depth = 0;
        m_escaped = false;
        if (!BraceStillOpen()) m_wait = Wait::kParse;  // never so; parse on every line then
    }
    Tcl_FreeParse(&parse);
    return !incomplete;
}

// Inside braces only braces count, and a backslash hides the character after it.
bool CTclCommandAssembler::BraceStillOpen() {
    for (; m_scanned < m_text.size(); ++m_scanned) {
        const char c = m_text[m_scanned];
        if (m_escaped) {
            m_escaped = false;
        } else if (c == '\\') {
            m_escaped = true;
        } else if (c == '{') {
            ++m_depth;
        } else if (c == '}' && --m_depth == 0) {
            ++m_scanned;
            return false;
        }
    }
    return true;
}
