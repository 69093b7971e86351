// Tests of the DIM and PATTERN arguments, run through the device library's argument parser as a test's table is.
#include "framework/arg_types.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Runs a table over text as a test's argument pass does; answers the words nobody took.
std::vector<std::string> Parse(std::vector<ArgListArg*> table, const std::string& text) {
    table.push_back(nullptr);
    ArgumentList list;
    char* leftover = nullptr;
    const int count = list.HandleOptArgs(table.data(), text.c_str(), &leftover);
    std::vector<std::string> words;
    for (const char* w = leftover; w && *w; w += std::strlen(w) + 1) words.emplace_back(w);
    std::free(leftover);
    EXPECT_EQ(count, static_cast<int>(words.size()));
    return words;
}

using Words = std::vector<std::string>;

std::vector<DWORD> Take(DataPatternGenerator& g, size_t n) {
    std::vector<DWORD> v(n);
    for (auto& w : v) w = g.Next();
    return v;
}

// A plain shift register written from the definition of the suite's sequence: taps 63, 42, 21
// and 12, the parity shifted in at bit 0 and output; a seed of 0 becomes 1 and 96 bits are
// discarded; words hold 32 outputs, the first in bit 31.
std::vector<DWORD> ReferenceLrs(uint64_t seed, size_t n) {
    constexpr uint64_t kTaps = 0x8000040000201000ull;
    uint64_t state = seed ? seed : 1;
    auto word = [&] {
        DWORD w = 0;
        for (int i = 0; i < 32; ++i) {
            const DWORD bit = static_cast<DWORD>(__builtin_parityll(state & kTaps));
            state = state << 1 | bit;
            w = w << 1 | bit;
        }
        return w;
    };
    for (int i = 0; i < 3; ++i) word();
    std::vector<DWORD> v(n);
    for (auto& w : v) w = word();
    return v;
}

// Each byte of a ramp from start to end at step t of span T, rounded to nearest.
DWORD RampColour(DWORD start, DWORD end, int t, int span) {
    DWORD c = 0;
    for (int k = 0; k < 3; ++k) {
        const double s = (start >> (8 * k)) & 0xFF;
        const double e = (end >> (8 * k)) & 0xFF;
        c |= static_cast<DWORD>(std::lround(s + (e - s) * t / span)) << (8 * k);
    }
    return c;
}

struct DimCase {
    const char* text;
    int x;
    int y;
};

}  // namespace

TEST(ArgListDim, ClampsEachSideAndTheAreaWithTheDefaultLimits) {
    // Maximum area 0x180000 = 1572864, maximum side floor(sqrt(1572864)) = 1254.
    const DimCase cases[] = {
        {"DIM=4000,4000", 1254, 1254},  // both sides over the maximum side
        {"DIM=2047,1000", 1572, 1000},  // 1572864 / 1000
        {"DIM=1000,2047", 1000, 1572},  // the longer side is cut, whichever it is
        {"DIM=100,2048", 100, 2048},    // 204800 fits
        {"DIM=1,2048", 1, 2048},
        {"DIM=0,5", 1, 5},
        {"DIM=-7,-7", 1, 1},
        {"DIM=3000,1", 2047, 1},
        {"DIM=5,9000", 5, 2048},
        {"DIM=1255,1253", 1255, 1253},  // 1572515: under the area, one side over the maximum side
        {"DIM = 7 , 9", 7, 9},
        {"DIM=5", 5, 512},              // no y: the default
        {"DIM=,7", 512, 7},             // no x: the default
    };
    ArgList_DIM dim;
    for (const DimCase& c : cases) {
        dim.ResetValues();
        EXPECT_EQ(Parse({&dim}, c.text), Words{}) << c.text;
        EXPECT_EQ(dim.GetX(), c.x) << c.text;
        EXPECT_EQ(dim.GetY(), c.y) << c.text;
        EXPECT_LE(static_cast<int64_t>(dim.GetX()) * dim.GetY(), ArgList_DIM::kDefaultMaxArea) << c.text;
    }
    EXPECT_EQ(dim.GetOccurCount(), 1) << "counted per pass";

    // Without ResetValues the previous values stay for the sides not given; a value nobody
    // gave (the marker) still means the default.
    dim.ResetValues();
    Parse({&dim}, "DIM=100,200");
    Parse({&dim}, "DIM=,50");
    EXPECT_EQ(dim.GetX(), 100);
    EXPECT_EQ(dim.GetY(), 50);
    dim[0] = ArgList_DIM::kNotGiven;
    Parse({&dim}, "DIM=,60");
    EXPECT_EQ(dim.GetX(), 512);
    EXPECT_EQ(dim.GetY(), 60);
}

