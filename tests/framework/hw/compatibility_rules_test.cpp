// Tests of the compatibility rules file: line grammar, rule order and condition matching.
#include "framework/hw/compatibility_rules.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

using List = CCompatibilityRules::StringList;

// The question the board roots ask: FPGA, board part number, its revision and the open upper bound.
List BoardQuery(const char* fpga, const char* partNumber, const char* revision) {
    return {CString("FPGA=") + fpga, CString("BoardPN=") + partNumber, CString("MinRev=") + revision, "MaxRev=FFFF"};
}

class CompatibilityRulesTest : public ::testing::Test {
protected:
    CCompatibilityRules Load(const std::string& text) { return CCompatibilityRules(m_dir.Write("DeviceCompatiblity.txt", text).c_str()); }
    TempDir m_dir;
};

TEST_F(CompatibilityRulesTest, BlanksAndCommentsDoNotChangeARule) {
    CCompatibilityRules rules = Load(
        "# Kerzil images by board\r\n"
        "\r\n"
        "   {FPGA = Kerzil, BoardPN = 1} { kezo0101.oxd , spare.oxd }  # note\r\n"
        "# {FPGA=Kerzil,BoardPN=2}{commented.oxd}\n"
        "\t{FPGA=Kerzil,BoardPN=2}{kezo0202.oxd}\n");
    EXPECT_EQ(rules.FindRule(BoardQuery("Kerzil", "1", "1")), (List{"kezo0101.oxd", "spare.oxd"}));
    EXPECT_EQ(rules.FindRule(BoardQuery("KERZIL", "2", "1")), (List{"kezo0202.oxd"}));
    EXPECT_TRUE(rules.FindRule(BoardQuery("Kerzil", "3", "1")).empty());
    // Written with or without blanks, the conditions are the same rule: the first line's results stay.
    CCompatibilityRules twice = Load("{FPGA=X, BoardPN=1} {a.oxd}\n{FPGA=X,BoardPN=1}{b.oxd}\n");
    EXPECT_EQ(twice.FindRule({"FPGA=X", "BoardPN=1"}), (List{"a.oxd"}));
}

TEST_F(CompatibilityRulesTest, MalformedLinesAddNoRuleOrAnEmptyResult) {
    // Nothing after the first group, an unclosed group, a line without "{": no rule.
    EXPECT_TRUE(Load("{FPGA=X}\n").FindRule({"FPGA=X"}).empty());
    EXPECT_TRUE(Load("{FPGA=X{b}\n{FPGA=X}{b\nFPGA=X b\n").FindRule({"any"}).empty());
    // Anything but "{" after the first group: a rule with one empty result.
    EXPECT_EQ(Load("{FPGA=X}junk{b}\n").FindRule({"FPGA=X"}), (List{""}));
    // Empty pieces between commas are kept; nested braces belong to their group.
    EXPECT_EQ(Load("{FPGA=X}{a,,{b,c}}\n").FindRule({"FPGA=X"}), (List{"a", "", "{b", "c}"}));
    // Text after a zero byte is not read.
    using namespace std::string_literals;
    EXPECT_EQ(Load("{A=1}{x}\0\n{B=1}{y}\n"s).FindRule({"B=1"}), (List{"x"}));
    EXPECT_TRUE(Load("\0{B=1}{y}\n"s).FindRule({"B=1"}).empty());
}

TEST_F(CompatibilityRulesTest, FileProblemsLeaveNoRules) {
    EXPECT_TRUE(CCompatibilityRules((m_dir / "missing.txt").c_str()).FindRule({"x"}).empty());
    EXPECT_TRUE(CCompatibilityRules(m_dir.Path().c_str()).FindRule({"x"}).empty());
    EXPECT_TRUE(CCompatibilityRules(nullptr).FindRule({"x"}).empty());
    EXPECT_TRUE(Load("").FindRule({"x"}).empty());
}

TEST_F(CompatibilityRulesTest, RulesAreTriedInConditionOrderNotFileOrder) {
    CCompatibilityRules rules = Load("{B=1}{y}\n{A=1}{x}\n{A=1,C=2}{z}\n");
    // A query naming no key of the rules agrees with all; the first in map order answers.
    EXPECT_EQ(rules.FindRule({"D=4"}), (List{"x"}));
    // A query element without "=" agrees with the first rule at once.
    EXPECT_EQ(rules.FindRule({"B=9", "garbage"}), (List{"x"}));
    EXPECT_EQ(rules.FindRule({"A=2", "B=1"}), (List{"y"}));
    EXPECT_EQ(rules.FindRule({"A=1", "C=2"}), (List{"x"}));  // {A=1} is a prefix of {A=1,C=2}: it comes first
    EXPECT_EQ(rules.FindRule({"A=1", "C=3"}), (List{"x"}));
    // An empty condition has no "=": it agrees with every query.
    EXPECT_EQ(Load("{}{b}\n").FindRule(BoardQuery("X", "1", "5")), (List{"b"}));
}

TEST_F(CompatibilityRulesTest, RevisionBoundsAreHexadecimalAndLieInsideTheQuery) {
    // Condition MinRev=3 agrees with boards of revision 3 and below; MaxRev up to FFFF agrees.
    EXPECT_TRUE(CCompatibilityRules::MatchConditions(BoardQuery("X", "1", "3"), {"FPGA=X", "MinRev=3"}));
    EXPECT_TRUE(CCompatibilityRules::MatchConditions(BoardQuery("X", "1", "2"), {"FPGA=X", "MinRev=3"}));
    EXPECT_FALSE(CCompatibilityRules::MatchConditions(BoardQuery("X", "1", "4"), {"FPGA=X", "MinRev=3"}));
    EXPECT_TRUE(CCompatibilityRules::MatchConditions(BoardQuery("X", "1", "4"), {"maxrev=FFFF"}));
    EXPECT_FALSE(CCompatibilityRules::MatchConditions(BoardQuery("X", "1", "4"), {"MaxRev=10000"}));
    // Hexadecimal, not decimal: A is above 9.
    EXPECT_FALSE(CCompatibilityRules::MatchConditions({"MinRev=A"}, {"MinRev=9"}));
    EXPECT_TRUE(CCompatibilityRules::MatchConditions({"MinRev=9"}, {"MINREV=a"}));
    // Other keys compare as text without regard to case.
    EXPECT_TRUE(CCompatibilityRules::MatchConditions({"fpga = kerzil"}, {"FPGA=KERZIL"}));
    EXPECT_FALSE(CCompatibilityRules::MatchConditions({"FPGA=Kerzil"}, {"FPGA=Kerzil2"}));
    // A condition without "=" ends the conditions looked at for that query element.
    EXPECT_TRUE(CCompatibilityRules::MatchConditions({"FPGA=X"}, {"odd", "FPGA=Y"}));
    EXPECT_FALSE(CCompatibilityRules::MatchConditions({"FPGA=X"}, {"FPGA=Y", "odd"}));
}

}  // namespace
