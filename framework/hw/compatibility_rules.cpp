// Reading "DeviceCompatiblity.txt" and answering which rule's results fit a device.
#include "framework/hw/compatibility_rules.h"

#include <algorithm>
#include <climits>

#include "platform/files.h"
#include "platform/number_text.h"

namespace {

CString WithoutBlanks(CString s) {
    s.Remove(' ');
    s.Remove('\t');
    s.Remove('\r');
    s.Remove('\n');
    return s;
}

// A revision in hexadecimal, as strtoul reads it (no digits read as 0); false for a number no
// 32-bit word holds, which is a mistake in the text, not a revision to cut or saturate.
bool ParseHex(const CString& s, DWORD& value) {
    const platform::FieldScan scan = platform::ReadField(s.c_str(), platform::NumberForm::Hex, platform::kUnsigned32Field);
    value = scan.fit == platform::NumberFit::Fits ? static_cast<DWORD>(scan.value) : 0;
    return scan.fit != platform::NumberFit::OutOfRange;
}

bool IsRevisionKey(const CString& key, const char* which) { return key.CompareNoCase(which) == 0; }

bool IsRevisionKey(const CString& key) { return IsRevisionKey(key, "MinRev") || IsRevisionKey(key, "MaxRev"); }

// Position of the "}" closing the "{" at open, counting nested pairs; -1 when it is never closed.
int ClosingBrace(const CString& line, int open) {
    int depth = 0;
    for (int k = open; k < line.GetLength(); ++k) {
        if (line[k] == '{') {
            ++depth;
        } else if (line[k] == '}') {
            if (--depth == 0) return k;
        }
    }
    return -1;
}

// Every piece between commas is an element, empty ones included.
CCompatibilityRules::StringList SplitAtCommas(const CString& group) {
    CCompatibilityRules::StringList out;
    int start = 0;
    for (int comma; (comma = group.Find(',', start)) >= 0; start = comma + 1) out.push_back(group.Mid(start, comma - start));
    out.push_back(group.Mid(start));
    return out;
}

}  // namespace

CCompatibilityRules::CCompatibilityRules(const char* path) {
    std::vector<BYTE> bytes;
    // Lines are counted in int: a larger file is not read, and leaves the rule set empty.
    if (!path || !platform::ReadWholeFile(path, bytes, INT_MAX)) return;
    // The text was kept zero-terminated: nothing after a zero byte is read.
    const size_t end = static_cast<size_t>(std::find(bytes.begin(), bytes.end(), BYTE{0}) - bytes.begin());
    for (size_t i = 0; i < end;) {
        size_t j = i;
        while (j < end && bytes[j] != '\r' && bytes[j] != '\n') ++j;
        if (j > i) ParseLine(CString(reinterpret_cast<const char*>(&bytes[i]), static_cast<int>(j - i)));
        i = j + 1;
    }
}

void CCompatibilityRules::ParseLine(CString line) {
    line.TrimLeft();
    const int hash = line.Find('#');
    if (hash >= 0) line = line.Left(hash);
    line.TrimRight();
    line = WithoutBlanks(line);
    if (line.IsEmpty()) return;

    const int open = line.Find('{');
    if (open < 0) return;
    const int close = ClosingBrace(line, open);
    if (close < 0 || close + 1 >= line.GetLength()) return;
    StringList conditions = SplitAtCommas(line.Mid(open + 1, close - open - 1));
    // A revision too wide for its word makes the line a bad one, as a broken brace does.
    for (const CString& condition : conditions) {
        const int eq = condition.Find('=');
        DWORD revision = 0;
        if (eq >= 0 && IsRevisionKey(condition.Left(eq)) && !ParseHex(condition.Mid(eq + 1), revision)) return;
    }

    StringList results;
    const int next = close + 1;
    if (line[next] == '{') {
        const int close2 = ClosingBrace(line, next);
        if (close2 < 0) return;
        results = SplitAtCommas(line.Mid(next + 1, close2 - next - 1));
    } else {
        results.push_back(CString());
    }
    m_rules.emplace(std::move(conditions), std::move(results));  // an earlier rule with these conditions stays
}

CCompatibilityRules::StringList CCompatibilityRules::FindRule(const StringList& query) const {
    for (const auto& [conditions, results] : m_rules)
        if (MatchConditions(query, conditions)) return results;
    return {};
}

BOOL CCompatibilityRules::MatchConditions(const StringList& query, const StringList& conditions) {
    for (const CString& element : query) {
        const CString q = WithoutBlanks(element);
        const int eq = q.Find('=');
        if (eq < 0) return TRUE;
        const CString key = q.Left(eq), value = q.Mid(eq + 1);
        const bool minRev = IsRevisionKey(key, "MinRev"), maxRev = IsRevisionKey(key, "MaxRev");
        DWORD bound = 0;
        if ((minRev || maxRev) && !ParseHex(value, bound)) return FALSE;

        for (const CString& condition : conditions) {
            const CString c = WithoutBlanks(condition);
            const int ceq = c.Find('=');
            if (ceq < 0) break;
            if (c.Left(ceq).CompareNoCase(key) != 0) continue;
            const CString cvalue = c.Mid(ceq + 1);
            // The rule's revision range must lie inside the query's.
            DWORD revision = 0;
            if ((minRev || maxRev) && !ParseHex(cvalue, revision)) return FALSE;
            if (minRev) {
                if (revision < bound) return FALSE;
            } else if (maxRev) {
                if (revision > bound) return FALSE;
            } else if (cvalue.CompareNoCase(value) != 0) {
                return FALSE;
            }
        }
    }
    return TRUE;
}