TEST(ArgListDim, LimitsAreClampedAndTheMaximumSideIsTheSquareRootOfTheArea) {
    ArgList_DIM dim;
    // A fresh argument holds its defaults, so a command without DIM reads 512 x 512.
    EXPECT_EQ(dim.GetX(), 512);
    EXPECT_EQ(dim.GetY(), 512);
    EXPECT_EQ(dim.GetMaxArea(), 0x180000);
    EXPECT_EQ(dim.GetMaxSide(), 1254);

    dim.SetLimits(0, 5000, 0);
    EXPECT_EQ(dim.GetDefaultX(), 1);
    EXPECT_EQ(dim.GetDefaultY(), 2048);
    EXPECT_EQ(dim.GetMaxArea(), 0x180000) << "0 or less means the standard area";
    EXPECT_EQ(dim.GetX(), 1) << "values reset to the new defaults";
    EXPECT_EQ(dim.GetY(), 2048);

    // An area below the default width squared is raised to it: 2047^2 = 4190209, whose root is
    // exactly 2047.
    dim.SetLimits(2047, 1, 100);
    EXPECT_EQ(dim.GetMaxArea(), 4190209);
    EXPECT_EQ(dim.GetMaxSide(), 2047);

    dim.SetLimits(10, 10, 1000);
    EXPECT_EQ(dim.GetMaxSide(), 31);  // 31^2 = 961, 32^2 = 1024
    dim.ResetValues();
    Parse({&dim}, "DIM=40,40");
    EXPECT_EQ(dim.GetX(), 31);
    EXPECT_EQ(dim.GetY(), 31);
    Parse({&dim}, "DIM=10,500");
    EXPECT_EQ(dim.GetX(), 10);
    EXPECT_EQ(dim.GetY(), 100);

    EXPECT_EQ(dim.HelpAssign(),
              "    DIM=x,y: Dimensions (in DWORDs) of test data.  The default\n"
              "          is 10x10.  Range for x is 1 to 2047.  Range for y is\n"
              "          1 to 2048.  Range for product (x*y) is 1 to 1000.\n");
}

TEST(ArgListDim, WordsThatAreNotNumbersAreLeftForTheRunner) {
    ArgList_DIM dim;
    EXPECT_EQ(Parse({&dim}, "DIM=abc"), Words{"abc"});
    EXPECT_EQ(dim.GetX(), 512);
    EXPECT_EQ(dim.GetY(), 512);
    EXPECT_EQ(Parse({&dim}, "DIM=64,y VERBOSE"), (Words{"y", "VERBOSE"}));
    EXPECT_EQ(dim.GetX(), 64);
    EXPECT_EQ(dim.GetY(), 512);
    EXPECT_EQ(Parse({&dim}, "DIM"), Words{"DIM"}) << "DIM is not a switch";
}

