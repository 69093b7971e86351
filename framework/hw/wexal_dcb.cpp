// WexalDCB field accessors, copies and line geometry.
#include "framework/hw/wexal_dcb.h"

#include <cstring>

namespace {

// Replaces the bits of mask (shifted) with value; the caller has checked that value fits.
inline void Put(DWORD* word, DWORD mask, int shift, DWORD value) { *word = (*word & ~(mask << shift)) | (value & mask) << shift; }

inline BOOL PutFlag(DWORD* word, int bit, DWORD flag) {
    Put(word, 1, bit, flag == 1 ? 1 : 0);
    return TRUE;
}

// The raw geometry; the caller decides whether it fits the 16-bit fields.
void Geometry(DWORD size, DWORD& length, DWORD& lines, DWORD& initial, int mode, BOOL is16bit) {
    auto split = [&](DWORD lineLength) {
        const DWORD lineBytes = 4 * lineLength;
        length = lineLength;
        lines = size / lineBytes;
        const DWORD rest = size - lineBytes * lines;
        initial = rest >> 2;
        // A size of whole lines: the last line becomes the initial one.
        if (rest < 4 && lines > 0) {
            initial = lineLength;
            --lines;
        }
    };
    switch (mode) {
        case 0:
            if (initial == 0 && lines > 0) {
                initial = length;
                --lines;
            }
            break;
        case 1:
            split(1024);
            break;
        case 2: {
            struct Row {
                DWORD limit, lineLength;
            };
            static constexpr Row kRows[] = {{0xFFFFFFFF, 16382}, {0x501A010, 1216}, {0x242800, 832}, {0x10D200, 478}};
            DWORD lineLength = 1024;
            for (const Row& row : kRows) {
                if (size > row.limit) break;
                lineLength = row.lineLength;
            }
            split(lineLength);
            break;
        }
        default:
            return;
    }
    if (!is16bit) {
        length >>= 1;
        initial >>= 1;
    }
}

}  // namespace

// ---- OP word ----

BOOL WexalDCBOp::SetNext(BYTE next) {
    if (next >= 64) return FALSE;
    Put(m_word, 0x3F, 0, next);
    return TRUE;
}

BOOL WexalDCBOp::SetForceBCU(DWORD flag) { return PutFlag(m_word, 6, flag); }
BOOL WexalDCBOp::SetRepeatLine(DWORD flag) { return PutFlag(m_word, 7, flag); }

BOOL WexalDCBOp::SetPack(DWORD pack) {
    if (pack > 7 || pack == 3 || pack == 4) return FALSE;
    Put(m_word, 7, 8, pack);
    return TRUE;
}

BOOL WexalDCBOp::SetIntEn(DWORD flag) { return PutFlag(m_word, 11, flag); }
BOOL WexalDCBOp::SetWaitDMA(DWORD flag) { return PutFlag(m_word, 12, flag); }
BOOL WexalDCBOp::Set16bit(DWORD flag) { return PutFlag(m_word, 13, flag); }

BOOL WexalDCBOp::SetInputFormat(int format) {
    if (format != INPUT_FORMAT_422 && format != INPUT_FORMAT_4444) return FALSE;
    Put(m_word, 1, 14, static_cast<DWORD>(format));
    return TRUE;
}

BOOL WexalDCBOp::SetBCUIncrement(DWORD flag) { return PutFlag(m_word, 16, flag); }

BOOL WexalDCBOp::SetBCUSequence(BYTE sequence) {
    if (sequence >= 64) return FALSE;
    Put(m_word, 0x3F, 17, sequence);
    return TRUE;
}

BOOL WexalDCBOp::SetBCUPointer(WORD bcu) {
    if (bcu >= 4096) return FALSE;
    // The field holds the low 9 bits: BCU numbers from 512 up wrap round.
    Put(m_word, 0x1FF, 23, bcu);
    return TRUE;
}

BOOL WexalDCBOp::CopyFrom(const WexalDCBOp& other) {
    // Every setter runs, so each field that fits is copied even after a rejection.
    BOOL ok = TRUE;
    ok &= SetNext(static_cast<BYTE>(other.GetNext()));
    ok &= SetForceBCU(other.GetForceBCU());
    ok &= SetRepeatLine(other.GetRepeatLine());
    ok &= SetPack(other.GetPack());
    ok &= SetIntEn(other.GetIntEn());
    ok &= SetWaitDMA(other.GetWaitDMA());
    ok &= Set16bit(other.Get16bit());
    ok &= SetInputFormat(other.GetInputFormat());
    ok &= SetBCUIncrement(other.GetBCUIncrement());
    ok &= SetBCUSequence(static_cast<BYTE>(other.GetBCUSequence()));
    ok &= SetBCUPointer(static_cast<WORD>(other.GetBCUPointer()));
    return ok;
}

// ---- Port word ----

BOOL WexalDCBPort::SetContextID(BYTE id) {
    if (id >= 16) return FALSE;
    Put(m_word, 0xF, 0, id);
    return TRUE;
}

