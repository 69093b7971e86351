// The test tree handed to the host: TestRecord, the process-wide CTestRegistry and GetTestList.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/cstring.h"
#include "platform/host_ui.h"
#include "platform/types.h"

class CTestBase;
class CResultScreen;

// Code name of every folder record.
inline constexpr const char kNoCodeName[] = "@#$__NOCODENAME__$#@";

// One entry of the host's test tree. The host reads records in place, so the field order is fixed.
struct TestRecord {
    CString m_name;         // path segment (a leaf: the last one); the key pass cuts "`key" off
    CString m_displayText;  // folder: the segment; leaf: the publisher's code name
    CString m_command;      // leaf: the text the host passes to m_owner->Run; folder: empty
    CString m_codeName;     // folder: kNoCodeName
    CString m_sortKey;      // set by the key pass
    CTestBase* m_owner = nullptr;  // whose Run and Help the host calls; null for folders
    BOOL m_isLeaf = FALSE;
    DWORD m_publisherFlag = 0;     // the flag given to AddTest; 0 for folders
    BOOL m_checked = TRUE;
    BOOL m_checked2 = TRUE;        // always equal to m_checked
    BOOL m_optional = FALSE;       // written by the key pass only
    DWORD m_word44 = 0;
    DWORD m_word48 = 0;            // never written by the library
    DWORD m_word52 = 3;
    TestRecord* m_parent = nullptr;  // null at the top level

    // The key pass: the text after the last '`' of the name becomes the sort key, and a leading
    // mark '+', '#', '-' or '=' sets the checked and optional flags. Answers TRUE when a non-empty
    // key remains.
    BOOL ApplySortKey();
};

// What GetTestList answers: count records at records (null when there are none).
struct TestList {
    int count = 0;
    TestRecord** records = nullptr;
};

// Takes the text before the first '\' off the front of buffer into segment; FALSE (and nothing
// changed) when the buffer holds no '\'.
BOOL PopPathSegment(char* buffer, CString& segment);

// The global list of test records. It is built by the first record added (board roots publish
// while the library's static objects are being constructed) and closed when the host takes it.
class CTestRegistry {
public:
    static constexpr DWORD kGuard = 0x82DEAD19;

    CTestRegistry() = default;
    ~CTestRegistry();
    CTestRegistry(const CTestRegistry&) = delete;
    CTestRegistry& operator=(const CTestRegistry&) = delete;

    // The process-wide registry, constructed on first use.
    static CTestRegistry& Instance();

    // Adds the folders of a '\'-separated path that do not exist yet and one leaf record.
    // Answers 0; 1 when the list was already handed to the host (nothing is added then).
    DWORD AddTest(const char* path, const char* codeName, DWORD flag, CTestBase* owner, CString command);
    // Appends a record the registry then owns; FALSE (the record is deleted) after the hand-over.
    BOOL AppendRecord(TestRecord* record);
    // The first record, in the order added, with exactly this name under this parent.
    TestRecord* FindFolder(const CString& name, const TestRecord* parent);
    // Closes the list and hands it out; runs the key pass and sorts when any record has a key.
    // Later calls answer the same list.
    TestList* DetachList();
    // One-time set-up; does nothing once the guard is set.
    void Init();

    // GetTestList's work: hand the list over, attach the host to the screen, append the text
    // printed before the host attached, keep the stop flag.
    TestList* HandOver(CResultScreen& screen, CTestHost* host, int* stopFlag);

    bool IsSetUp() const { return m_guard == kGuard; }
    int GetCount() const { return m_count; }
    bool IsHandedOver() const { return m_handedOver; }
    int* GetStopFlag() const { return m_stopFlag; }
    CTestHost* GetHost() const { return m_host; }
    CRichEditCtrl* GetOutputCtrl() const { return m_outputCtrl; }
    // Points screen at the kept host and caches its output control afresh; nothing without a host.
    void RefreshHostAttachment(CResultScreen& screen);

private:
    std::vector<TestRecord*>* m_list = nullptr;  // null after hand-over
    // The first record added under each (parent, name): FindFolder without a scan of the list.
    std::map<std::pair<const TestRecord*, std::string>, TestRecord*> m_firstByName;
    int m_count = 0;
    TestList m_handed;
    std::vector<TestRecord*> m_handedStorage;
    int* m_stopFlag = nullptr;
    DWORD m_guard = 0;
    bool m_handedOver = false;
    CTestHost* m_host = nullptr;
    CRichEditCtrl* m_outputCtrl = nullptr;  // the host's control as cached at hand-over
};

// The host's stop flag, polled by every test; a process-wide 0 until the host gave its own.
int* g_StopFlag();
// The host object and its output control as GetTestList (or the last refresh) found them.
CTestHost* GetTestHost();
CRichEditCtrl* GetCachedOutputCtrl();

// The exported entry: hands the host the test tree. The records live until the library is unloaded.
extern "C" PEX_EXPORT TestList* GetTestList(CTestHost* host, int* stopFlag);
