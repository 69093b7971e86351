// Building the JUnit XML report.
#include "host/junit_report.h"

#include <cstdio>

namespace {

// Length of the UTF-8 sequence at s[i], or 0 when it is not a valid one.
size_t Utf8Length(const std::string& s, size_t i) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    size_t n;
    unsigned cp;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
        return 0;
    return n;
}

// The last line of text that holds something, without its line end.
std::string LastLine(const std::string& text) {
    const size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos) return "";
    const size_t before = text.find_last_of('\n', end);
    const size_t start = before == std::string::npos ? 0 : before + 1;
    return text.substr(start, end + 1 - start);
}

std::string Attr(const std::string& text) { return "\"" + XmlEscape(text) + "\""; }

std::string Seconds(double s) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.3f", s);
    return buf;
}

}  // namespace

std::string XmlEscape(const std::string& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '&': out += "&amp;"; ++i; continue;
        case '<': out += "&lt;"; ++i; continue;
        case '>': out += "&gt;"; ++i; continue;
        case '"': out += "&quot;"; ++i; continue;
        case '\'': out += "&apos;"; ++i; continue;
        case '\t': case '\n': case '\r': out += static_cast<char>(c); ++i; continue;
        default: break;
        }
        if (c < 0x20 || c == 0x7F) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const size_t n = Utf8Length(text, i);
        if (n == 0) {
            // Latin-1 byte: two-byte UTF-8 (0x80-0x9F are C1 controls XML discourages: replace).
            if (c < 0xA0) {
                out += "\xEF\xBF\xBD";
            } else {
                out += static_cast<char>(0xC0 | (c >> 6));
                out += static_cast<char>(0x80 | (c & 0x3F));
            }
            ++i;
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out;
}

std::string JUnitXml(const std::string& suite, const std::vector<TestResult>& results,
                     const std::vector<const TreeNode*>& notRun) {
    int failures = 0;
    size_t skipped = notRun.size();
    double total = 0;
    for (const TestResult& r : results) {
        if (FailsTheRun(r)) ++failures;
        else if (r.outcome == Outcome::Stopped) ++skipped;
        total += r.seconds;
    }
    const std::string tests = std::to_string(results.size() + notRun.size());
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    xml += "<testsuites name=" + Attr(suite) + " tests=\"" + tests + "\" failures=\"" + std::to_string(failures) +
           "\" errors=\"0\" time=\"" + Seconds(total) + "\">\n";
    xml += "  <testsuite name=" + Attr(suite) + " tests=\"" + tests + "\" failures=\"" + std::to_string(failures) +
           "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\" time=\"" + Seconds(total) + "\">\n";
    const auto open = [&](const TreeNode* node, double seconds) {
        std::string classname = node->folder;
        for (char& ch : classname)
            if (ch == '/') ch = '.';
        if (classname.empty()) classname = suite;
        xml += "    <testcase classname=" + Attr(classname) + " name=" + Attr(node->name) + " time=\"" +
               Seconds(seconds) + "\"";
    };
    for (const TestResult& r : results) {
        open(r.node, r.seconds);
        if (r.outcome == Outcome::Passed) {
            xml += "/>\n";
            continue;
        }
        if (r.outcome == Outcome::Stopped && r.stopAsked) {
            xml += ">\n      <skipped message=\"stopped: the run was stopped while this test ran\">" + XmlEscape(r.redLines) +
                   "</skipped>\n    </testcase>\n";
            continue;
        }
        std::string message;
        if (r.outcome == Outcome::Stopped) {
            // No one stopped it: the test ended itself as stopped, and its last red line says why.
            message = LastLine(r.redLines);
            if (message.empty()) message = "the test stopped itself and gave no reason";
        } else {
            message = r.redLines.substr(0, r.redLines.find('\n'));
            if (message.empty()) message = "Result " + std::to_string(r.code);
        }
        xml += ">\n      <failure type=\"" + std::string(OutcomeName(r.outcome)) + "\" message=" + Attr(message) + ">" +
               XmlEscape(r.redLines) + "</failure>\n    </testcase>\n";
    }
    for (const TreeNode* node : notRun) {
        open(node, 0);
        xml += ">\n      <skipped message=\"not run: the run was stopped before this test\"/>\n    </testcase>\n";
    }
    xml += "  </testsuite>\n</testsuites>\n";
    return xml;
}
