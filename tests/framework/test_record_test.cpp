// Tests of the test registry: folder building, key marks and sort, a failed hand-over (the exported entry's test pins the rest).
#include "framework/test_record.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "framework/test_base.h"
#include "tests/support/output.h"

using namespace support;

namespace {

// "name/key" of each handed record, in handed order.
std::vector<std::string> Keyed(TestList* list) {
    std::vector<std::string> out;
    for (int i = 0; i < list->count; ++i) out.push_back((list->records[i]->m_name + "/" + list->records[i]->m_sortKey).str());
    return out;
}

// Texts, then leaf, publisher, checked, second checked and optional flags and the words at 44 and 52.
std::string Fields(const TestRecord& r) {
    return (r.m_name + "|" + r.m_displayText + "|" + r.m_command + "|" + r.m_codeName + "|" + r.m_sortKey + "|").str() +
           std::to_string(r.m_isLeaf) + std::to_string(r.m_publisherFlag) + std::to_string(r.m_checked) +
           std::to_string(r.m_checked2) + std::to_string(r.m_optional) + std::to_string(r.m_word44) + std::to_string(r.m_word52);
}

TEST(TestRegistry, FoldersAndLeavesInPublishingOrderWithTheFlagsOfTheirKeyMarks) {
    CTestRegistry reg;
    RecordingTest owner;
    reg.AddTest("D1\\Group\\TestA", "CCode", 1, &owner, "DEV <A>");
    reg.AddTest("D1\\Group\\TestA", "CCode", 1, &owner, "DEV <A>");  // leaves are never merged
    reg.AddTest("d1\\x", "C", 0, nullptr, "");                       // folder names are case-sensitive
    reg.AddTest("\\", "C", 0, nullptr, "");                          // separators only: empty names
    TestList* list = reg.DetachList();
    ASSERT_EQ(list->count, 8);
    TestRecord** r = list->records;
    EXPECT_EQ(Keyed(list), (std::vector<std::string>{"D1/", "Group/", "TestA/", "TestA/", "d1/", "x/", "/", "/"}));
    EXPECT_EQ(Fields(*r[1]), "Group|Group||@#$__NOCODENAME__$#@||0011003");
    EXPECT_EQ(Fields(*r[2]), "TestA|CCode|DEV <A>|CCode||1111003");
    EXPECT_TRUE(r[1]->m_parent == r[0] && r[3]->m_parent == r[1] && r[7]->m_parent == r[6] && r[2]->m_owner == &owner);
    // Key marks set the flags.
    const std::pair<const char*, const char*> rows[] = {
        {"Boards`#1\\x", "Boards|Boards||@#$__NOCODENAME__$#@|1|0011103"},  // a folder's display text loses the key too
        {"Scan`+2", "Scan|C||C|2|1111003"},                                // a leaf keeps its code name
        {"A`=", "A|C||C||1100103"},
        {"Off`-3", "Off|C||C|3|1100003"},
        {"Plain`x7", "Plain|C||C|x7|1111003"},  // not a mark: stays in the key
    };
    for (const auto& [path, fields] : rows) {
        CTestRegistry reg;
        reg.AddTest(path, "C", 1, nullptr, "");
        EXPECT_EQ(Fields(*reg.DetachList()->records[0]), fields) << path;
    }
}

TEST(TestRegistry, SortFollowsTheKeysAlongEachPathAndOnlyWhenAKeyIsLeftHoweverDeep) {
    CTestRegistry plain;
    for (const char* path : {"Z\\b", "M`=", "A"}) plain.AddTest(path, "C", 1, nullptr, "");
    EXPECT_EQ(Keyed(plain.DetachList()), (std::vector<std::string>{"Z/", "b/", "M/", "A/"}));

    CTestRegistry reg;
    // "X`4" makes another folder before the key pass; no key sorts first; keys compare as bytes.
    for (const char* path : {"T`3", "B`2\\L2`0", "A`1\\L1`9", "X`5\\a", "X`4\\b", "U", "A`10"}) reg.AddTest(path, "C", 1, nullptr, "");
    TestList* list = reg.DetachList();
    EXPECT_EQ(Keyed(list), (std::vector<std::string>{"U/", "A/1", "L1/9", "A/10", "B/2", "L2/0", "T/3", "X/4", "b/", "X/5", "a/"}));
    EXPECT_EQ(list->records[8]->m_parent, list->records[7]);
    // Two chains 3000 folders deep that differ only at the bottom; comparing paths level by level
    // made this take minutes.
    std::string path;
    for (int i = 0; i < 3000; ++i) path += "L`+1\\";
    CTestRegistry deep;
    deep.AddTest((path + "Late`+9").c_str(), "C", 1, nullptr, "");
    deep.AddTest((path + "Early`+2").c_str(), "C", 1, nullptr, "");
    TestList* deepList = deep.DetachList();
    ASSERT_EQ(deepList->count, 3002);
    EXPECT_EQ(deepList->records[3000]->m_name + deepList->records[3001]->m_name, "EarlyLate");
}

struct ThrowingHost : CTestHost {
    CRichEditCtrl* GetOutputCtrl() override { throw std::runtime_error("no output window"); }
    uintptr_t Notify(int, uintptr_t) override { return 0; }
};

TEST(TestRegistryDeathTest, AFailedHandOverSaysWhyAndGivesAnEmptyList) {
    ThrowingHost host;
    int stop = 0;
    EXPECT_EXIT(std::exit(GetTestList(&host, &stop)->count), ::testing::ExitedWithCode(0), "GetTestList: .*no output window");
}

}  // namespace