TEST(ArgListPattern, IncTakesStartAndIncrementAndIgnoresThePass) {
    struct Case {
        const char* text;
        std::vector<DWORD> words;
    } cases[] = {
        {"PATTERN=INC", {1, 2, 3, 4}},
        {"PATTERN=INC0,4", {4, 8, 12, 16}},
        {"PATTERN=inc:5,2,9", {7, 9, 11, 13}},  // the third value is read and not used
        {"PATTERN=INC=-2,1", {0xFFFFFFFF, 0, 1, 2}},
        {"PATTERN=INC7,0", {7, 7, 7, 7}},
    };
    ArgList_PATTERN pattern;
    for (const Case& c : cases) {
        EXPECT_EQ(Parse({&pattern}, c.text), Words{}) << c.text;
        std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
        ASSERT_NE(dynamic_cast<DP_INC_Generator*>(g.get()), nullptr) << c.text;
        for (int pass : {0, 3}) {
            g->Reset(pass);
            EXPECT_EQ(Take(*g, 4), c.words) << c.text << " pass " << pass;
        }
    }
}

TEST(ArgListPattern, FlrsSeedsPassQWithNTimesQPlusOnePlusM) {
    struct Case {
        const char* text;
        int m;
        int n;
    } cases[] = {
        {"PATTERN=FLRS", 0, 1},     {"PATTERN=FLRS5,2", 5, 2},  {"PATTERN=FLRS3,0", 3, 0},
        {"PATTERN=FLRS:3,0", 3, 0}, {"PATTERN=flrs=3,0", 3, 0}, {"PATTERN=FLRS0,0", 0, 0},
    };
    ArgList_PATTERN pattern;
    for (const Case& c : cases) {
        EXPECT_EQ(Parse({&pattern}, c.text), Words{}) << c.text;
        std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
        ASSERT_NE(dynamic_cast<LRS_Generator*>(g.get()), nullptr) << c.text;
        for (int pass = 0; pass < 3; ++pass) {
            g->Reset(pass);
            EXPECT_EQ(Take(*g, 8), ReferenceLrs(static_cast<uint64_t>(c.n * (pass + 1) + c.m), 8))
                << c.text << " pass " << pass;
        }
    }
}

TEST(ArgListPattern, SolidAndRampColoursWithTheirDefaults) {
    ArgList_PATTERN pattern;
    auto solid = [&](const char* text) {
        EXPECT_EQ(Parse({&pattern}, text), Words{}) << text;
        std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
        EXPECT_NE(dynamic_cast<RGBSolid_Generator*>(g.get()), nullptr) << text;
        g->Reset(0);
        return g ? Take(*g, 3) : std::vector<DWORD>{};
    };
    EXPECT_EQ(solid("PATTERN=SOLID"), (std::vector<DWORD>{0, 0, 0}));
    EXPECT_EQ(solid("PATTERN=SOLID0x123456"), (std::vector<DWORD>(3, 0x123456)));
    EXPECT_EQ(solid("PATTERN=SOLID=(1,2,3)"), (std::vector<DWORD>(3, 0x010203)));

    // The window is 512 x 512: word y * 512 + x is pixel (x, y).
    auto ramp = [&](const char* text, std::vector<ArgListArg*> extra = {}) {
        extra.insert(extra.begin(), &pattern);
        EXPECT_EQ(Parse(extra, text), Words{}) << text;
        std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
        EXPECT_NE(dynamic_cast<RGBRamp_Generator*>(g.get()), nullptr) << text;
        std::vector<DWORD> words;
        if (g) {
            g->Reset(0);
            words = Take(*g, 512 * 512);
        }
        return words;
    };
    auto at = [](const std::vector<DWORD>& w, int x, int y) { return w[static_cast<size_t>(y) * 512 + x]; };

    const std::vector<DWORD> h = ramp("PATTERN=RAMP");
    for (int x : {0, 1, 100, 256, 510, 511})
        for (int y : {0, 300}) EXPECT_EQ(at(h, x, y), RampColour(0xFFFFFF, 0, x, 511)) << x << "," << y;

    const std::vector<DWORD> v = ramp("PATTERN=RAMP#FF0000/#0000FFV");
    for (int y : {0, 1, 200, 511})
        for (int x : {0, 400}) EXPECT_EQ(at(v, x, y), RampColour(0xFF0000, 0x0000FF, y, 511)) << x << "," << y;
    EXPECT_EQ(ramp("PATTERN=RAMP 0xFF0000 / 0x0000FF v"), v) << "blanks between the parts";

    const std::vector<DWORD> d = ramp("PATTERN=RAMP:0x000000/0xFFFFFF D");
    EXPECT_EQ(at(d, 511, 0), 0u);
    EXPECT_EQ(at(d, 0, 511), 0xFFFFFFu);
    EXPECT_EQ(at(d, 100, 50), RampColour(0, 0xFFFFFF, 511 - 100 + 50, 1022));
    EXPECT_EQ(at(ramp("PATTERN=RAMP/0x808080 A"), 300, 200), RampColour(0xFFFFFF, 0x808080, 500, 1022))
        << "the start defaults to white";

    // A letter that begins the next word is no direction: the word stays whole for its argument.
    ArgList_DIM dim;
    const std::vector<DWORD> beside = ramp("PATTERN=RAMP DIM=16,8", {&dim});
    EXPECT_EQ(beside, h);
    EXPECT_EQ(dim.GetX(), 16);
    EXPECT_EQ(dim.GetY(), 8);
    EXPECT_EQ(Parse({&pattern}, "PATTERN=RAMP Vx"), Words{"Vx"});
}

