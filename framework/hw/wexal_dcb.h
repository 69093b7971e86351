// WexalDCB: a DMA context block of the Wexal FPGA, its eight hardware words and checked field accessors.
#pragma once

#include <type_traits>

#include "devlib/register_window.h"
#include "platform/types.h"

class DCBList;

// Pack modes of the OP word; 3 and 4 are not used by the engine.
enum WexalDCBPack : DWORD {
    WEXAL_DCBPACK_NONE = 0,
    WEXAL_DCBPACK_4X = 1,
    WEXAL_DCBPACK_FFF = 2,
    WEXAL_DCBPACK_WWWX = 5,
    WEXAL_DCBPACK_XXXW = 6,
    WEXAL_DCBPACK_RESV7 = 7,
    WEXAL_DCBPACK_UNKNOWN = 0xFFFFFFFF,
};

enum WexalDCBInputFormat : int {
    INPUT_FORMAT_422 = 0,
    INPUT_FORMAT_4444 = 1,
    INPUT_FORMAT_UNKNOWN = -1,
};

// Field setters store a value only when it fits and answer 1; a rejected value leaves the word as
// it was and answers 0. One-bit flags are set by 1 and cleared by anything else, and always answer 1.

// The OP word (word 0).
class WexalDCBOp {
public:
    explicit WexalDCBOp(DWORD* word) : m_word(word) { *m_word = 0; }
    void Clear() { *m_word = 0; }

    BOOL SetNext(BYTE next);                  // bits 0-5: next DCB of the chain, 0 ends it
    BOOL SetForceBCU(DWORD flag);             // bit 6
    BOOL SetRepeatLine(DWORD flag);           // bit 7
    BOOL SetPack(DWORD pack);                 // bits 8-10: 0, 1, 2, 5, 6 or 7
    BOOL SetIntEn(DWORD flag);                // bit 11
    BOOL SetWaitDMA(DWORD flag);              // bit 12
    BOOL Set16bit(DWORD flag);                // bit 13: element size
    BOOL SetInputFormat(int format);          // bit 14: INPUT_FORMAT_422 or INPUT_FORMAT_4444
    BOOL SetBCUIncrement(DWORD flag);         // bit 16
    BOOL SetBCUSequence(BYTE sequence);       // bits 17-22
    BOOL SetBCUPointer(WORD bcu);             // bits 23-31: values below 4096, kept modulo 512

    DWORD GetNext() const { return *m_word & 0x3F; }
    DWORD GetForceBCU() const { return *m_word >> 6 & 1; }
    DWORD GetRepeatLine() const { return *m_word >> 7 & 1; }
    DWORD GetPack() const { return *m_word >> 8 & 7; }
    DWORD GetIntEn() const { return *m_word >> 11 & 1; }
    DWORD GetWaitDMA() const { return *m_word >> 12 & 1; }
    DWORD Get16bit() const { return *m_word >> 13 & 1; }
    int GetInputFormat() const { return static_cast<int>(*m_word >> 14 & 1); }
    DWORD GetBCUIncrement() const { return *m_word >> 16 & 1; }
    DWORD GetBCUSequence() const { return *m_word >> 17 & 0x3F; }
    DWORD GetBCUPointer() const { return *m_word >> 23; }

    // Every field through its setter, in field order; 1 only when all were accepted.
    BOOL CopyFrom(const WexalDCBOp& other);

private:
    DWORD* m_word;
};

// The Port word (word 1).
class WexalDCBPort {
public:
    explicit WexalDCBPort(DWORD* word) : m_word(word) { *m_word = 0; }

    BOOL SetContextID(BYTE id);               // bits 0-3: the next context, below 16
    BOOL SetSecondaryControl(BYTE control);   // bits 4-9: below 64
    BOOL SetTag(WORD tag);                    // bits 16-27: below 4096 (the DCB lists put the DCB's index here)

    DWORD GetContextID() const { return *m_word & 0xF; }
    DWORD GetSecondaryControl() const { return *m_word >> 4 & 0x3F; }
    DWORD GetTag() const { return *m_word >> 16 & 0xFFF; }

    // Tag, Context ID and Secondary Control through their setters; 1 only when all were accepted.
    BOOL CopyFrom(const WexalDCBPort& other);

private:
    DWORD* m_word;
};

// Words 5-7 of a PCI channel: the 64-bit bus address, low half in word 6, high half in word 7.
class DCBPCIAddress {
public:
    explicit DCBPCIAddress(DWORD* word5) : m_words(word5) {}
    ULONGLONG Get() const { return ULONGLONG{m_words[2]} << 32 | m_words[1]; }
    // Answers the former address; word 5 is not touched.
    ULONGLONG Set(DWORD low, DWORD high);

private:
    DWORD* m_words;
};

// Words 5-7 of an audio remap channel: sixteen 4-bit sample numbers, 0-7 in word 6 and 8-15 in word 7.
class WexalDCBARemap {
public:
    explicit WexalDCBARemap(DWORD* word5) : m_words(word5) {}
    // Sample i (0-15) into out and 1; 0 and out untouched for another i.
    BOOL GetSample(int i, DWORD* out) const;

private:
    DWORD* m_words;
};

