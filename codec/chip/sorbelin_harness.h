// The image-pattern harness of the codec packer and unpacker tests: fills pictures with each pattern of the image list and runs a round trip per pattern.
#pragma once

#include <functional>

#include "codec/chip/sorbelin.h"
#include "framework/param_string.h"
#include "images/unpacked_image.h"

// What one video command gives the harness: the command as received, its DIM= size (0 when
// absent) and whether both numbers were read, and the verbosity.
struct HarnessRequest {
    CString command;
    long width = 0, height = 0;
    BOOL dimensionsGiven = FALSE;
    DWORD verbose = 1;
};

// Where the two tests' copies of the harness differ.
struct HarnessOptions {
    // The full form also knows RAMP_STRIDE_4 (after GRID): alpha FillGrid (1), image FillRampStride4.
    bool rampStride4 = false;
    // The image form refuses an unknown entry with a red line and 0 instead of skipping it.
    bool unknownPatternFails = false;
};

// FORCEUPDATE= (0 or 1) and FORCESTALL= (0, 1 or 2) of a mixed round trip; 0 when absent.
struct MixedOptions {
    long forceUpdate = 0, forceStall = 0;
    bool updateGiven = false, stallGiven = false;
};
// Reads both through the one reader: false after the option's red line ("FORCEUPDATE must be 0 or
// 1\n", "FORCESTALL must be 0, 1 or 2\n") when a number outside its values stands there, however
// many digits it has. A value that is no number keeps 0, or is refused the same way when
// noNumberRefused.
bool ReadMixedOptions(CSorbelin& test, const CParamString& params, bool noNumberRefused, MixedOptions& options);

// Runs the three forms on behalf of one codec chip test, printing through it. A round trip
// answers nonzero when it passed.
class CImagePatternHarness {
public:
    using MixedTrip = std::function<BOOL(Unpacked::Alpha::YCbCr_10_6&, Unpacked::Image::YCbCr_10_6&)>;
    using ImageTrip = std::function<BOOL(Unpacked::Image::YCbCr_10_6&)>;
    using AlphaTrip = std::function<BOOL(Unpacked::Alpha::YCbCr_10_6&)>;

    explicit CImagePatternHarness(CSorbelin& test, HarnessOptions options = {}) : m_test(test), m_options(options) {}

    // Full form: every resolution (the one DIM= or the test's resolution list) times every image
    // entry, a PASS or FAIL summary line each, failures recorded and the run continued; the
    // "Failures" and "Summary" logs fed when mapped. 1 when every round trip passed; 2
    // (CSorbelin::kTestStopped) when the host asked to stop, after the summary of what ran.
    BOOL RunFull(const HarnessRequest& request, const MixedTrip& trip);
    // Image form: one size (DIM= required); stops at the first failed round trip with 0. 0 when
    // no round trip ran. Every form looks at the host's stop request before each entry and
    // answers 2 (CSorbelin::kTestStopped) for it.
    BOOL RunImage(const HarnessRequest& request, const ImageTrip& trip);
    // Alpha form: as the image form with the alpha patterns (the coloured wedges are skipped).
    BOOL RunAlpha(const HarnessRequest& request, const AlphaTrip& trip);

    // The entry's SOLID=(Y=..:CB=..:CR=..) components over the defaults 0x1F6, 0x200, 0x200; each
    // hexadecimal after 0x, else decimal; a component that reads as no number keeps its default.
    // The refusing red line when a value does not fit a sample word (the values are then untouched),
    // else empty.
    static CString ReadSolid(const CString& entry, WORD& y, WORD& cb, WORD& cr);
    // The entry's SEED= (0x hexadecimal or decimal) into seed; without SEED= seed stays as given.
    // false when SEED= reads as neither.
    static bool ReadSeed(const CString& entry, DWORD& seed);

private:
    enum class Fill { Unknown, BadSeed, Refused, Done };
    // "RANDOM[ SEED=n]": announces the random test and its seed (the clock's unless one is given);
    // false after a red line when the seed is not understood.
    bool AnnounceRandom(const CString& entry, DWORD& seed);
    // The red line that refuses a pattern the fills do not know.
    void RefuseUnknown(const CString& entry);
    void Header(const HarnessRequest& request, const CString& entry, long width, long height);
    Fill FillImage(const CString& entry, Unpacked::Image::YCbCr_10_6& image, Unpacked::Alpha::YCbCr_10_6* alpha, bool imageForm);
    Fill FillAlpha(const CString& entry, Unpacked::Alpha::YCbCr_10_6& alpha, bool& skipped);

    CSorbelin& m_test;
    HarnessOptions m_options;
};
