// Test-tree paths to record paths: the board word, the mode cut, the command cut and the conditions.
#pragma once

#include "platform/cstring.h"
#include "platform/types.h"

// A path of the ordered tree reader joins segments with "\", each segment a name, a grave accent
// and its marks: "Brimola`9000\Manufacturing`9000\Memory`+9000\Random Memory <CWexal ...>`+9000".
// These functions turn one such path into the path of the record a board root publishes.
namespace treepath {

// Which conditions a root knows: the board requirement and the codec package dates are its own.
enum class RootKind { MainBoard, CodecBoard };

// The first segment of the tree paths of a kind of root.
constexpr const char* BoardWord(RootKind kind) { return kind == RootKind::MainBoard ? "Brimola" : "Nuxa"; }

// What the conditions of a path are tested against, gathered once per tree.
struct ConditionFacts {
    DWORD releaseId = 0;        // CWexalTestBase::GetReleaseId
    int mainBoards = 0;
    int codecBoards = 0;
    CString switchesUpper;      // "CmdLine", upper-cased
    bool hasDevice = false;     // the root has a selected device
    bool hasX2V4000 = false;    // ... which offers that space
    bool hasX2V6000 = false;
    DWORD zyvPackageDate = 0;   // yyyymmdd of the installed codec table packages, 0 when none known
};

// TRUE when the path begins with the board word, compared without regard to case.
bool BelongsToBoard(const CString& path, const char* boardWord);

// Engineering mode keeps "Engineering" and "Manufacturing" subtrees from those folders down;
// manufacturing mode drops "Engineering" paths and lifts the manufacturing tests to the top. A
// path with neither word keeps its board word. False when the path is dropped.
bool CutMode(CString& path, bool engineering);

// Removes the command ("<...>") from the leaf, with the blanks before it.
void CutCommand(CString& path);

// Tests the conditions this kind of root knows, in their fixed order: an unmet one drops the path
// (false); a met one is removed everywhere it occurs. Unknown condition texts stay as they are.
// The X2V conditions are neither tested nor removed without a selected device.
bool ApplyConditions(CString& path, RootKind kind, const ConditionFacts& facts);

// Removes the blanks that condition and command removal leave around each segment's name.
void TidySegments(CString& path);

// The whole walk from a raw tree path to a record path (marks kept): false when it is not
// published by this root. A path that carries no command ("<...>") names no test and is dropped.
bool MakeRecordPath(const CString& rawPath, const char* boardWord, RootKind kind, bool engineering,
                    const ConditionFacts& facts, CString& recordPath);

// True when a root of the other kind keeps the path as a test, its conditions aside: they depend
// on what only that root knows.
bool IsOtherBoardsTest(const CString& rawPath, RootKind kind, bool engineering);

}  // namespace treepath
