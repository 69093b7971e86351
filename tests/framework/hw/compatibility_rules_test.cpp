// Tests of the compatibility rules file: line grammar, rule order and condition matching.
#include "framework/hw/compatibility_rules.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;
using namespace std::string_literals;
using List = CCompatibilityRules::StringList;

TEST(CompatibilityRulesTest, LinesBecomeRulesTriedInConditionOrderAndRevisionBoundsAreHexadecimal) {
    TempDir dir;
    const auto find = [&dir](const std::string& text, const List& query) {
        return CCompatibilityRules(dir.Write("DeviceCompatiblity.txt", text).c_str()).FindRule(query);
    };
    const struct { const char* name; std::string text; List query, result; } rows[] = {
        {"blanks, comments and letter case do not count",
         "# images\r\n\r\n   {FPGA = Kerzil, BoardPN = 1} { kezo0101.oxd , spare.oxd }  # note\r\n# {FPGA=Kerzil,BoardPN=1}{no.oxd}\n",
         {"FPGA=KERZIL", "BoardPN=1", "MinRev=1", "MaxRev=FFFF"}, {"kezo0101.oxd", "spare.oxd"}},
        {"nothing after the first group, or an unclosed group: no rule", "{FPGA=X}\n{FPGA=X{b}\n{FPGA=X}{b\n", {"FPGA=X"}, {}},
        {"anything but { after the first group: one empty result", "{FPGA=X}junk{b}\n", {"FPGA=X"}, {""}},
        {"empty pieces kept, nested braces belong to their group", "{FPGA=X}{a,,{b,c}}\n", {"FPGA=X"}, {"a", "", "{b", "c}"}},
        {"text after a zero byte is not read", "{A=1}{x}\0\n{B=1}{y}\n"s, {"B=1"}, {"x"}},
        // Rules go in the map's order of conditions: {A=1} before {A=1,C=2} before {B=1}.
        {"a query naming no key agrees with all", "{B=1}{y}\n{A=1}{x}\n{A=1,C=2}{z}\n", {"D=4"}, {"x"}},
        {"the first agreeing rule answers", "{B=1}{y}\n{A=1}{x}\n{A=1,C=2}{z}\n", {"A=2", "B=1"}, {"y"}},
        {"a prefix comes first", "{B=1}{y}\n{A=1}{x}\n{A=1,C=2}{z}\n", {"A=1", "C=2"}, {"x"}},
        {"an empty condition agrees with every query", "{}{b}\n", {"FPGA=X"}, {"b"}},
        {"a revision too wide for its word makes a bad line, not a saturated bound",
         "{MinRev=0}{ok}\n{MinRev=100000000}{wide}\n{maxrev=-1}{negative}\n", {"MinRev=FFFFFFFF"}, {}},
    };
    for (const auto& row : rows) EXPECT_EQ(find(row.text, row.query), row.result) << row.name;
    EXPECT_TRUE(CCompatibilityRules((dir / "missing.txt").c_str()).FindRule({"x"}).empty() && CCompatibilityRules(nullptr).FindRule({"x"}).empty());
    // A file past what lines counted in int can hold is not read at all, not even its first rule.
    const std::string huge = dir.WriteSparse("huge.txt", 2ull << 30, 0, "{A=1}{x}\n");
    ASSERT_FALSE(huge.empty()) << "no sparse files here";
    EXPECT_TRUE(CCompatibilityRules(huge.c_str()).FindRule({"A=1"}).empty());
    // Conditions: revision bounds are hexadecimal and lie inside the query.
    const struct { List query, conditions; bool match; } conditions[] = {
        {{"MinRev=2"}, {"MinRev=3"}, true},  // MinRev=3 agrees with boards of revision 3 and below
        {{"MinRev=4"}, {"MinRev=3"}, false},
        {{"MinRev=3"}, {"MinRev=3"}, true},  // a bound equal to the query's lies inside it
        {{"MaxRev=FF"}, {"MaxRev=FF"}, true},
        {{"MaxRev=FFFF"}, {"MaxRev=10000"}, false},
        {{"MinRev=A"}, {"MinRev=9"}, false},  // hexadecimal: A is above 9
        {{"MinRev=FFFFFFFF"}, {"MinRev=100000000"}, false},  // past 32 bits: agrees with nothing
        {{"MaxRev=100000000"}, {"MaxRev=FFFFFFFF"}, false},
        {{"fpga = kerzil"}, {"FPGA=KERZIL"}, true},
        {{"FPGA=Kerzil"}, {"FPGA=Kerzil2"}, false},
        // A condition without "=" ends the conditions looked at for that query element.
        {{"FPGA=X"}, {"odd", "FPGA=Y"}, true},
        {{"FPGA=X"}, {"FPGA=Y", "odd"}, false},
    };
    for (const auto& row : conditions) EXPECT_EQ(!!CCompatibilityRules::MatchConditions(row.query, row.conditions), row.match) << row.conditions.front().c_str();
}

}  // namespace
