// Reading the library's records. The only host file that knows the record layout and CTestBase.
#include "host/test_tree.h"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <unordered_map>
#include <unordered_set>

#include "framework/test_base.h"
#include "framework/test_record.h"

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Every folder followed by its subtree, siblings in array order, as a tree control shows the
// records. The library's key sort keeps each record after its parent but may put records of
// different folders in any order (every top-level device folder first, for one). Records whose
// parent is not in the list start their own subtree; any left over keep their array order.
std::vector<TreeNode> InTreeOrder(std::vector<TreeNode> nodes) {
    std::unordered_map<const TestRecord*, size_t> index;
    for (size_t i = 0; i < nodes.size(); ++i) index.emplace(nodes[i].record, i);
    std::vector<std::vector<size_t>> children(nodes.size());
    std::vector<size_t> tops;
    for (size_t i = 0; i < nodes.size(); ++i) {
        const auto parent = index.find(nodes[i].record->m_parent);
        if (parent == index.end() || parent->second == i) tops.push_back(i);
        else children[parent->second].push_back(i);
    }
    std::vector<TreeNode> ordered;
    ordered.reserve(nodes.size());
    std::vector<bool> placed(nodes.size(), false);
    std::vector<size_t> stack(tops.rbegin(), tops.rend());
    while (!stack.empty()) {
        const size_t i = stack.back();
        stack.pop_back();
        if (placed[i]) continue;
        placed[i] = true;
        ordered.push_back(nodes[i]);
        stack.insert(stack.end(), children[i].rbegin(), children[i].rend());
    }
    for (size_t i = 0; i < nodes.size(); ++i)
        if (!placed[i]) ordered.push_back(nodes[i]);
    return ordered;
}

}  // namespace

std::vector<TreeNode> ReadTestTree(const TestList* list) {
    std::vector<TreeNode> nodes;
    if (!list || !list->records || list->count <= 0) return nodes;
    nodes.reserve(static_cast<size_t>(list->count));

    // Each record's depth and whether every folder above it is checked, taken from its parent's,
    // so a deep tree costs no more than a wide one.
    struct Above {
        int depth = 0;
        bool checked = true;
    };
    std::unordered_map<const TestRecord*, Above> above;
    auto aboveOf = [&](const TestRecord* r) {
        std::vector<const TestRecord*> chain;  // r and the ancestors not yet known
        std::unordered_set<const TestRecord*> onChain;
        const TestRecord* p = r;
        while (p && !above.count(p) && onChain.insert(p).second) {
            chain.push_back(p);
            p = p->m_parent;
        }
        // Where the chain ends: the top, a known record, or the place where it loops back (cut there).
        Above a;
        if (p && above.count(p)) a = {above[p].depth + 1, above[p].checked && p->m_checked != FALSE};
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            if (it != chain.rbegin()) a = {a.depth + 1, a.checked && (*std::prev(it))->m_checked != FALSE};
            above.emplace(*it, a);
        }
        return above[r];
    };

    for (int i = 0; i < list->count; ++i) {
        const TestRecord* r = list->records[i];
        if (!r) continue;
        TreeNode n;
        n.record = r;
        n.name = r->m_name.str();
        n.leaf = r->m_isLeaf != FALSE;
        n.checked = r->m_checked != FALSE;
        n.optional = r->m_optional != FALSE;
        const Above a = aboveOf(r);
        n.depth = a.depth;
        n.checkedInTree = n.checked && a.checked;
        if (n.leaf) {
            std::vector<const TestRecord*> chain;
            for (const TestRecord* p = r->m_parent; p && static_cast<int>(chain.size()) < n.depth; p = p->m_parent)
                chain.push_back(p);
            for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
                if (!n.folder.empty()) n.folder += '/';
                n.folder += (*it)->m_name.str();
            }
        }
        n.path = n.folder.empty() ? n.name : n.folder + "/" + n.name;
        nodes.push_back(std::move(n));
    }
    return InTreeOrder(std::move(nodes));
}

bool FilterMatches(const std::string& filter, const std::string& path) {
    if (filter.find_first_of("*?[") != std::string::npos)
        return fnmatch(filter.c_str(), path.c_str(), FNM_CASEFOLD) == 0;
    return Lower(path).find(Lower(filter)) != std::string::npos;
}

bool HasOwner(const TestRecord* record) { return record && record->m_owner; }

DWORD RunRecord(const TestRecord* record) { return record->m_owner->Run(record->m_command); }

DWORD HelpRecord(const TestRecord* record) { return record->m_owner->Help(record->m_command); }
