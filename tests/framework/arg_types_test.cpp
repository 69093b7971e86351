// Tests of the DIM and PATTERN arguments, run through the device library's argument parser as a test's table is.
#include "framework/arg_types.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

using Words = std::vector<std::string>;
using Dwords = std::vector<DWORD>;

// Runs a table over text as a test's argument pass does; answers the words nobody took.
Words Parse(std::vector<ArgListArg*> table, const std::string& text) {
    table.push_back(nullptr);
    ArgumentList list;
    char* leftover = nullptr;
    list.HandleOptArgs(table.data(), text.c_str(), &leftover);
    Words words;
    for (const char* w = leftover; w && *w; w += std::strlen(w) + 1) words.emplace_back(w);
    std::free(leftover);
    return words;
}

// The first n words of a generator reset to the pass; for a kind set up by hand, its own stream
// (the generators' tests check those models).
Dwords Expected(DataPatternGenerator& g, size_t n, int pass = 0) {
    Dwords v(n);
    g.Reset(pass);
    for (auto& w : v) w = g.Next();
    return v;
}

// The first n words of the generator a PATTERN text leaves behind, checked for its kind.
template <class Kind>
Dwords Built(ArgList_PATTERN& pattern, const std::string& text, size_t n, int pass = 0) {
    EXPECT_EQ(Parse({&pattern}, text), Words{}) << text;
    std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
    EXPECT_NE(dynamic_cast<Kind*>(g.get()), nullptr) << text;
    return g ? Expected(*g, n, pass) : Dwords{};
}

LRS_Generator Flrs(int m, int n) {
    LRS_Generator g(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    g.SetSeedRule(m, n);
    return g;
}

std::string XY(ArgList_DIM& dim) { return std::to_string(dim.GetX()) + "," + std::to_string(dim.GetY()); }

TEST(ArgListDim, DimClampsAndPatternKinds) {
    // Default limits: area 0x180000 = 1572864, maximum side 1254, sides 1 to 2047 and 2048.
    const struct { const char* text; const char* xy; } rows[] = {
        {"DIM=4000,4000", "1254,1254"}, {"DIM=2047,1000", "1572,1000"}, {"DIM=1000,2047", "1000,1572"},
        {"DIM=-7,-7", "1,1"}, {"DIM=3000,1", "2047,1"}, {"DIM=5,9000", "5,2048"}, {"DIM=,7", "512,7"},  // not given: default
    };
    ArgList_DIM dim;
    for (const auto& row : rows) {
        dim.ResetValues();
        EXPECT_EQ(Parse({&dim}, row.text), Words{}) << row.text;
        EXPECT_EQ(XY(dim), row.xy) << row.text;
    }
    dim.ResetValues();  // words that are not numbers are left for the runner
    EXPECT_EQ(Parse({&dim}, "DIM=64,y"), (Words{"y"}));
    // Set limits: the maximum side is the integer square root of the area.
    dim.SetLimits(10, 10, 1000);
    EXPECT_EQ(dim.GetMaxSide(), 31);  // 31^2 = 961, 32^2 = 1024
    Parse({&dim}, "DIM=10,500");
    EXPECT_EQ(XY(dim), "10,100");
    // PATTERN: each kind follows its rule.
    ArgList_PATTERN pattern;
    EXPECT_EQ(Built<DP_INC_Generator>(pattern, "PATTERN=inc:-2,1,9", 2, 3), (Dwords{0xFFFFFFFF, 0}));  // a third value unused
    const struct { const char* text; int m, n; } flrs[] = {{"PATTERN=FLRS", 0, 1}, {"PATTERN=flrs=3,0", 3, 0}};
    for (const auto& row : flrs) {
        LRS_Generator want = Flrs(row.m, row.n);
        EXPECT_EQ(Built<LRS_Generator>(pattern, row.text, 8, 2), Expected(want, 8, 2)) << row.text;
    }
    EXPECT_EQ(Built<RGBSolid_Generator>(pattern, "PATTERN=SOLID=(1,2,3)", 2), Dwords(2, 0x010203));

    // Directions H, A, V, D are 0 to 3; the start defaults to white, the end to black.
    const struct { const char* text; int dir; DWORD start, end; } ramps[] = {
        {"PATTERN=RAMP", 0, 0xFFFFFF, 0}, {"PATTERN=RAMP 0xFF0000 / 0x0000FF v", 2, 0xFF0000, 0x0000FF},
        {"PATTERN=RAMP:0x000000/0xFFFFFF D", 3, 0, 0xFFFFFF}, {"PATTERN=RAMP/0x808080 A", 1, 0xFFFFFF, 0x808080}};
    for (const auto& row : ramps) {
        RGBRamp_Generator want;
        want.SetRamp(row.dir, row.start, row.end);
        EXPECT_EQ(Built<RGBRamp_Generator>(pattern, row.text, 2000), Expected(want, 2000)) << row.text;
    }
    // A letter that begins the next word is no direction: the word stays whole for its argument.
    EXPECT_EQ(Parse({&pattern, &dim}, "PATTERN=RAMP DIM=16,8"), Words{});
    EXPECT_EQ(dim.GetX(), 16);

    support::TempDir dir;
    const std::string file = dir.Write("with blank.bin", std::string("\0\1\2\3\4\5\6\7", 8));
    EXPECT_EQ(Built<DP_FILE_Generator>(pattern, "PATTERN=FILE \"" + file + "\" 4,99", 2, 1), (Dwords{0x07060504, 0x03020100}));
    // Bad values are returned to the runner and reported. A file without words is a failed argument:
    // the runner gets the value back, the generator yields zeros.
    const std::string missing = dir.File("missing.bin");
    const struct { std::string text; Words left; const char* error; } bad[] = {
        {"PATTERN=FILE " + support::Quoted(missing) + " 4 VERBOSE", {"FILE", missing, "4", "VERBOSE"}, "missing.bin"},
        {"PATTERN=FILE", {"FILE"}, "PATTERN=FILE needs a file name"},
    };
    for (const auto& row : bad) {
        EXPECT_EQ(Parse({&pattern}, row.text), row.left) << row.text;
        EXPECT_NE(pattern.GetError().Find(row.error), -1) << pattern.GetError().c_str();
    }
    Parse({&pattern}, "PATTERN=FILE " + support::Quoted(missing));
    auto zeros = pattern.TakeGenerator();
    ASSERT_NE(dynamic_cast<DP_FILE_Generator*>(zeros.get()), nullptr);
    EXPECT_EQ(zeros->Next(), 0u);
    // An unknown word gives the default sequence (rule 0, 1: pass 1 seeds 2) and is reported.
    EXPECT_EQ(Parse({&pattern}, "PATTERN=NOISE"), Words{"NOISE"});
    EXPECT_EQ(pattern.GetError(), "") << "a good assignment clears the error of the one before";
    LRS_Generator want = Flrs(0, 1);
    EXPECT_EQ(Expected(*pattern.TakeGenerator(), 4, 1), Expected(want, 4, 1));
    // Two assignments in one command: only the second survives (the sanitizer checks the first is freed).
    EXPECT_EQ(Parse({&pattern}, "PATTERN=FILE nowhere PATTERN=INC0,2"), (Words{"FILE", "nowhere"}));
    EXPECT_EQ(pattern.GetOccurCount(), 2);
    EXPECT_EQ(pattern.TakeGenerator()->Next(), 2u);
    EXPECT_EQ(pattern.TakeGenerator(), nullptr) << "taken once";
    Parse({&pattern}, "PATTERN=RAMP");  // not taken: freed with the argument
}

}  // namespace
