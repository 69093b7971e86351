// Data pattern generators: sources of 32-bit test words that a test can replay for the compare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "platform/cstring.h"
#include "platform/types.h"

// A stream of 32-bit test words. Replay rule, kept by every generator: SetValue(0) answers the
// current value v, and SetValue(v) afterwards puts the generator back exactly where it was, so the
// same words follow again.
class DataPatternGenerator {
public:
    virtual ~DataPatternGenerator() = default;
    // Sets the position or state; answers the previous one.
    virtual uint64_t SetValue(uint64_t value) = 0;
    // Restarts for a pass; the base answers SetValue(0) and ignores the pass.
    virtual uint64_t Reset(int pass);
    virtual DWORD Next() = 0;
    // Writes the next count words into out, exactly as count calls of Next would. The generators
    // override it to work on whole blocks; the base calls Next once per word.
    virtual void Fill(DWORD* out, size_t count);
};

// A linear recurring sequence from a shift register of up to 64 bits: each step shifts the
// register left by one and feeds in the parity of (taps AND state), which is also the output bit.
// Next packs 32 output bits, the first in bit 31.
class LRS_Generator : public DataPatternGenerator {
public:
    // The taps every generator of the suite uses: bits 63, 42, 21 and 12, a 64-bit register.
    static constexpr DWORD kTapsLow = 0x00201000;
    static constexpr DWORD kTapsHigh = 0x80000400;

    LRS_Generator(DWORD tapsLow, DWORD tapsHigh);

    // Takes a tap mask; the register width is the highest tap + 1. Seeds the register with all ones
    // and answers whether the taps pass the maximal-length test.
    BOOL SetTaps(uint64_t taps);
    // Reset(pass) seeds pass q with n * (q + 1) + m.
    void SetSeedRule(int m, int n);
    // Loads the register (zero becomes 1) and discards the next 96 output bits.
    void SetState(uint64_t seed);
    BOOL IsMaximal();

    // The value is the window of the next width output bits, the first in bit width - 1.
    uint64_t SetValue(uint64_t value) override;
    uint64_t Reset(int pass) override;
    DWORD Next() override;
    // Near memory speed: the words themselves obey the register's recurrence (see the source).
    void Fill(DWORD* out, size_t count) override;

    int GetWidth() const { return m_width; }
    uint64_t GetTaps() const { return m_taps; }

private:
    bool Shift();
    void Unshift();
    void Decimate();
    void BuildWordTable();

    int m_width = 64;
    uint64_t m_taps = 0;
    uint64_t m_topBit = 0;
    uint64_t m_state = 0;  // bits above the width may hold stale bits; readers mask them
    uint64_t m_mask = 0;
    int m_seedOffset = 1;  // m
    int m_seedStride = 1;  // n
    // The 32 output bits of a step of 32, by register byte: XOR of one entry per byte.
    std::unique_ptr<DWORD[]> m_wordTable;
};

// An incrementing count: after Reset the words are m + n, m + 2n, ... (modulo 2^32).
class DP_INC_Generator : public DataPatternGenerator {
public:
    DP_INC_Generator() = default;
    void SetStartIncrement(DWORD start, DWORD increment);

    uint64_t SetValue(uint64_t value) override;
    // current = start; answers the start, sign-extended.
    uint64_t Reset(int pass) override;
    DWORD Next() override;
    void Fill(DWORD* out, size_t count) override;

private:
    DWORD m_start = 0;    // m
    DWORD m_current = 0;
    DWORD m_increment = 1;  // n
};

// The bytes of a file read circularly as little-endian words: a word that runs over the end of the
// file goes on with its first bytes, for ever. At most one window (32 KiB) is read at a time and a
// file that fits the cache is read once. An empty generator (no file, an empty file, a failed
// read) yields 0 words; GetError says why.
class DP_FILE_Generator : public DataPatternGenerator {
public:
    DP_FILE_Generator();
    ~DP_FILE_Generator() override;
    DP_FILE_Generator(const DP_FILE_Generator&) = delete;
    DP_FILE_Generator& operator=(const DP_FILE_Generator&) = delete;

    // Takes over an open file (closed by the generator from now on) and starts at start modulo its
    // size (a negative start counts from the end). FALSE when the file is missing or empty.
    BOOL Open(FILE* file, int start);
    // Opens path for reading and takes it over as above; the path goes through the platform's
    // path mapping.
    BOOL Open(const CString& path, int start);
    // Frees the buffers and closes the file unless constructing; always leaves the generator empty.
    void Release(BOOL constructing);