BOOL WexalDCBPort::SetSecondaryControl(BYTE control) {
    if (control >= 64) return FALSE;
    Put(m_word, 0x3F, 4, control);
    return TRUE;
}

BOOL WexalDCBPort::SetTag(WORD tag) {
    if (tag >= 4096) return FALSE;
    Put(m_word, 0xFFF, 16, tag);
    return TRUE;
}

BOOL WexalDCBPort::CopyFrom(const WexalDCBPort& other) {
    BOOL ok = TRUE;
    ok &= SetTag(static_cast<WORD>(other.GetTag()));
    ok &= SetContextID(static_cast<BYTE>(other.GetContextID()));
    ok &= SetSecondaryControl(static_cast<BYTE>(other.GetSecondaryControl()));
    return ok;
}

// ---- words 5-7 ----

ULONGLONG DCBPCIAddress::Set(DWORD low, DWORD high) {
    const ULONGLONG old = Get();
    m_words[1] = low;
    m_words[2] = high;
    return old;
}

BOOL WexalDCBARemap::GetSample(int i, DWORD* out) const {
    if (i < 0 || i > 15 || !out) return FALSE;
    *out = m_words[1 + i / 8] >> (4 * (i % 8)) & 0xF;
    return TRUE;
}

BOOL WexalDCBAAlpha::GetGain(int i, DWORD* out) const {
    static constexpr int kShift[6] = {0, 5, 10, 16, 21, 26};
    if (i < 0 || i > 15 || !out) return FALSE;
    *out = m_words[i / 6] >> kShift[i % 6] & 0x1F;
    return TRUE;
}

// ---- WexalDCB ----

WexalDCB::WexalDCB()
    : m_words{}, m_op(&m_words[0]), m_port(&m_words[1]), m_pciAddress(&m_words[5]), m_remap(&m_words[5]), m_alpha(&m_words[5]) {}

WexalDCB::WexalDCB(const WexalDCB& other) : WexalDCB() { std::memcpy(m_words, other.m_words, sizeof m_words); }

WexalDCB& WexalDCB::operator=(const WexalDCB& other) {
    std::memmove(m_words, other.m_words, sizeof m_words);
    return *this;
}

WexalDCB& WexalDCB::operator=(const RegisterPtr& image) {
    image.ReadBlock(m_words, kHardwareWords);
    return *this;
}

BOOL WexalDCB::CopyFrom(const WexalDCB& other) {
    BOOL ok = TRUE;
    ok &= m_op.CopyFrom(other.m_op);
    ok &= m_port.CopyFrom(other.m_port);
    SetStartAddress(other.GetStartAddress());
    ok &= SetInitialLineLength(static_cast<WORD>(other.GetInitialLineLength()));
    ok &= SetLineLength(static_cast<WORD>(other.GetLineLength()));
    ok &= SetLines(static_cast<WORD>(other.GetLines()));
    ok &= SetPad(static_cast<WORD>(other.GetPad()));
    return ok;
}

int WexalDCB::Clear() {
    std::memset(m_words, 0, sizeof m_words);
    return 0;
}

BOOL WexalDCB::SetGeometry(DWORD size, DWORD lineLength, DWORD lines, DWORD initial, int mode, BOOL is16bit) {
    Geometry(size, lineLength, lines, initial, mode, is16bit);
    const bool fits = lineLength <= 0xFFFF && initial <= 0xFFFF && lines <= kMaxLines;
    if (lines > kMaxLines) lines = kMaxLines;
    SetLineLength(static_cast<WORD>(lineLength));
    SetInitialLineLength(static_cast<WORD>(initial));
    SetLines(static_cast<WORD>(lines));
    const BOOL result = m_op.Set16bit(is16bit);
    return fits ? result : FALSE;
}

BOOL WexalDCB::SetGeometryForSize(DWORD size, BOOL is16bit) { return SetGeometry(size, 0, 0, 0, 2, is16bit); }

void CalcDCBGeometry(DWORD size, DWORD* lineLength, DWORD* lines, DWORD* initial, int mode, BOOL is16bit) {
    if (!lineLength || !lines || !initial) return;
    Geometry(size, *lineLength, *lines, *initial, mode, is16bit);
}

WexalDCB MakeFrameDCB(const WexalDCB& model, DWORD index, DWORD count, bool chained, WORD bcu, BYTE context,
                      DWORD lineLength, DWORD lines, DWORD address) {
    WexalDCB dcb = model;
    dcb.GetOpField().SetBCUPointer(bcu);
    dcb.GetOpField().SetNext(static_cast<BYTE>(chained ? (index + 1) % (count + 1) : 0));
    dcb.GetPortField().SetContextID(context);
    dcb.GetPortField().SetTag(static_cast<WORD>(index & 15));
    dcb.SetLineLength(static_cast<WORD>(lineLength));
    dcb.SetInitialLineLength(static_cast<WORD>(lineLength));
    dcb.SetLines(static_cast<WORD>(lines));
    dcb.SetStartAddress(address);
    return dcb;
}
