// Test-tree files: brace-structured trees of named nodes, flattened into leaf paths.
#pragma once

#include <climits>
#include <deque>
#include <memory>
#include <vector>

#include "platform/cstring.h"
#include "platform/types.h"

class CStringQueue;

// A node of a test tree. The object Parse is called on is the head of the top level: top-level
// names of the file become its following siblings, and their children hang below them.
//
// File grammar: a name starts with a letter or digit and runs to the first tab, CR, LF or "{";
// blanks and other characters (also "#", "`", "(", ")") belong to it. "{" after a name opens its
// children, "}" closes the innermost level, "#" outside a name starts a comment to the end of the
// line. After a name a blank starts the next name, so lines are indented with tabs.
class CDirTree {
public:
    explicit CDirTree(const CString& name);
    virtual ~CDirTree();
    CDirTree(const CDirTree&) = delete;
    CDirTree& operator=(const CDirTree&) = delete;

    // Prints every leaf path (separator "\") to standard output, one "%s\n" line each, and one
    // empty line at the end.
    virtual void Print();
    // The largest tree file read.
    static constexpr long kMaxFileBytes = INT_MAX;

    // Reads a tree file and appends its tree: 1 read, 2 the file cannot be opened, 3 no memory,
    // 4 the file is larger than kMaxFileBytes (nothing of it is read). Syntax is never rejected;
    // what was skipped or dropped is listed by GetWarnings.
    virtual int Parse(const CString& path);
    // Appends to the queue the leaf paths of node, its subtree and its following siblings.
    virtual void Flatten(CStringQueue* queue, CDirTree* node, const CString& path, LONG ordinal);
    // Sets the separator and appends the leaf paths of the whole tree to the queue.
    virtual void FillQueue(CStringQueue* queue, const CString& separator);

    const CString& GetName() const { return m_name; }
    CDirTree* GetNextSibling() const { return m_next.get(); }
    CDirTree* GetFirstChild() const { return m_child.get(); }
    // What the last Parse skipped or dropped in a malformed file, one line each ("line %d: ...").
    const std::vector<CString>& GetWarnings() const { return m_warnings; }

protected:
    // The path segment of node; the plain tree uses the node's name.
    virtual CString SegmentOf(CDirTree* node, LONG ordinal);
    // Walks node, its subtree and its siblings without recursion, so deep or long files cannot
    // exhaust the stack. Ordered walks number siblings and drop the leading separator.
    void Walk(CStringQueue* queue, CDirTree* node, const CString& path, LONG ordinal, bool ordered);

    CString m_name;
    CString m_separator;
    std::unique_ptr<CDirTree> m_next;
    std::unique_ptr<CDirTree> m_child;
    std::vector<CString> m_warnings;
};

// A tree whose path segments carry check marks and order numbers. Names may hold marks after the
// node name: a grave accent, then "(", the marks and ")", e.g. "Memory`(Checked)".
class CDirTreeOrdered : public CDirTree {
public:
    explicit CDirTreeOrdered(const CString& name);

    void Flatten(CStringQueue* queue, CDirTree* node, const CString& path, LONG ordinal) override;
    // Sets the order base, then prints as Print does.
    virtual void PrintFrom(LONG orderBase);
    // The segment of a node named name as ordinal-th child: the node name, a grave accent, the
    // check mark ("+" checked, "-" unchecked, "#" / "=" the same when optional), the text after
    // ":" in the marks, and orderBase + ordinal. "#n" in the marks sets *orderBase to n.
    virtual CString GetNodeName(const CString& name, LONG* orderBase, LONG ordinal);

    LONG GetOrderBase() const { return m_orderBase; }
    // The number the next walk counts its order numbers from (a "#n" mark replaces it).
    void SetOrderBase(LONG orderBase) { m_orderBase = orderBase; }

protected:
    CString SegmentOf(CDirTree* node, LONG ordinal) override;

private:
    LONG m_orderBase = 0;
};

// The leaf paths of a tree, first in first out.
class CStringQueue {
public:
    // Fills the queue from the tree (not owned) with the separator.
    CStringQueue(CDirTree* tree, const CString& separator);

    // Fills again; the queue is not emptied first.
    void Refill(const CString& separator);
    // The front path ("" when the queue is empty); with stripMarks the check marks and order
    // numbers of an ordered path are removed: "Group`+0\Leaf`-2" gives "Group\Leaf".
    CString GetFront(BOOL stripMarks) const;
    // Removes the front path; FALSE when the queue was already empty.
    BOOL Pop();
    void Push(const CString& path) { m_paths.push_back(path); }
    size_t GetCount() const { return m_paths.size(); }

private:
    CDirTree* m_tree;
    std::deque<CString> m_paths;
};