TEST(ArgListPattern, FileReadsTheFileFromItsStartOffset) {
    const fs::path dir = fs::temp_directory_path() / ("pex_argtypes_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string plain = (dir / "bytes.bin").string();
    const std::string spaced = (dir / "with blank.bin").string();
    for (const std::string& path : {plain, spaced}) {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 16; ++i) out.put(static_cast<char>(i));
    }
    struct Case {
        std::string text;
        std::vector<DWORD> words;
    } cases[] = {
        {"PATTERN=FILE " + plain, {0x03020100, 0x07060504, 0x0B0A0908, 0x0F0E0D0C, 0x03020100}},
        {"PATTERN=FILE:" + plain + " 4", {0x07060504, 0x0B0A0908, 0x0F0E0D0C, 0x03020100, 0x07060504}},
        {"PATTERN=FILE=" + plain + " 14,99", {0x01000F0E, 0x05040302, 0x09080706, 0x0D0C0B0A, 0x01000F0E}},
        {"PATTERN=FILE \"" + spaced + "\" 8", {0x0B0A0908, 0x0F0E0D0C, 0x03020100, 0x07060504, 0x0B0A0908}},
    };
    ArgList_PATTERN pattern;
    for (const Case& c : cases) {
        EXPECT_EQ(Parse({&pattern}, c.text), Words{}) << c.text;
        EXPECT_EQ(pattern.GetError(), "") << c.text;
        std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
        ASSERT_NE(dynamic_cast<DP_FILE_Generator*>(g.get()), nullptr) << c.text;
        for (int pass : {0, 2}) {
            g->Reset(pass);
            EXPECT_EQ(Take(*g, 5), c.words) << c.text;
        }
    }

    // A file without words is a failed argument: the runner gets the value back to report, and
    // the generator left behind yields nothing but zeros.
    const std::string missing = (dir / "missing.bin").string();
    EXPECT_EQ(Parse({&pattern}, "PATTERN=FILE " + missing + " 4 VERBOSE"), (Words{"FILE", missing, "4", "VERBOSE"}));
    EXPECT_NE(pattern.GetError().Find("missing.bin"), -1) << pattern.GetError().c_str();
    std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
    ASSERT_NE(dynamic_cast<DP_FILE_Generator*>(g.get()), nullptr);
    g->Reset(0);
    EXPECT_EQ(Take(*g, 2), (std::vector<DWORD>{0, 0}));

    const std::string empty = (dir / "empty.bin").string();
    std::ofstream(empty, std::ios::binary).close();
    EXPECT_EQ(Parse({&pattern}, "PATTERN=FILE " + empty), (Words{"FILE", empty}));
    EXPECT_NE(pattern.GetError().Find("empty"), -1) << pattern.GetError().c_str();

    EXPECT_EQ(Parse({&pattern}, "PATTERN=FILE"), Words{"FILE"});
    EXPECT_EQ(pattern.GetError(), "PATTERN=FILE needs a file name");

    // A good assignment clears the error of the one before.
    Parse({&pattern}, "PATTERN=INC");
    EXPECT_EQ(pattern.GetError(), "");
    fs::remove_all(dir);
}

