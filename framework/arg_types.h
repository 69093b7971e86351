// The suite's own argument types for the device library's parser: DIM (size of the test data) and PATTERN (its generator).
#pragma once

#include <climits>
#include <memory>

#include "devlib/arg_list.h"
#include "framework/pattern_generators.h"
#include "platform/cstring.h"

// DIM=x,y: the width and height of the test data in DWORDs. Values are clamped after every
// assignment: x to 1..2047, y to 1..2048, and x * y to the maximum area (both sides cut to the
// maximum side when both exceed it; otherwise the smaller side is kept and the other shortened).
// A value the text does not give keeps its default. Values: [0] x, [1] y.
class ArgList_DIM : public ArgListValues {
public:
    // Marks a value the command did not give.
    static constexpr int kNotGiven = INT_MIN;
    static constexpr int kMaxX = 2047;
    static constexpr int kMaxY = 2048;
    static constexpr int kDefaultMaxArea = 0x180000;

    // Defaults 512 x 512, maximum area 0x180000.
    ArgList_DIM();

    // Defaults clamped to the x and y ranges; a maximum area of 0 or less means 0x180000, and one
    // below defaultX squared is raised to it. Resets the values to the defaults.
    void SetLimits(int defaultX, int defaultY, int maximumArea);
    // x and y = their defaults; callers run it before parsing each command.
    void ResetValues();

    CString HelpAssign() override;

    int GetX() const { return m_values[0]; }
    int GetY() const { return m_values[1]; }
    int GetDefaultX() const { return m_defaultX; }
    int GetDefaultY() const { return m_defaultY; }
    int GetMaxArea() const { return m_maxArea; }
    // The integer square root of the maximum area.
    int GetMaxSide() const { return m_maxSide; }

private:
    // The post-assign check; arg is always an ArgList_DIM.
    static void Clamp(ArgListArg* arg, void* context);

    int m_defaultX = 512;
    int m_defaultY = 512;
    int m_maxArea = kDefaultMaxArea;
    int m_maxSide = 1254;
};

// PATTERN=<keyword><parameters>: builds the generator of the test data. One ':' or '=' may follow
// the keyword.
//   INCm,n[,k]        words m + n, m + 2n, ... (defaults 0, 1; k is accepted and ignored)
//   FLRSm,n           the suite's LRS, pass q seeded with n * (q + 1) + m (defaults 0, 1)
//   SOLIDcolour       one colour (default 0)
//   RAMPs[/e][H|A|V|D] a ramp from s (default 0xFFFFFF) to e (default 0) along a direction
//   FILE name m[,k]   the words of a file from byte m on, read circularly (k ignored)
// Anything else gives the default FLRS (seed rule 0, 1) and leaves the word for the table's runner
// to report. A FILE that gives no words (no name, cannot be opened, empty) leaves its value
// unconsumed for the runner to report too, and says why in GetError.
class ArgList_PATTERN : public ArgListArg {
public:
    ArgList_PATTERN();
    ArgList_PATTERN(const ArgList_PATTERN&) = delete;
    ArgList_PATTERN& operator=(const ArgList_PATTERN&) = delete;
    ~ArgList_PATTERN() override = default;

    // Replaces any generator held from an earlier assignment; answers the text after the value.
    const char* HandleAssign(const char* text) override;
    CString HelpAssign() override;

    // Hands the generator over (null when no assignment built one); the argument forgets it.
    std::unique_ptr<DataPatternGenerator> TakeGenerator() { return std::move(m_generator); }
    // Why the last assignment's value was not taken ("" when it was).
    const CString& GetError() const { return m_error; }

private:
    std::unique_ptr<DataPatternGenerator> m_generator;
    CString m_error;
};
