// The promise of the path mapping checked on any name: a name that is not a local absolute path lands in the station folder.
#pragma once

#include <string>
#include <vector>

namespace stationpaths {

// The '/'-separated components of path, empty ones left out.
inline std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> parts;
    for (size_t at = 0; at <= path.size();) {
        size_t next = path.find('/', at);
        if (next == std::string::npos) next = path.size();
        if (next > at) parts.push_back(path.substr(at, next - at));
        at = next + 1;
    }
    return parts;
}

// Whether the name is one the mapping takes as a local absolute path: its raw text starts with '/'.
inline bool IsLocalAbsolute(const std::string& name) { return !name.empty() && name[0] == '/'; }

// "" when mapped (a MapPath answer; a relative one is taken from cwd) names station or a place
// below it with no ".." on the way, else what is wrong. station and cwd are absolute, without links.
inline std::string OutsideStation(const std::string& mapped, const std::string& station, const std::string& cwd) {
    if (mapped.empty()) return "an empty answer";
    const std::string whole = mapped[0] == '/' ? mapped : cwd + "/" + mapped;
    const std::vector<std::string> parts = Split(whole), root = Split(station);
    for (const std::string& p : parts)
        if (p == "..") return "\"..\" in " + whole;
    if (parts.size() < root.size()) return whole + " is above the station folder";
    for (size_t i = 0; i < root.size(); ++i)
        if (parts[i] != root[i]) return whole + " is not in " + station;
    return "";
}

}  // namespace stationpaths