TEST(ArgListPattern, AnUnknownWordGivesTheDefaultSequenceAndIsReported) {
    ArgList_PATTERN pattern;
    for (const char* text : {"PATTERN=NOISE", "PATTERN=INCREMENT", "PATTERN=5,2"}) {
        const std::string word = std::string(text).substr(8);
        EXPECT_EQ(Parse({&pattern}, text), Words{word}) << text;
        std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
        ASSERT_NE(dynamic_cast<LRS_Generator*>(g.get()), nullptr) << text;
        g->Reset(1);
        EXPECT_EQ(Take(*g, 4), ReferenceLrs(2, 4)) << "seed rule 0, 1: pass 1 seeds 2";
    }
    // An empty value is no word to report, yet it still leaves the default behind.
    EXPECT_EQ(Parse({&pattern}, "PATTERN="), Words{});
    EXPECT_NE(dynamic_cast<LRS_Generator*>(pattern.TakeGenerator().get()), nullptr);
    // Bare PATTERN is a switch: it counts, and builds nothing.
    EXPECT_EQ(Parse({&pattern}, "PATTERN"), Words{});
    EXPECT_EQ(pattern.GetOccurCount(), 1);
    EXPECT_EQ(pattern.TakeGenerator(), nullptr);
}

TEST(ArgListPattern, TheArgumentOwnsOneGeneratorUntilItIsTaken) {
    ArgList_PATTERN pattern;
    EXPECT_EQ(pattern.TakeGenerator(), nullptr) << "nothing before an assignment";

    // Two assignments in one command: only the second survives (the first is freed, which the
    // sanitizer build checks).
    ArgList_DIM dim;
    EXPECT_EQ(Parse({&dim, &pattern}, "PATTERN=FILE nowhere PATTERN=INC0,2 DIM=8,8"), (Words{"FILE", "nowhere"}));
    EXPECT_EQ(pattern.GetOccurCount(), 2);
    EXPECT_EQ(pattern.GetError(), "");
    std::unique_ptr<DataPatternGenerator> g = pattern.TakeGenerator();
    ASSERT_NE(dynamic_cast<DP_INC_Generator*>(g.get()), nullptr);
    EXPECT_EQ(g->Next(), 2u);
    EXPECT_EQ(dim.GetX(), 8);
    EXPECT_EQ(pattern.TakeGenerator(), nullptr) << "taken once";

    // A generator not taken is freed with the argument.
    {
        ArgList_PATTERN scoped;
        Parse({&scoped}, "PATTERN=RAMP");
    }}

TEST(ArgListPattern, HelpOfALoopbackTableListsBothArguments) {
    ArgList_DIM dim;
    ArgList_PATTERN pattern;
    ArgListArg* table[] = {&dim, &pattern, nullptr};
    const CString help = ArgumentList::Help(table);
    const std::string text = help.str();
    EXPECT_EQ(text.find("    DIM=x,y: Dimensions (in DWORDs) of test data.  The default\n          is 512x512."), 0u);
    const size_t at = text.find("    PATTERN=[INC,FLRS][m,n]: By default, the actual binary test\n");
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_GT(at, text.find("1 to 1572864.\n"));
    const std::string last = "\n          DWORD position in the test data.\n";
    EXPECT_EQ(text.rfind(last), text.size() - last.size()) << "PATTERN's help ends the table's";
}
