// SCRport: the address lines of the keyer's ZBT RAM, each tested location written with its own address.
#include "diagport/port_colours.h"
#include "diagport/port_dma.h"
#include "diagport/scr_port.h"

namespace {

constexpr DWORD kRam = 0x4018, kRamClock = 1u << 2, kKeyerId = 0xBFC8;
constexpr DWORD kAddress = 0x9BC4, kWriteData = 0x9B84, kReadData = 0x9BCC;

}  // namespace

DWORD SCRport::KerzilZBTAddressTest(CString, int) {
    PrintColor("----------------------------------------------\n", kColorBlack);
    PrintColor("Kerzil ZBT ADDR Test Started: ", kColorBlue);
    PrintDateTime(kColorBlue);
    PrintColor("\n", kColorBlue);
    const RegisterPtr bar0 = m_boardIF.GetMainBoardRegisters();
    if (!bar0) {
        PrintColor("BrimolaBAR0 not setup or Brimola not found in system", kColorRed);
        return kRunFailed;
    }
    bar0[kRam / 4] = bar0[kRam / 4] | kRamClock;
    if ((bar0[kKeyerId / 4] >> 20) == 0xFFF) {
        PrintColor("ERROR: Kerzil has not been downloaded\n", kColorDarkRed);
        return kRunFailed;
    }
    DWORD errors = 0;
    // Reads each address back; false once the error count passes the limit (after the message).
    const auto check = [&](DWORD first, DWORD last, DWORD step) {
        for (DWORD a = first; a <= last; a += step) {
            bar0[kAddress / 4] = a;
            const DWORD word = bar0[kReadData / 4];
            if (word == a) continue;
            PrintColor(FormatString("Consecutive Data readback failed @0x%x, expected: 0x%X read: 0x%X\n", a, a, word), kColorDarkRed);
            if (++errors > static_cast<DWORD>(m_AbortCount)) {
                PrintColor(FormatString("Failure Count exceeded %d, ABORTING...\n", errors), kColorDarkRed);
                return false;
            }
        }
        return true;
    };
    // The keyer advances the address by 2 after each data write.
    bar0[kAddress / 4] = 0;
    for (DWORD a = 0; a <= 0xFFE; a += 2) bar0[kWriteData / 4] = a;
    PrintColor("\nAll data written, now read back and check all data\n", kColorBlack);
    if (!check(0, 0xFFE, 2)) return kRunFailed;
    PrintColor("Write the rest of the address space, testing upper addr bits\n", kColorBlack);
    for (DWORD a = 0x1000; a <= 0x7F000; a += 0x1000) {
        bar0[kAddress / 4] = a;
        bar0[kWriteData / 4] = a;
    }
    PrintColor("\nAll data written, now read back and check all data\n", kColorBlack);
    if (!check(0x1000, 0x7F000, 0x1000)) return kRunFailed;
    if (errors) return kRunFailed;
    PrintColor("Entire ZBT RAM Read SUCCESSFULLY\n", portdma::kGreen);
    return kRunPassed;
}
