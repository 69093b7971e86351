// Tests of the DIM and PATTERN arguments, run through the device library's argument parser as a test's table is.
#include "framework/arg_types.h"

#include <gtest/gtest.h>

#include <cmath>
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
    const int count = list.HandleOptArgs(table.data(), text.c_str(), &leftover);
    Words words;
    for (const char* w = leftover; w && *w; w += std::strlen(w) + 1) words.emplace_back(w);
    std::free(leftover);
    EXPECT_EQ(count, static_cast<int>(words.size()));
    return words;
}

// The generator a PATTERN text leaves behind, checked for its kind, reset to the pass.
template <class Kind>
std::unique_ptr<DataPatternGenerator> Built(ArgList_PATTERN& pattern, const std::string& text, int pass = 0) {
    EXPECT_EQ(Parse({&pattern}, text), Words{}) << text;
    std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
    EXPECT_NE(dynamic_cast<Kind*>(g.get()), nullptr) << text;
    if (g) g->Reset(pass);
    return g;
}

Dwords Take(DataPatternGenerator* g, size_t n) {
    Dwords v(n);
    for (auto& w : v) w = g ? g->Next() : 0xBAD;
    return v;
}

// The suite's sequence from its definition: taps 63, 42, 21 and 12, the parity shifted in at bit 0
// and output; a seed of 0 becomes 1 and 96 bits are dropped; words hold 32 outputs, the first in bit 31.
Dwords ReferenceLrs(uint64_t seed, size_t n) {
    uint64_t state = seed ? seed : 1;
    auto word = [&] {
        DWORD w = 0;
        for (int i = 0; i < 32; ++i) {
            const DWORD bit = static_cast<DWORD>(__builtin_parityll(state & 0x8000040000201000ull));
            state = state << 1 | bit;
            w = w << 1 | bit;
        }
        return w;
    };
    for (int i = 0; i < 3; ++i) word();
    Dwords v(n);
    for (auto& w : v) w = word();
    return v;
}

// Each byte of a ramp from start to end at step t of span T, rounded to nearest.
DWORD RampColour(DWORD start, DWORD end, int t, int span) {
    DWORD c = 0;
    for (int k = 0; k < 3; ++k) {
        const double s = (start >> (8 * k)) & 0xFF, e = (end >> (8 * k)) & 0xFF;
        c |= static_cast<DWORD>(std::lround(s + (e - s) * t / span)) << (8 * k);
    }
    return c;
}

std::string XY(ArgList_DIM& dim) { return std::to_string(dim.GetX()) + "," + std::to_string(dim.GetY()); }

TEST(ArgListDim, ClampsEachSideAndTheAreaWithTheDefaultLimits) {
    // Maximum area 0x180000 = 1572864, maximum side floor(sqrt(1572864)) = 1254; sides 1 to 2047 and 2048.
    const struct { const char* text; const char* xy; } rows[] = {
        {"DIM=4000,4000", "1254,1254"}, {"DIM=2047,1000", "1572,1000"}, {"DIM=1000,2047", "1000,1572"},
        {"DIM=100,2048", "100,2048"},   {"DIM=0,5", "1,5"},             {"DIM=-7,-7", "1,1"},
        {"DIM=3000,1", "2047,1"},       {"DIM=5,9000", "5,2048"},       {"DIM = 7 , 9", "7,9"},
        {"DIM=1255,1253", "1255,1253"},  // under the area, one side over the maximum side
        {"DIM=5", "5,512"}, {"DIM=,7", "512,7"},  // a side not given: the default
    };
    ArgList_DIM dim;
    EXPECT_EQ(XY(dim), "512,512");  // a fresh argument holds its defaults
    for (const auto& row : rows) {
        dim.ResetValues();
        EXPECT_EQ(Parse({&dim}, row.text), Words{}) << row.text;
        EXPECT_EQ(XY(dim), row.xy) << row.text;
    }
    EXPECT_EQ(dim.GetOccurCount(), 1) << "counted per pass";
    // Without ResetValues the sides not given keep their values; the marker still means the default.
    dim.ResetValues();
    Parse({&dim}, "DIM=100,200");
    Parse({&dim}, "DIM=,50");
    EXPECT_EQ(XY(dim), "100,50");
    dim[0] = ArgList_DIM::kNotGiven;
    Parse({&dim}, "DIM=,60");
    EXPECT_EQ(XY(dim), "512,60");
    // Words that are not numbers are left for the runner; bare DIM is no switch.
    dim.ResetValues();
    EXPECT_EQ(Parse({&dim}, "DIM=abc"), Words{"abc"});
    EXPECT_EQ(Parse({&dim}, "DIM=64,y VERBOSE"), (Words{"y", "VERBOSE"}));
    EXPECT_EQ(XY(dim), "64,512");
    EXPECT_EQ(Parse({&dim}, "DIM"), Words{"DIM"});
}

