// Lists written as one text for tests: entries joined with "|", so a whole list is one row value.
#pragma once

#include <string>
#include <vector>

#include "framework/str_list.h"

namespace support {

// The parts of a text joined with "|" ("" has none).
inline std::vector<std::string> Split(const std::string& joined) {
    std::vector<std::string> parts;
    for (size_t at = 0, bar = 0; !joined.empty() && bar != std::string::npos; at = bar + 1) {
        bar = joined.find('|', at);
        parts.push_back(joined.substr(at, bar - at));
    }
    return parts;
}

template <class List = CStrList>
List MakeList(const std::string& joined) {
    List list;
    for (const std::string& e : Split(joined)) list.Add(e.c_str());
    return list;
}

inline std::string Joined(const CStrList& list) {
    std::string out;
    for (const CString& e : list.GetEntries()) out += (&e == list.GetEntries().data() ? "" : "|") + e.str();
    return out;
}

}  // namespace support
