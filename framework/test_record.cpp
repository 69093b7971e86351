// The test registry: building the folder tree, the key pass and sort, and the hand-over to the host.
#include "framework/test_record.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "framework/result_screen.h"
#include "framework/test_base.h"

BOOL TestRecord::ApplySortKey() {
    int tick = m_name.ReverseFind('`');
    if (tick < 0) return FALSE;
    // A folder's display text is its name, so it loses the key too; a leaf shows its code name.
    bool displayIsName = m_name == m_displayText;
    m_sortKey = m_name.Mid(tick + 1);
    m_name = m_name.Left(tick);
    if (displayIsName) m_displayText = m_name;

    BOOL checked = -1, optional = -1;
    switch (m_sortKey.GetAt(0)) {
    case '+': checked = TRUE; optional = FALSE; break;
    case '#': checked = TRUE; optional = TRUE; break;
    case '-': checked = FALSE; optional = FALSE; break;
    case '=': checked = FALSE; optional = TRUE; break;
    default: break;
    }
    if (checked != -1) {
        m_sortKey = m_sortKey.Mid(1);
        m_checked = m_checked2 = checked;
        m_optional = optional;
    }
    return !m_sortKey.IsEmpty();
}

namespace {
int Depth(const TestRecord* r) {
    int depth = 0;
    for (const TestRecord* p = r->m_parent; p; p = p->m_parent) ++depth;
    return depth;
}

const TestRecord* AncestorAt(const TestRecord* r, int depth, int level) {
    for (int i = depth; i > level; --i) r = r->m_parent;
    return r;
}
}  // namespace

int TestRecord::CompareByKeyPath(const TestRecord* a, const TestRecord* b) {
    int da = Depth(a), db = Depth(b);
    for (int level = 0; level <= std::min(da, db); ++level) {
        int c = std::strcmp(AncestorAt(a, da, level)->m_sortKey.c_str(), AncestorAt(b, db, level)->m_sortKey.c_str());
        if (c != 0) return c;
    }
    return da - db;  // the shorter path (a folder) before everything below it
}

BOOL PopPathSegment(char* buffer, CString& segment) {
    char* sep = std::strchr(buffer, '\\');
    if (!sep) return FALSE;
    segment = CString(buffer, static_cast<int>(sep - buffer));
    std::memmove(buffer, sep + 1, std::strlen(sep + 1) + 1);
    return TRUE;
}

CTestRegistry::~CTestRegistry() {
    for (TestRecord* r : m_handedStorage) delete r;
    // Records never handed over are ours as well.
    if (m_list)
        for (TestRecord* r : *m_list) delete r;
    delete m_list;
}

CTestRegistry& CTestRegistry::Instance() {
    static CTestRegistry registry;
    return registry;
}

void CTestRegistry::Init() {
    if (m_guard == kGuard) return;
    m_guard = kGuard;
    m_stopFlag = nullptr;
    m_handed.records = nullptr;
    m_list = new std::vector<TestRecord*>();
    m_list->reserve(256);
    m_count = 0;
}

BOOL CTestRegistry::AppendRecord(TestRecord* record) {
    Init();
    if (!m_list) {
        // Closed: the host already holds the array it was given.
        delete record;
        return FALSE;
    }
    m_list->push_back(record);
    ++m_count;
    return TRUE;
}

TestRecord* CTestRegistry::FindFolder(const CString& name, const TestRecord* parent) {
    Init();
    if (!m_list) return nullptr;
    for (TestRecord* r : *m_list)
        if (r->m_parent == parent && r->m_name == name) return r;
    return nullptr;
}

DWORD CTestRegistry::AddTest(const char* path, const char* codeName, DWORD flag, CTestBase* owner, CString command) {
    Init();
    if (!m_list) return 1;

    std::string buffer(path ? path : "");
    CString code(codeName ? codeName : "");
    TestRecord* parent = nullptr;
    CString segment;
    while (PopPathSegment(buffer.data(), segment)) {
        TestRecord* folder = FindFolder(segment, parent);
        if (!folder) {
            folder = new TestRecord;
            folder->m_name = segment;
            folder->m_displayText = segment;
            folder->m_codeName = kNoCodeName;
            folder->m_parent = parent;
            AppendRecord(folder);
        }
        parent = folder;
    }

    auto* leaf = new TestRecord;
    leaf->m_name = CString(buffer.c_str());
    leaf->m_displayText = code;
    leaf->m_command = command;
    leaf->m_codeName = code;
    leaf->m_owner = owner;
    leaf->m_isLeaf = TRUE;
    leaf->m_publisherFlag = flag;
    leaf->m_parent = parent;
    AppendRecord(leaf);
    return 0;
}

TestList* CTestRegistry::DetachList() {
    if (m_handedOver) return &m_handed;
    m_handedOver = true;
    if (m_list) m_handedStorage = std::move(*m_list);
    delete m_list;
    m_list = nullptr;
    m_handed.count = m_count;
    m_handed.records = m_handedStorage.empty() ? nullptr : m_handedStorage.data();

    bool anyKey = false;
    for (TestRecord* r : m_handedStorage)
        if (r->ApplySortKey()) anyKey = true;
    if (anyKey)
        std::stable_sort(m_handedStorage.begin(), m_handedStorage.end(), [](const TestRecord* a, const TestRecord* b) {
            return TestRecord::CompareByKeyPath(a, b) < 0;
        });
    return &m_handed;
}

TestList* CTestRegistry::HandOver(CResultScreen& screen, CTestHost* host, int* stopFlag) {
    TestList* list = DetachList();
    m_host = host;
    if (host) {
        screen.SetHost(host);
        m_outputCtrl = host->GetOutputCtrl();
    }
    // Without a control the early text stays buffered rather than being lost.
    if (screen.GetHostRichEdit()) screen.AppendToHostWindow(CTestBase::TakePreHostText(TRUE));
    m_stopFlag = stopFlag;
    return list;
}

void CTestRegistry::RefreshHostAttachment(CResultScreen& screen) {
    if (!m_host) return;
    screen.SetHost(m_host);
    m_outputCtrl = m_host->GetOutputCtrl();
}

namespace {
int s_noStopFlag = 0;

// Built at load after the board roots; the guard keeps it from emptying what they published.
struct RegistryAtLoad {
    RegistryAtLoad() { CTestRegistry::Instance().Init(); }
} s_registryAtLoad;
}  // namespace

int* g_StopFlag() {
    int* flag = CTestRegistry::Instance().GetStopFlag();
    return flag ? flag : &s_noStopFlag;
}

CTestHost* GetTestHost() { return CTestRegistry::Instance().GetHost(); }

CRichEditCtrl* GetCachedOutputCtrl() { return CTestRegistry::Instance().GetOutputCtrl(); }

extern "C" PEX_EXPORT TestList* GetTestList(CTestHost* host, int* stopFlag) {
    try {
        return CTestRegistry::Instance().HandOver(GetResultScreen(), host, stopFlag);
    } catch (...) {
        // Nothing may escape to the host; an empty tree is the honest answer.
        static TestList empty;
        return &empty;
    }
}