TEST(ArgListDim, LimitsAreClampedAndTheMaximumSideIsTheSquareRootOfTheArea) {
    ArgList_DIM dim;
    dim.SetLimits(0, 5000, 0);  // defaults clamped to 1 and 2048; 0 or less means the standard area
    EXPECT_EQ(std::to_string(dim.GetDefaultX()) + "," + std::to_string(dim.GetDefaultY()), "1,2048");
    EXPECT_EQ(XY(dim), "1,2048") << "values reset to the new defaults";
    EXPECT_EQ(dim.GetMaxArea(), 0x180000);
    EXPECT_EQ(dim.GetMaxSide(), 1254);
    dim.SetLimits(2047, 1, 100);  // an area below the default width squared is raised to it
    EXPECT_EQ(dim.GetMaxArea(), 4190209);
    EXPECT_EQ(dim.GetMaxSide(), 2047);
    dim.SetLimits(10, 10, 1000);
    EXPECT_EQ(dim.GetMaxSide(), 31);  // 31^2 = 961, 32^2 = 1024
    Parse({&dim}, "DIM=40,40");
    EXPECT_EQ(XY(dim), "31,31");
    Parse({&dim}, "DIM=10,500");
    EXPECT_EQ(XY(dim), "10,100");
    EXPECT_EQ(dim.HelpAssign(),
              "    DIM=x,y: Dimensions (in DWORDs) of test data.  The default\n"
              "          is 10x10.  Range for x is 1 to 2047.  Range for y is\n"
              "          1 to 2048.  Range for product (x*y) is 1 to 1000.\n");
}

TEST(ArgListPattern, IncAndFlrsFollowTheirRules) {
    const struct { const char* text; Dwords words; } incs[] = {
        {"PATTERN=INC", {1, 2, 3, 4}}, {"PATTERN=INC0,4", {4, 8, 12, 16}},
        {"PATTERN=inc:5,2,9", {7, 9, 11, 13}},  // the third value is read and not used
        {"PATTERN=INC=-2,1", {0xFFFFFFFF, 0, 1, 2}},
    };
    ArgList_PATTERN pattern;
    for (const auto& row : incs)
        for (int pass : {0, 3}) EXPECT_EQ(Take(Built<DP_INC_Generator>(pattern, row.text, pass).get(), 4), row.words);

    // FLRS m,n seeds pass q with n * (q + 1) + m.
    const struct { const char* text; int m, n; } flrs[] = {
        {"PATTERN=FLRS", 0, 1}, {"PATTERN=FLRS5,2", 5, 2}, {"PATTERN=FLRS:3,0", 3, 0},
        {"PATTERN=flrs=3,0", 3, 0}, {"PATTERN=FLRS0,0", 0, 0},
    };
    for (const auto& row : flrs)
        for (int pass = 0; pass < 3; ++pass)
            EXPECT_EQ(Take(Built<LRS_Generator>(pattern, row.text, pass).get(), 8),
                      ReferenceLrs(static_cast<uint64_t>(row.n * (pass + 1) + row.m), 8))
                << row.text << " pass " << pass;
}

