// The compatibility rules file "DeviceCompatiblity.txt": which firmware images fit which board.
#pragma once

#include <algorithm>
#include <map>
#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

// Each line "{conditions}{results}" pairs KEY=VALUE conditions with free result texts (firmware
// image names). Rules are kept ordered by their condition lists (element by element, as written
// once blanks are removed; a prefix sorts first), and a later line with the same conditions is
// dropped. A question is answered by the first rule, in that order, whose conditions agree.
class CCompatibilityRules {
public:
    using StringList = std::vector<CString>;

    // Reads and parses the file; one that cannot be read whole leaves the rule set empty.
    explicit CCompatibilityRules(const char* path);

    // The results of the first agreeing rule, or an empty list.
    StringList FindRule(const StringList& query) const;
    // TRUE when the conditions agree with the query. Keys match without regard to case. "MinRev"
    // and "MaxRev" carry hexadecimal numbers: a condition MinRev below the query's, or MaxRev above
    // the query's, disagrees; other keys disagree when their values differ (case ignored). Keys
    // named on one side only are not examined. A query element without "=" agrees at once; a
    // condition without "=" ends the conditions examined for that query element.
    static BOOL MatchConditions(const StringList& query, const StringList& conditions);

private:
    // Element by element as byte strings. (The lists' own ordering would go through CString's
    // conversion to a pointer.)
    struct ListLess {
        bool operator()(const StringList& a, const StringList& b) const {
            return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                [](const CString& x, const CString& y) { return x.str() < y.str(); });
        }
    };

    void ParseLine(CString line);

    std::map<StringList, StringList, ListLess> m_rules;
};
