// The test registry: building the folder tree, the key pass and sort, and the hand-over to the host.
#include "framework/test_record.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <new>
#include <string>
#include <unordered_map>

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
// Orders records by the sort keys along the path from the top-level folder down to each record
// (byte order; a folder before everything below it), in O(n log n): records are merged into a tree
// of key paths (records whose key paths are equal share a node), whose nodes are numbered in
// pre-order with each node's children in key order. Comparing two records' paths level by level
// instead costs their depth per comparison, which a deep tree file turns into minutes.
void SortByKeyPath(std::vector<TestRecord*>& records) {
    struct Node {
        std::map<std::string, size_t> children;  // key -> node; std::string orders bytes unsigned
        size_t rank = 0;
    };
    std::vector<Node> nodes(1);  // node 0: the empty path above the top level
    std::unordered_map<const TestRecord*, size_t> nodeOf;
    std::vector<const TestRecord*> pending;
    auto nodeFor = [&](const TestRecord* r) {
        pending.clear();
        for (; r && !nodeOf.count(r); r = r->m_parent) pending.push_back(r);
        size_t node = r ? nodeOf[r] : 0;
        for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
            const auto [child, added] = nodes[node].children.emplace((*it)->m_sortKey.str(), nodes.size());
            const size_t found = child->second;  // read before nodes grows and moves its maps
            if (added) nodes.emplace_back();
            node = found;
            nodeOf.emplace(*it, node);
        }
        return node;
    };
    std::vector<size_t> nodeOfRecord;
    nodeOfRecord.reserve(records.size());
    for (const TestRecord* r : records) nodeOfRecord.push_back(nodeFor(r));

    size_t next = 0;
    std::vector<size_t> stack{0};
    while (!stack.empty()) {
        const size_t node = stack.back();
        stack.pop_back();
        nodes[node].rank = next++;
        for (auto it = nodes[node].children.rbegin(); it != nodes[node].children.rend(); ++it) stack.push_back(it->second);
    }
    std::vector<std::pair<size_t, TestRecord*>> ranked;
    ranked.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) ranked.emplace_back(nodes[nodeOfRecord[i]].rank, records[i]);
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < records.size(); ++i) records[i] = ranked[i].second;
}
}  // namespace

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
    m_firstByName.emplace(std::make_pair(record->m_parent, record->m_name.str()), record);
    ++m_count;
    return TRUE;
}

TestRecord* CTestRegistry::FindFolder(const CString& name, const TestRecord* parent) {
    Init();
    if (!m_list) return nullptr;
    const auto found = m_firstByName.find(std::make_pair(parent, name.str()));
    return found == m_firstByName.end() ? nullptr : found->second;
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
    m_firstByName.clear();
    m_handed.count = m_count;
    m_handed.records = m_handedStorage.empty() ? nullptr : m_handedStorage.data();

    bool anyKey = false;
    for (TestRecord* r : m_handedStorage)
        if (r->ApplySortKey()) anyKey = true;
    if (anyKey) SortByKeyPath(m_handedStorage);
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
    // Nothing may escape to the host: it gets an empty tree, and stderr says why.
    std::string why = "an unknown exception";
    try {
        return CTestRegistry::Instance().HandOver(GetResultScreen(), host, stopFlag);
    } catch (const std::exception& e) {
        why = e.what();  // copied: the exception is gone after its handler
    } catch (...) {
    }
    std::fprintf(stderr, "GetTestList: the test list could not be handed over (%s); the host gets no tests\n", why.c_str());
    static TestList empty;
    return &empty;
}