TEST(ArgListPattern, SolidAndRampColoursWithTheirDefaults) {
    ArgList_PATTERN pattern;
    EXPECT_EQ(Take(Built<RGBSolid_Generator>(pattern, "PATTERN=SOLID").get(), 2), Dwords(2, 0));
    EXPECT_EQ(Take(Built<RGBSolid_Generator>(pattern, "PATTERN=SOLID0x123456").get(), 2), Dwords(2, 0x123456));
    EXPECT_EQ(Take(Built<RGBSolid_Generator>(pattern, "PATTERN=SOLID=(1,2,3)").get(), 2), Dwords(2, 0x010203));

    // The window is 512 x 512: word y * 512 + x is pixel (x, y). {text, start, end, x, y, t, span}.
    const struct { const char* text; DWORD start, end; int x, y, t, span; } ramps[] = {
        {"PATTERN=RAMP", 0xFFFFFF, 0, 100, 300, 100, 511}, {"PATTERN=RAMP", 0xFFFFFF, 0, 511, 0, 511, 511},
        {"PATTERN=RAMP#FF0000/#0000FFV", 0xFF0000, 0x0000FF, 400, 200, 200, 511},
        {"PATTERN=RAMP 0xFF0000 / 0x0000FF v", 0xFF0000, 0x0000FF, 0, 511, 511, 511},  // blanks between parts
        {"PATTERN=RAMP:0x000000/0xFFFFFF D", 0, 0xFFFFFF, 100, 50, 511 - 100 + 50, 1022},
        {"PATTERN=RAMP:0x000000/0xFFFFFF D", 0, 0xFFFFFF, 511, 0, 0, 1022},
        {"PATTERN=RAMP/0x808080 A", 0xFFFFFF, 0x808080, 300, 200, 500, 1022},  // the start defaults to white
    };
    for (const auto& row : ramps) {
        auto g = Built<RGBRamp_Generator>(pattern, row.text);
        const Dwords w = Take(g.get(), static_cast<size_t>(row.y) * 512 + row.x + 1);
        EXPECT_EQ(w.back(), RampColour(row.start, row.end, row.t, row.span)) << row.text << " " << row.x << "," << row.y;
    }
    // A letter that begins the next word is no direction: the word stays whole for its argument.
    ArgList_DIM dim;
    EXPECT_EQ(Parse({&pattern, &dim}, "PATTERN=RAMP DIM=16,8"), Words{});
    EXPECT_EQ(dim.GetX(), 16);
    auto beside = pattern.TakeGenerator();
    ASSERT_NE(beside, nullptr);
    beside->Reset(0);
    EXPECT_EQ(Take(beside.get(), 2).back(), RampColour(0xFFFFFF, 0, 1, 511));
    EXPECT_EQ(Parse({&pattern}, "PATTERN=RAMP Vx"), Words{"Vx"});
}

