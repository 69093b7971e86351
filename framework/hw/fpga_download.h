// DownloadXilinx: configures one of the board's Xilinx FPGAs from an OXD image through the configuration register.
#pragma once

#include "devlib/register_window.h"
#include "platform/types.h"

class COxd;
class CTestBase;
class CWexalTestBase;

// BAR0 offset of the FPGA configuration register and its bits.
constexpr DWORD kFpgaConfigRegister = 0x4014;
constexpr DWORD kFpgaConfigStrobe = 0x100;       // with every data byte
constexpr DWORD kFpgaConfigChipSelect = 0x200;   // from the start of the data phase
constexpr DWORD kFpgaConfigProg = 0x400;         // holds the FPGA cleared
constexpr DWORD kFpgaConfigInit = 0x4000;        // read
constexpr DWORD kFpgaConfigDone = 0x8000;        // read
constexpr DWORD kFpgaConfigStrobeHigh = 0x800000;
constexpr int kFpgaConfigSelectShift = 16;       // bits 16-18 choose the FPGA

// Clocks the image's data into FPGA fpgaSelect (only its low three bits count) of the main board
// that test is bound to, with the PROG / INIT / DONE handshake, moving the host's progress bar every
// 2500 bytes. Red messages go through test's PrintColor. Answers 1 when INIT and DONE are both up
// at the end, 2 otherwise: an image without data (nothing written or printed), no main-board
// register window ("Invalid pBAR0"), INIT not falling or not rising within 100 ms, or INIT or
// DONE low after the trailing clocks. Every run that starts the handshake leaves the register
// holding only the select bits.
DWORD DownloadXilinx(DWORD fpgaSelect, CWexalTestBase* test, const COxd& image);

// The same download through the BAR0 window of a board of either kind, with the red messages
// going through printer; 2 without data or window (nothing printed).
DWORD DownloadXilinxThrough(DWORD fpgaSelect, RegisterPtr bar0, CTestBase& printer, const COxd& image);
