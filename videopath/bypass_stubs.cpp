// Placeholders for the bypass loopback bodies and the chip CRC checks until they are built.
#include "videopath/kerzil.h"
#include "videopath/sulveth.h"

DWORD CKerzil::TestBypass(DWORD, CString, Unpacked::Alpha::YCbCr_10_6*, Unpacked::Image::YCbCr_10_6*, DWORD, DWORD) {
    return 0;
}

void CKerzil::CheckCRCs(DWORD, Unpacked::Image::YCbCr_10_6*, Unpacked::Alpha::YCbCr_10_6*, DWORD) {}

DWORD CSulveth::TestBypass(DWORD, CString, Unpacked::Alpha::YCbCr_10_6*, Unpacked::Image::YCbCr_10_6*, DWORD, DWORD) {
    return 0;
}

void CSulveth::CheckCRCs(DWORD, Unpacked::Image::YCbCr_10_6*, Unpacked::Alpha::YCbCr_10_6*, DWORD) {}
