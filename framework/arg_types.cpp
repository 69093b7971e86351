// DIM clamping and the PATTERN keyword parser that builds a data pattern generator.
#include "framework/arg_types.h"

#include <algorithm>
#include <cctype>
#include <cstdint>

namespace {

// The keyword table as the device library's keyword argument reads it: rows led by the keyword
// text, closed by a row with a null text.
struct PatternKeyword {
    const char* text;
    int code;
};

enum PatternCode { kInc = 0, kFlrs = 1, kSolid = 2, kRamp = 3, kFile = 4, kNone = 5 };

constexpr PatternKeyword kPatternKeywords[] = {
    {"INC", kInc}, {"FLRS", kFlrs}, {"SOLID", kSolid}, {"RAMP", kRamp}, {"FILE", kFile}, {nullptr, kNone},
};

constexpr DWORD kNoColor = 0;
constexpr DWORD kWhite = 0xFFFFFF;

int IntegerSqrt(int value) {
    if (value <= 0) return 0;
    int64_t r = 0;
    while ((r + 1) * (r + 1) <= value) ++r;
    return static_cast<int>(r);
}

// Ramp direction of a letter, -1 for any other character.
int RampDirection(char c) {
    switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'H': return 0;
    case 'A': return 1;
    case 'V': return 2;
    case 'D': return 3;
    default: return -1;
    }
}

bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::unique_ptr<LRS_Generator> DefaultLrs(int m, int n) {
    auto lrs = std::make_unique<LRS_Generator>(LRS_Generator::kTapsLow, LRS_Generator::kTapsHigh);
    lrs->SetSeedRule(m, n);
    return lrs;
}

}  // namespace

// ---- DIM ----

ArgList_DIM::ArgList_DIM() : ArgListValues("DIM", 2, ARG_ASSIGN) {
    // Not-given markers first, so that the values hold the defaults from the start.
    SetDefaultVal(kNotGiven);
    SetLimits(512, 512, kDefaultMaxArea);
    SetPostAssignCB(&ArgList_DIM::Clamp, nullptr);
}

void ArgList_DIM::SetLimits(int defaultX, int defaultY, int maximumArea) {
    m_defaultX = std::clamp(defaultX, 1, kMaxX);
    m_defaultY = std::clamp(defaultY, 1, kMaxY);
    m_maxArea = maximumArea > 0 ? maximumArea : kDefaultMaxArea;
    // The default width squared, not width x height: a square of the default width always fits.
    m_maxArea = std::max(m_maxArea, m_defaultX * m_defaultX);
    m_maxSide = IntegerSqrt(m_maxArea);
    ResetValues();
}

void ArgList_DIM::ResetValues() {
    m_values[0] = m_defaultX;
    m_values[1] = m_defaultY;
}

void ArgList_DIM::Clamp(ArgListArg* arg, void*) {
    auto* dim = static_cast<ArgList_DIM*>(arg);
    int x = dim->m_values[0];
    int y = dim->m_values[1];
    x = x == kNotGiven ? dim->m_defaultX : std::clamp(x, 1, kMaxX);
    y = y == kNotGiven ? dim->m_defaultY : std::clamp(y, 1, kMaxY);
    if (x > dim->m_maxSide && y > dim->m_maxSide) {
        x = y = dim->m_maxSide;
    } else if (static_cast<int64_t>(x) * y > dim->m_maxArea) {
        // The side within the maximum side stays; the other is shortened to fit.
        if (y > x) y = dim->m_maxArea / x;
        else x = dim->m_maxArea / y;
    }
    dim->m_values[0] = x;
    dim->m_values[1] = y;
}

CString ArgList_DIM::HelpAssign() {
    CString text;
    text.Format(
        "    %s=x,y: Dimensions (in DWORDs) of test data.  The default\n"
        "          is %dx%d.  Range for x is 1 to 2047.  Range for y is\n"
        "          1 to 2048.  Range for product (x*y) is 1 to %d.\n",
        m_name, m_defaultX, m_defaultY, m_maxArea);
    return text;
}

// ---- PATTERN ----

ArgList_PATTERN::ArgList_PATTERN() : ArgListArg("PATTERN", ARG_FLAG_OR_ASSIGN) {}

