// CTclCommandAssembler: joins a script file's lines into whole Tcl commands in time linear in the text.
#pragma once

#include <cstddef>
#include <string>

// The text of one command of a script file, line by line, and whether Tcl takes it as complete:
// always the answer of Tcl_CommandComplete on the whole text, without parsing the whole text again
// for every line. When Tcl finds the text incomplete because a braced word is open, nothing can
// complete it before that word's close-brace (inside braces only braces and backslashes count), so
// the brace depth is followed line by line and the text is parsed again, from the start of its
// unfinished command, only once the word has closed. A braced block of n lines so costs O(n)
// instead of O(n^2). Other open words (quotes, brackets, a trailing backslash) can end in a parse
// error without being closed, which Tcl also counts as complete; for those every line is parsed.
class CTclCommandAssembler {
public:
    // Starts a new command with its first line (newline kept).
    void Start(const std::string& line);
    void Append(const std::string& line);
    // Tcl_CommandComplete of Text().
    bool IsComplete();
    const std::string& Text() const { return m_text; }

private:
    enum class Wait { kParse, kBrace };
    bool Parse();
    // Follows the open brace's depth to the end of the text; true while it stays open.
    bool BraceStillOpen();

    std::string m_text;
    size_t m_restart = 0;  // where the unfinished command's parse starts
    size_t m_scanned = 0;  // the open brace's depth is known up to here
    Wait m_wait = Wait::kParse;
    int m_depth = 0;
    bool m_escaped = false;
};
