// Test-tree paths to record paths: mode cut, command cut, the conditions table and name tidying.
#include "boards/roots/tree_paths.h"

#include <cstring>

namespace treepath {

namespace {

enum class Knower { Both, MainBoard, CodecBoard };

struct Condition {
    const char* text;
    Knower knower;
    bool needsDevice;  // tested only while the root has a selected device
    bool (*met)(const ConditionFacts&);
};

constexpr DWORD kZyvApril = 20040416;
constexpr DWORD kZyvMay = 20040521;

// The order is fixed: the first unmet condition drops the path.
const Condition kConditions[] = {
    {"&(Release=Grenlo)", Knower::Both, false, [](const ConditionFacts& f) { return f.releaseId == 2; }},
    {"&(Release=Skavo)", Knower::Both, false, [](const ConditionFacts& f) { return f.releaseId == 1; }},
    {"&(Requirement=Nuxa)", Knower::MainBoard, false,
     [](const ConditionFacts& f) { return f.mainBoards == f.codecBoards; }},
    {"&(Requirement=Brimola)", Knower::CodecBoard, false,
     [](const ConditionFacts& f) { return f.mainBoards == f.codecBoards; }},
    {"&(Requirement=NulkLoopback)", Knower::Both, false,
     [](const ConditionFacts& f) { return f.switchesUpper.Find("-NULKLOOPBACK") >= 0; }},
    {"&(Requirement=BexiLoopback)", Knower::Both, false,
     [](const ConditionFacts& f) { return f.switchesUpper.Find("-BEXILOOPBACK") >= 0; }},
    {"&(Requirement=X2V4000)", Knower::Both, true, [](const ConditionFacts& f) { return f.hasX2V4000; }},
    {"&(Requirement=X2V6000)", Knower::Both, true, [](const ConditionFacts& f) { return f.hasX2V6000; }},
    {"&(ZorvZyvPkg .lt 20040416)", Knower::CodecBoard, false,
     [](const ConditionFacts& f) { return f.zyvPackageDate < kZyvApril; }},
    {"&(ZorvZyvPkg .ge 20040416)", Knower::CodecBoard, false,
     [](const ConditionFacts& f) { return f.zyvPackageDate >= kZyvApril; }},
    {"&(ZorvZyvPkg .ge 20040521)", Knower::CodecBoard, false,
     [](const ConditionFacts& f) { return f.zyvPackageDate >= kZyvMay; }},
    {"&(ZorvZyvPkg .lt 20040521)", Knower::CodecBoard, false,
     [](const ConditionFacts& f) { return f.zyvPackageDate < kZyvMay; }},
};

bool Knows(RootKind kind, Knower knower) {
    if (knower == Knower::Both) return true;
    return (knower == Knower::MainBoard) == (kind == RootKind::MainBoard);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Trims blanks at both ends of the name part of one segment (the text before its marks).
CString TidySegment(const CString& segment) {
    const int tick = segment.ReverseFind('`');
    CString name = tick >= 0 ? segment.Left(tick) : segment;
    name.Trim();
    return tick >= 0 ? name + segment.Mid(tick) : name;
}

// The board word, the mode cut and the test rule: what a root keeps of a path before its conditions.
bool KeepsAsTest(CString& path, const char* boardWord, bool engineering) {
    if (!BelongsToBoard(path, boardWord) || !CutMode(path, engineering)) return false;
    // A leaf right under the mode's folder is no test, nor is a group left without leaves, whose
    // record could only fail for want of a test to find.
    return path.Find('\\') >= 0 && path.Find('<') >= 0;
}

}  // namespace

bool BelongsToBoard(const CString& path, const char* boardWord) {
    const int length = static_cast<int>(std::strlen(boardWord));
    return path.GetLength() >= length && path.Left(length).CompareNoCase(boardWord) == 0;
}

bool CutMode(CString& path, bool engineering) {
    if (const int at = path.Find("Engineering"); at >= 0) {
        if (!engineering) return false;
        path = path.Mid(at);
        return true;
    }
    if (const int at = path.Find("Manufacturing"); at >= 0) {
        if (engineering) {
            path = path.Mid(at);
        } else if (const int slash = path.Find('\\', at); slash >= 0) {
            path = path.Mid(slash + 1);
        }
    }
    return true;
}

void CutCommand(CString& path) {
    const int open = path.Find('<');
    if (open < 0) return;
    int from = open;
    while (from > 0 && IsBlank(path[from - 1])) --from;
    if (path.Find('`') < 0) {
        path = path.Left(from);
        return;
    }
    const int close = path.ReverseFind('>');
    if (close < open) return;
    path.Delete(from, close + 1 - from);
}

bool ApplyConditions(CString& path, RootKind kind, const ConditionFacts& facts) {
    for (const Condition& c : kConditions) {
        if (!Knows(kind, c.knower) || (c.needsDevice && !facts.hasDevice)) continue;
        if (path.Find(c.text) < 0) continue;
        if (!c.met(facts)) return false;
        path.Replace(c.text, "");
    }
    return true;
}

void TidySegments(CString& path) {
    CString tidy;
    int start = 0;
    for (;;) {
        const int slash = path.Find('\\', start);
        const CString segment = slash >= 0 ? path.Mid(start, slash - start) : path.Mid(start);
        tidy += TidySegment(segment);
        if (slash < 0) break;
        tidy += '\\';
        start = slash + 1;
    }
    path = tidy;
}

bool MakeRecordPath(const CString& rawPath, const char* boardWord, RootKind kind, bool engineering,
                    const ConditionFacts& facts, CString& recordPath) {
    recordPath.Empty();
    CString path = rawPath;
    if (!KeepsAsTest(path, boardWord, engineering)) return false;
    CutCommand(path);
    if (!ApplyConditions(path, kind, facts)) return false;
    TidySegments(path);
    recordPath = path;
    return true;
}

bool IsOtherBoardsTest(const CString& rawPath, RootKind kind, bool engineering) {
    CString path = rawPath;
    return KeepsAsTest(path, BoardWord(kind == RootKind::MainBoard ? RootKind::CodecBoard : RootKind::MainBoard), engineering);
}

}  // namespace treepath