const char* ArgList_PATTERN::HandleAssign(const char* text) {
    const char* p = SetupAssign(text);
    m_generator.reset();
    m_error.Empty();

    ArgListKeyword keyword("", kPatternKeywords, static_cast<int>(sizeof(PatternKeyword)));
    p = keyword.HandleAssign(p);
    const int index = keyword.GetIndex();
    if (index < 0 || index >= keyword.GetKeywordCount()) {
        // Not a keyword: the default sequence, and the word stays for the runner to report.
        m_generator = DefaultLrs(0, 1);
        DoPostAssign(p);
        return p;
    }

    // One ':' or '=' may stand between the keyword and its parameters.
    char c = GetNextNonWhite(p);
    if (c == ':' || c == '=') c = GetNextNonWhite(p);
    if (c) --p;

    switch (kPatternKeywords[index].code) {
    case kInc: {
        auto inc = std::make_unique<DP_INC_Generator>();
        ArgListValues values("", 3);
        values[0] = 0;
        values[1] = 1;
        values[2] = -1;
        p = values.HandleAssign(p);
        inc->SetStartIncrement(static_cast<DWORD>(values[0]), static_cast<DWORD>(values[1]));
        m_generator = std::move(inc);
        break;
    }
    case kFlrs: {
        ArgListValues values("", 2);
        values[0] = 0;
        values[1] = 1;
        p = values.HandleAssign(p);
        m_generator = DefaultLrs(values[0], values[1]);
        break;
    }
    case kSolid: {
        auto solid = std::make_unique<RGBSolid_Generator>();
        ArgListColor color;
        p = color.HandleAssign(p);
        solid->SetColor(color.GetOccurCount() ? color.GetColor() & 0xFFFFFF : kNoColor);
        m_generator = std::move(solid);
        break;
    }
    case kRamp: {
        auto ramp = std::make_unique<RGBRamp_Generator>();
        ArgListColor start;
        ArgListColor end;
        p = start.HandleAssign(p);
        if (GotoNextNonWhite(p) == '/') p = end.HandleAssign(p + 1);
        // A letter is a direction only when it ends the word: "RAMP VERBOSE=1" must leave
        // VERBOSE whole for the runner.
        int direction = 0;
        c = GetNextNonWhite(p);
        if (c) {
            const int letter = RampDirection(c);
            if (letter >= 0 && !IsNameChar(*p)) direction = letter;
            else --p;
        }
        ramp->SetRamp(direction, start.GetOccurCount() ? start.GetColor() : kWhite,
                      end.GetOccurCount() ? end.GetColor() : kNoColor);
        m_generator = std::move(ramp);
        break;
    }
    case kFile: {
        auto file = std::make_unique<DP_FILE_Generator>();
        ArgListString name;
        p = name.HandleAssign(p);
        ArgListValues values("", 2);
        values[0] = 0;
        values[1] = -1;
        p = values.HandleAssign(p);
        if (name.GetLength() == 0) m_error = "PATTERN=FILE needs a file name";
        else if (!file->Open(name.GetString(), values[0])) m_error = file->GetError();
        m_generator = std::move(file);
        // A file without words would make a loopback test compare zeros with zeros and pass:
        // the value goes back to the runner, which fails the command.
        if (!m_error.IsEmpty()) p = text;
        break;
    }
    default:
        m_generator = DefaultLrs(0, 1);
        break;
    }
    DoPostAssign(p);
    return p;
}

CString ArgList_PATTERN::HelpAssign() {
    return "    PATTERN=[INC,FLRS][m,n]: By default, the actual binary test\n"
           "          pattern sent thru the pipeline is an FLRS seeded with\n"
           "          the test sequence number (q=1,2,3,4).  This seed can\n"
           "          be changed to s=m+(n*q) where s==seed and q==sequence\n"
           "          number.  Thus the default could be specified PATTERN=\n"
           "          FLRS0,1.  If you wish to use the same FLRS test\n"
           "          pattern for all formats, the 'n' should be zero.\n"
           "           INCm,n selects the same incrementing pattern for all\n"
           "          Each DWORD test value is d=m+(n*p) where p is the\n"
           "          DWORD position in the test data.\n";
}