TEST(ArgListPattern, FileReadsTheFileFromItsStartOffset) {
    support::TempDir dir;
    std::string bytes;
    for (int i = 0; i < 16; ++i) bytes += static_cast<char>(i);
    const std::string plain = dir.Write("bytes.bin", bytes), spaced = dir.Write("with blank.bin", bytes);
    const struct { std::string text; Dwords words; } rows[] = {
        {"PATTERN=FILE " + plain, {0x03020100, 0x07060504, 0x0B0A0908, 0x0F0E0D0C, 0x03020100}},
        {"PATTERN=FILE:" + plain + " 4", {0x07060504, 0x0B0A0908, 0x0F0E0D0C, 0x03020100, 0x07060504}},
        {"PATTERN=FILE=" + plain + " 14,99", {0x01000F0E, 0x05040302, 0x09080706, 0x0D0C0B0A, 0x01000F0E}},
        {"PATTERN=FILE \"" + spaced + "\" 8", {0x0B0A0908, 0x0F0E0D0C, 0x03020100, 0x07060504, 0x0B0A0908}},
    };
    ArgList_PATTERN pattern;
    for (const auto& row : rows) {
        for (int pass : {0, 2}) EXPECT_EQ(Take(Built<DP_FILE_Generator>(pattern, row.text, pass).get(), 5), row.words);
        EXPECT_EQ(pattern.GetError(), "") << row.text;
    }
    // A file without words is a failed argument: the runner gets the value back to report, and the
    // generator left behind yields nothing but zeros.
    const std::string missing = dir.File("missing.bin");
    EXPECT_EQ(Parse({&pattern}, "PATTERN=FILE " + missing + " 4 VERBOSE"), (Words{"FILE", missing, "4", "VERBOSE"}));
    EXPECT_NE(pattern.GetError().Find("missing.bin"), -1) << pattern.GetError().c_str();
    auto g = pattern.TakeGenerator();
    ASSERT_NE(dynamic_cast<DP_FILE_Generator*>(g.get()), nullptr);
    EXPECT_EQ(Take(g.get(), 2), Dwords(2, 0));
    const std::string empty = dir.Write("empty.bin", "");
    EXPECT_EQ(Parse({&pattern}, "PATTERN=FILE " + empty), (Words{"FILE", empty}));
    EXPECT_NE(pattern.GetError().Find("empty"), -1) << pattern.GetError().c_str();
    EXPECT_EQ(Parse({&pattern}, "PATTERN=FILE"), Words{"FILE"});
    EXPECT_EQ(pattern.GetError(), "PATTERN=FILE needs a file name");
    Parse({&pattern}, "PATTERN=INC");  // a good assignment clears the error of the one before
    EXPECT_EQ(pattern.GetError(), "");
}

TEST(ArgListPattern, UnknownWordsOwnershipAndHelp) {
    ArgList_PATTERN pattern;
    EXPECT_EQ(pattern.TakeGenerator(), nullptr) << "nothing before an assignment";
    // An unknown word gives the default sequence (rule 0, 1: pass 1 seeds 2) and is reported.
    for (const char* text : {"PATTERN=NOISE", "PATTERN=INCREMENT", "PATTERN=5,2"}) {
        EXPECT_EQ(Parse({&pattern}, text), Words{std::string(text).substr(8)}) << text;
        auto g = pattern.TakeGenerator();
        ASSERT_NE(dynamic_cast<LRS_Generator*>(g.get()), nullptr) << text;
        g->Reset(1);
        EXPECT_EQ(Take(g.get(), 4), ReferenceLrs(2, 4)) << text;
    }
    // An empty value is no word to report, yet leaves the default; bare PATTERN counts and builds nothing.
    Built<LRS_Generator>(pattern, "PATTERN=");
    EXPECT_EQ(Parse({&pattern}, "PATTERN"), Words{});
    EXPECT_EQ(pattern.GetOccurCount(), 1);
    EXPECT_EQ(pattern.TakeGenerator(), nullptr);

    // Two assignments in one command: only the second survives (the sanitizer checks the first is freed).
    ArgList_DIM dim;
    EXPECT_EQ(Parse({&dim, &pattern}, "PATTERN=FILE nowhere PATTERN=INC0,2 DIM=8,8"), (Words{"FILE", "nowhere"}));
    EXPECT_EQ(pattern.GetOccurCount(), 2);
    EXPECT_EQ(pattern.GetError(), "");
    EXPECT_EQ(Take(pattern.TakeGenerator().get(), 1), Dwords{2});
    EXPECT_EQ(pattern.TakeGenerator(), nullptr) << "taken once";
    Parse({&pattern}, "PATTERN=RAMP");  // not taken: freed with the argument

    ArgListArg* table[] = {&dim, &pattern, nullptr};
    const std::string text = ArgumentList::Help(table).str();
    EXPECT_EQ(text.find("    DIM=x,y: Dimensions (in DWORDs) of test data.  The default\n          is 512x512."), 0u);
    const size_t at = text.find("    PATTERN=[INC,FLRS][m,n]: By default, the actual binary test\n");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_GT(at, text.find("1 to 1572864.\n"));
    const std::string last = "\n          DWORD position in the test data.\n";
    EXPECT_EQ(text.rfind(last), text.size() - last.size()) << "PATTERN's help ends the table's";
}

}  // namespace