    bool IsEmpty() const { return m_size == 0; }
    // Why the generator is empty ("" while it has words).
    const CString& GetError() const { return m_error; }
    int64_t GetSize() const { return m_size; }

    // The value is the byte position of the next word.
    uint64_t SetValue(uint64_t value) override;
    // position = start; answers the start.
    uint64_t Reset(int pass) override;
    DWORD Next() override;
    void Fill(DWORD* out, size_t count) override;

private:
    BOOL OpenStream(FILE* file, int start);
    // The cache bytes for count bytes at position, advancing it; null when they cannot be had.
    const BYTE* Fetch(int64_t& position, int count);
    bool EnsureCache();
    bool LoadWindow(int64_t p);
    bool ReadCircular(int64_t offset, BYTE* dst, int64_t count);
    void Fail(const char* why);

    FILE* m_file = nullptr;
    int64_t m_start = 0;
    int64_t m_size = 0;       // 0: empty
    int64_t m_position = 0;   // byte offset of the next word
    std::unique_ptr<BYTE[]> m_cache;
    std::unique_ptr<BYTE[]> m_staging;
    int64_t m_cacheBase = -1;  // file offset held at cache byte 0; -1 when nothing is loaded
    int64_t m_cacheSize = 0;
    int64_t m_windowSize = 0;
    CString m_name;
    CString m_error;
};

// Colour words over a raster: Next walks a window of an image in raster order (512 x 512 unless
// set otherwise) and answers one colour per pixel, then starts again at the top.
class RGB_TestPatternGenerator : public DataPatternGenerator {
public:
    RGB_TestPatternGenerator();

    // Image and window 512 x 512; placement, offsets and position 0.
    virtual void InitDefaults();
    // The walked window (sizes below 1 are ignored).
    virtual void SetSize(int w, int h);
    // Where the window lies on the image: the offsets are added to every window point. Modes
    // outside 0 to 3 become 0; every mode places the window by its offsets.
    virtual void SetPlacement(int mode, int xOffset, int yOffset);
    // Colour of image point (x, y).
    virtual DWORD GetColor(int x, int y) = 0;
    // Writes the colours of window points (x .. x+w-1, y .. y+h-1) in raster order to *out and
    // moves *out past them.
    virtual void FillBuffer(DWORD** out, int x, int y, int w, int h);
    // Colour of window point (x, y).
    virtual DWORD GetPixel(int x, int y);

    // x in the low half, y in the high half; a coordinate outside the window becomes 0.
    uint64_t SetValue(uint64_t value) override;
    DWORD Next() override;
    void Fill(DWORD* out, size_t count) override;

    int GetImageWidth() const { return m_imageWidth; }
    int GetImageHeight() const { return m_imageHeight; }

protected:
    // Colours of image points (x .. x+n-1, y); the base asks GetColor for each.
    virtual void ColorRun(DWORD* out, int x, int y, int n);

    int m_imageWidth = 512;
    int m_imageHeight = 512;
    int m_windowWidth = 512;
    int m_windowHeight = 512;
    int m_placement = 0;
    int m_xOffset = 0;
    int m_yOffset = 0;
    int m_x = 0;
    int m_y = 0;
};

// One colour everywhere (low 24 bits).
class RGBSolid_Generator : public RGB_TestPatternGenerator {
public:
    RGBSolid_Generator() = default;
    void SetColor(DWORD color) { m_color = color; }
    // Image and window.
    void SetSize(int w, int h) override;
    DWORD GetColor(int x, int y) override;

protected:
    void ColorRun(DWORD* out, int x, int y, int n) override;

private:
    DWORD m_color = 0;
};

// A ramp from a start colour to an end colour along one of four directions: 0 horizontal,
// 1 along x + y, 2 vertical, 3 along (width - 1 - x) + y. Each byte is rounded to nearest; points
// outside the image are 0, and an axis of length 1 gives the start colour.
class RGBRamp_Generator : public RGB_TestPatternGenerator {
public:
    RGBRamp_Generator() = default;
    // A direction outside 0 to 3 becomes 0.
    void SetRamp(int direction, DWORD startColor, DWORD endColor);
    // Image and window.
    void SetSize(int w, int h) override;
    DWORD GetColor(int x, int y) override;

protected:
    void ColorRun(DWORD* out, int x, int y, int n) override;

private:
    DWORD ColorAt(int x, int y) const;

    int m_direction = 0;
    int m_start[3] = {0, 0, 0};
    int m_end[3] = {0, 0, 0};
};
