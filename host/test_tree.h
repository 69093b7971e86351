// The library's test tree as the host sees it: records read in place, paths, marks and selection.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"

struct TestRecord;
struct TestList;
class CTestBase;
class CTestHost;

// One record of the handed list, with what the host derives from it.
struct TreeNode {
    const TestRecord* record = nullptr;
    std::string name;     // the record's name after the key pass
    std::string path;     // leaf: names from the top-level folder down, joined by "/"; folder: its name
    std::string folder;   // leaf: the path without the last name; folder: empty
    int depth = 0;        // parent links above the record
    bool leaf = false;
    bool checked = false;         // the record's own mark
    bool checkedInTree = false;   // checked, and every folder above it checked too
    bool optional = false;
};

// The entry the host looks up in the library.
using GetTestListFn = TestList* (*)(CTestHost* host, int* stopFlag);

// Reads the handed list into nodes in tree order: each folder followed by its subtree, siblings
// in array order. A null list gives none; records whose parent chain loops (a corrupt list) are
// cut at the loop rather than followed forever.
std::vector<TreeNode> ReadTestTree(const TestList* list);

// True when a filter selects a path: a filter holding *, ? or [ is a glob over the whole path,
// anything else a substring; both ignore case.
bool FilterMatches(const std::string& filter, const std::string& path);

// Call the record owner's Run or Help with the record's command text, which names the test.
DWORD RunRecord(const TestRecord* record);
DWORD HelpRecord(const TestRecord* record);
bool HasOwner(const TestRecord* record);
