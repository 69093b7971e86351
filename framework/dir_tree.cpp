// Test-tree files: the one-pass brace parser, leaf-path walks with marks and order numbers, the path queue.
#include "framework/dir_tree.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <utility>

#include "platform/files.h"

namespace {

bool IsNameStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

}  // namespace

// ---- CDirTree ----

CDirTree::CDirTree(const CString& name) : m_name(name), m_separator("\\") {}

// Siblings and children are released from a work list: a long or deep file must not recurse.
CDirTree::~CDirTree() {
    std::vector<std::unique_ptr<CDirTree>> pending;
    if (m_next) pending.push_back(std::move(m_next));
    if (m_child) pending.push_back(std::move(m_child));
    while (!pending.empty()) {
        std::unique_ptr<CDirTree> node = std::move(pending.back());
        pending.pop_back();
        if (node->m_next) pending.push_back(std::move(node->m_next));
        if (node->m_child) pending.push_back(std::move(node->m_child));
    }
}

int CDirTree::Parse(const CString& path) {
    m_warnings.clear();
    FILE* fp = platform::OpenFile(path, "rb");
    if (!fp) return 2;
    long length = -1;
    if (std::fseek(fp, 0, SEEK_END) == 0) length = std::ftell(fp);
    if (length < 0 || std::fseek(fp, 0, SEEK_SET) != 0) {
        std::fclose(fp);
        return 2;
    }
    // Names and lines are counted in int: a larger file is refused whole, never parsed in part.
    if (length > kMaxFileBytes) {
        std::fclose(fp);
        return 4;
    }
    std::unique_ptr<char[]> text(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
    if (!text) {
        std::fclose(fp);
        return 3;
    }
    size_t n = std::fread(text.get(), 1, static_cast<size_t>(length), fp);
    std::fclose(fp);
    if (n != static_cast<size_t>(length)) return 2;
    const char* buf = text.get();

    enum class State { StartOfLevel, AfterComment, InName, AfterName, JustOpened };
    State state = State::StartOfLevel;
    CDirTree* current = this;
    std::vector<CDirTree*> levels;  // the node that owns each open "{"
    size_t nameStart = 0;
    bool firstChild = false;
    int line = 1;

    auto warn = [&](const char* what) {
        CString w;
        w.Format("line %d: %s", line, what);
        m_warnings.push_back(w);
    };
    auto skipComment = [&](size_t& i) {  // stops before the line end, which is then skipped
        while (i + 1 < n && !IsLineEnd(buf[i + 1])) ++i;
    };
    auto endName = [&](size_t end) {
        auto node = std::make_unique<CDirTree>(CString(buf + nameStart, static_cast<int>(end - nameStart)));
        CDirTree* added = node.get();
        if (firstChild) {
            std::unique_ptr<CDirTree>* slot = &current->m_child;
            while (*slot) slot = &(*slot)->m_next;
            *slot = std::move(node);
            firstChild = false;
        } else {
            CDirTree* last = current;
            while (last->m_next) last = last->m_next.get();
            last->m_next = std::move(node);
        }
        current = added;
        state = State::AfterName;
    };
    auto open = [&] {
        levels.push_back(current);
        state = State::JustOpened;
        firstChild = true;
    };
    auto close = [&] {
        if (levels.empty()) {  // more closing than opening braces: nothing to close
            warn("\"}\" without an open \"{\" is ignored");
            return;
        }
        current = levels.back();
        levels.pop_back();
        state = State::StartOfLevel;
    };

    for (size_t i = 0; i < n; ++i) {
        const char c = buf[i];
        switch (state) {
        case State::StartOfLevel:
        case State::AfterComment:
        case State::JustOpened:
            if (c == '#') {
                skipComment(i);
                state = State::AfterComment;
            } else if (IsNameStart(c)) {
                nameStart = i;
                state = State::InName;
            } else if (c == '}') {
                close();
            } else if (c == '{') {
                warn("\"{\" without a name before it is ignored");
            }
            break;
        case State::InName:
            if (c == '\t' || IsLineEnd(c) || c == '{') {
                endName(i);
                if (c == '{') open();
            } else if (c == '}') {
                // A name directly followed by "}" ends there, as it reads.
                endName(i);
                close();
            }
            break;
        case State::AfterName:
            if (IsNameStart(c) || c == ' ') {
                nameStart = i;
                state = State::InName;
            } else if (c == '#') {
                skipComment(i);
            } else if (c == '{') {
                open();
            } else if (c == '}') {
                close();
            }
            break;
        }
        if (c == '\n') ++line;
    }

    if (state == State::InName) {
        CString w;
        w.Format("end of file inside the name \"%s\": the name is dropped",
                 CString(buf + nameStart, static_cast<int>(n - nameStart)).c_str());
        warn(w);
    }
    if (!levels.empty()) {
        CString w;
        w.Format("end of file with %d \"{\" not closed", static_cast<int>(levels.size()));
        warn(w);
    }
    return 1;
}

CString CDirTree::SegmentOf(CDirTree* node, LONG ordinal) {
    (void)ordinal;
    return node->m_name;
}

void CDirTree::Walk(CStringQueue* queue, CDirTree* node, const CString& path, LONG ordinal, bool ordered) {
    struct Frame {
        CDirTree* node;
        CString path;
        LONG ordinal;
    };
    std::vector<Frame> stack;
    if (node) stack.push_back({node, path, ordinal});
    while (!stack.empty()) {
        Frame f = std::move(stack.back());
        stack.pop_back();
        CString full = f.path + m_separator + SegmentOf(f.node, f.ordinal);
        // The sibling goes below the child, so the whole subtree is walked before it.
        if (f.node->m_next) {
            LONG next = ordered && !f.path.IsEmpty() ? f.ordinal + 1 : (ordered ? f.ordinal : 0);
            stack.push_back({f.node->m_next.get(), f.path, next});
        }
        if (f.node->m_child) {
            stack.push_back({f.node->m_child.get(), full, 0});
        } else if (!f.path.IsEmpty() && queue) {
            queue->Push(ordered ? full.Mid(1) : full);
        }
    }
}

void CDirTree::Flatten(CStringQueue* queue, CDirTree* node, const CString& path, LONG ordinal) {
    (void)ordinal;
    Walk(queue, node, path, 0, false);
}

void CDirTree::FillQueue(CStringQueue* queue, const CString& separator) {
    m_separator = separator;
    Flatten(queue, this, CString(), 0);
}

void CDirTree::Print() {
    CStringQueue queue(this, "\\");
    do {
        std::printf("%s\n", queue.GetFront(FALSE).c_str());
    } while (queue.Pop());
    std::fflush(stdout);
}

// ---- CDirTreeOrdered ----

CDirTreeOrdered::CDirTreeOrdered(const CString& name) : CDirTree(name) {}

void CDirTreeOrdered::Flatten(CStringQueue* queue, CDirTree* node, const CString& path, LONG ordinal) {
    Walk(queue, node, path, ordinal, true);
}

void CDirTreeOrdered::PrintFrom(LONG orderBase) {
    m_orderBase = orderBase;
    Print();
}

CString CDirTreeOrdered::SegmentOf(CDirTree* node, LONG ordinal) {
    return GetNodeName(node->GetName(), &m_orderBase, ordinal);
}

CString CDirTreeOrdered::GetNodeName(const CString& name, LONG* orderBase, LONG ordinal) {
    LONG unused = 0;
    LONG& base = orderBase ? *orderBase : unused;
    int pair = name.Find("`(");
    int close = name.ReverseFind(')');
    CString key;
    if (pair < 0 || close < 0 || close < pair + 2 || close < 2) {
        key = name + "`";
    } else {
        key = name.Left(pair) + "`";
        CString marks = name.Mid(pair + 2, close - pair - 2);
        bool optional = marks.Find("Optional") >= 0;
        if (marks.Find("Checked") >= 0) {
            key += optional ? "#" : "+";
        } else if (marks.Find("Unchecked") >= 0) {
            key += optional ? "=" : "-";
        } else if (int hash = marks.Find('#'); hash >= 0) {
            const char* d = marks.c_str() + hash + 1;
            if (*d >= '0' && *d <= '9') {
                long long value = 0;
                for (; *d >= '0' && *d <= '9'; ++d) value = std::min<long long>(value * 10 + (*d - '0'), INT_MAX);
                base = static_cast<LONG>(value);
            }
        }
        if (int colon = marks.Find(':'); colon >= 0) key += marks.Mid(colon + 1);
    }
    // The number is formatted from a 32-bit sum, as it always was.
    auto number = static_cast<LONG>(static_cast<uint32_t>(base) + static_cast<uint32_t>(ordinal));
    key.AppendFormat("%d", number);
    return key;
}

// ---- CStringQueue ----

CStringQueue::CStringQueue(CDirTree* tree, const CString& separator) : m_tree(tree) {
    if (m_tree) m_tree->FillQueue(this, separator);
}

void CStringQueue::Refill(const CString& separator) {
    if (m_tree) m_tree->FillQueue(this, separator);
}

CString CStringQueue::GetFront(BOOL stripMarks) const {
    if (m_paths.empty()) return CString();
    const CString& path = m_paths.front();
    if (!stripMarks) return path;
    int grave = path.Find('`');
    if (grave < 0) return CString();
    CString result = path.Left(grave);
    int from = grave + 1;
    for (;;) {
        int sep = path.Find('\\', from);
        int next = path.Find('`', from);
        if (sep < 0 || next < 0) break;
        result += path.Mid(sep, next - sep);
        from = next + 1;
    }
    return result;
}

BOOL CStringQueue::Pop() {
    if (m_paths.empty()) return FALSE;
    m_paths.pop_front();
    return TRUE;
}