// Words 5-7 of an audio gain channel: sixteen 5-bit gains, six to a word at bits 0, 5, 10, 16, 21, 26.
class WexalDCBAAlpha {
public:
    explicit WexalDCBAAlpha(DWORD* word5) : m_words(word5) {}
    // Gain i (0-15) into out and 1; 0 and out untouched for another i.
    BOOL GetGain(int i, DWORD* out) const;

private:
    DWORD* m_words;
};

// Words 0-7 are the DCB exactly as the engine holds it (the device library reads and fills them
// straight from the record); the accessors that follow point into the record's own words, so a
// copy gets accessors of its own.
class WexalDCB {
public:
    static constexpr int kHardwareWords = 8;
    static constexpr DWORD kMaxLines = 0xFFFF;  // the 16-bit Lines field

    WexalDCB();
    WexalDCB(const WexalDCB& other);
    // Copies words 0-7; the accessors stay on this record's words.
    WexalDCB& operator=(const WexalDCB& other);
    // Loads the eight words of a DCB from the register window (BAR0 + 0x60000 + ...).
    WexalDCB& operator=(const RegisterPtr& image);

    // The OP and Port fields, start address and line geometry through the checked setters (words
    // 5-7 are not copied); 1 only when every field was accepted.
    BOOL CopyFrom(const WexalDCB& other);
    // Zeroes words 0-7; answers 0.
    int Clear();

    WexalDCBOp& GetOpField() { return m_op; }
    const WexalDCBOp& GetOpField() const { return m_op; }
    WexalDCBPort& GetPortField() { return m_port; }
    const WexalDCBPort& GetPortField() const { return m_port; }
    DCBPCIAddress& GetPCIAddressField() { return m_pciAddress; }
    const DCBPCIAddress& GetPCIAddressField() const { return m_pciAddress; }
    WexalDCBARemap& GetARemapField() { return m_remap; }
    const WexalDCBARemap& GetARemapField() const { return m_remap; }
    WexalDCBAAlpha& GetAAlphaField() { return m_alpha; }
    const WexalDCBAAlpha& GetAAlphaField() const { return m_alpha; }

    // Word 2: the SDRAM start address in bytes.
    void SetStartAddress(DWORD address) { m_words[2] = address; }
    DWORD GetStartAddress() const { return m_words[2]; }
    // The 16-bit halves of words 3 and 4, in DWORDs (Pad: the SDRAM spacing between lines).
    BOOL SetInitialLineLength(WORD value) { return SetHalf(3, 0, value); }
    BOOL SetLines(WORD value) { return SetHalf(3, 16, value); }
    BOOL SetLineLength(WORD value) { return SetHalf(4, 0, value); }
    BOOL SetPad(WORD value) { return SetHalf(4, 16, value); }
    DWORD GetInitialLineLength() const { return m_words[3] & 0xFFFF; }
    DWORD GetLines() const { return m_words[3] >> 16; }
    DWORD GetLineLength() const { return m_words[4] & 0xFFFF; }
    DWORD GetPad() const { return m_words[4] >> 16; }

    // Line geometry of a transfer of size bytes (CalcDCBGeometry with the given mode) and the
    // 16bit flag. Answers 1, or 0 when the geometry does not fit its 16-bit fields (Lines is then
    // held at its largest value and the DCB covers less than size).
    BOOL SetGeometry(DWORD size, DWORD lineLength, DWORD lines, DWORD initial, int mode, BOOL is16bit);
    BOOL SetGeometryForSize(DWORD size, BOOL is16bit);

    // A chain of copies of this DCB, one per index first..last (last at most 15).
    DCBList MakeDCBList(DWORD first, DWORD last) const;

    const DWORD* GetWords() const { return m_words; }
    DWORD* GetWords() { return m_words; }

private:
    BOOL SetHalf(int word, int shift, WORD value) {
        m_words[word] = (m_words[word] & ~(0xFFFFu << shift)) | DWORD{value} << shift;
        return TRUE;
    }

    DWORD m_words[kHardwareWords];
    WexalDCBOp m_op;
    WexalDCBPort m_port;
    DCBPCIAddress m_pciAddress;
    WexalDCBARemap m_remap;
    WexalDCBAAlpha m_alpha;
};

static_assert(std::is_standard_layout_v<WexalDCB>, "the device library reads words 0-7 from the record's start");

// Frame index (1..count, count at most 15) of a chain of frame DCBs as the frame loopbacks build
// them: a copy of model with BCU pointer bcu, lines + 1 lines of lineLength DWORDs (the initial line
// as long as the others), the start address, tag index and the Port word's context; chained, Next
// links to the following frame and the last ends the chain, else each frame ends its own.
WexalDCB MakeFrameDCB(const WexalDCB& model, DWORD index, DWORD count, bool chained, WORD bcu, BYTE context,
                      DWORD lineLength, DWORD lines, DWORD address);

// Splits a transfer of size bytes into line geometry, in DWORDs: an initial line, then lines of
// lineLength. Mode 0 keeps the caller's geometry (an initial line of 0 becomes one whole line);
// mode 1 uses lines of 1024; mode 2 picks the line length by size. When the size is a whole number
// of lines, the initial line is one full line. Without is16bit the line lengths are halved. The result
// may exceed the 16-bit fields (SetGeometry refuses it then). Other modes change nothing.
void CalcDCBGeometry(DWORD size, DWORD* lineLength, DWORD* lines, DWORD* initial, int mode, BOOL is16bit);
