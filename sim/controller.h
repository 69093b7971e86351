// The board controller (Jastel) of either board: its seven registers at BAR0 0x4000, the flash PROM and FPGA configuration port behind them, the BAR0 mirror of the flash's EXP and VPD areas.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sim/config_port.h"
#include "sim/flash_contents.h"
#include "sim/flash_prom.h"
#include "sim/register_map.h"
#include "sim/rig_config.h"

namespace sim {

// Registers (BAR0 byte offsets):
//   0x4000  board id, read-only: bits 0-7 0x52 main / 0x53 codec board, 8-15 the board's hardware
//           revision, 16-23 the controller's revision
//   0x4004  I2C bit-bang port: CO (bit 0) and DO (bit 2) are outputs; CI (bit 3) and DI (bit 1)
//           follow them, as on a bus that nothing else drives; 0xF after power-up
//   0x4008  flash word address, 22 bits (reads back masked)
//   0x400C  flash data: a write gives the chip one word at the address, a read the 32-bit pair at
//           the even address (low half the even word); either moves the address on by one word
//   0x4010  status and LEDs: read-only 0 breakout-box or loopback connector present, 1 and 2 clock
//           at the codec-port and expansion-port board link, 6 PCI Active and 7 PCIX (the booted
//           image: both for PCIX, 6 for PCI, neither for SAFE), 11 over-temperature, 12 flash STS
//           (ready), 16 PCIX tried, 17 PCI tried, 18 Safe tried; read/write LEDs 8, 9, 14, 15
//   0x4014  FPGA configuration port (ConfigPort)
//   0x4018  RAM clocks and power: every bit reads back as written, 0x1F after power-up
// and, read-only, BAR0 0x0000-0x1FFF the flash's EXP area and 0x2000-0x3FFF its VPD area (DWORD i
// of a half holds area words 2i and 2i + 1); on the main board the identification words of the
// keyer (0xBFC8) and the FPGA pair (0x1BFC8, 0x1FFC8) as the configuration port reports them.
//
// At power-up the flash comes from the rig's flash image file (created whole with the healthy
// contents when missing; one that may not be written is run on without keeping changes) or from
// the healthy contents, and the controller boots the first intact image of
// PCIX, PCI and SAFE. Each access to the flash data port takes kFlashAccessTicks of virtual time
// (a slow flash: its access time).
//
// A stuck bit of BID, I2C, FlashAddr, the status register or RAM reads as its value and acts so:
// the chip sees a stuck address bit, a stuck CO or DO drives its line (CI or DI follows), a stuck
// CI or DI is a line held by something else, a stuck RAM bit gates what that bit gates.
class BoardController : public RegisterBlock {
public:
    static constexpr uint32_t kBoardId = 0x4000, kI2c = 0x4004, kFlashAddress = 0x4008, kFlashData = 0x400C;
    static constexpr uint32_t kStatus = 0x4010, kFpga = 0x4014, kRam = 0x4018, kEnd = 0x4020;
    static constexpr uint32_t kMirrorEnd = 0x4000;
    static constexpr uint32_t kKeyerId = 0xBFC8, kPairAId = 0x1BFC8, kPairBId = 0x1FFC8;
    static constexpr uint32_t kHardwareRevision = 0x04, kControllerRevision = 0x21;
    static constexpr uint32_t kLedBits = 0xC300;
    static constexpr uint32_t kRamPowerUp = 0x1F;
    static constexpr int64_t kFlashAccessTicks = 4;  // 400 ns, a PCI register access

    explicit BoardController(const BoardConfig& config);

    // Claims the controller's registers, the mirror and the identification words in map.
    void Attach(RegisterMap& map);

    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;
    // The mirror at once from the flash's words; the other registers one by one.
    void ReadBlock(uint32_t offset, uint32_t* out, size_t count) override;

    FlashProm& Flash() { return m_flash; }
    ConfigPort& Fpgas() { return m_fpgas; }
    uint32_t RamRegister() const { return m_ram; }
    BootImage Booted() const { return m_boot; }
    // The OXD header text of the booted image, from its identification record: the board's
    // information text. Empty when the segment holds no record.
    const std::string& InfoText() const { return m_infoText; }
    // The flash image file could not be used, so the board has no flash the rig can stand by: why;
    // else empty.
    const std::string& FlashError() const { return m_flashError; }

    // Drives the over-temperature bit (the temperature sensor's alarm).
    void SetOverTemperatureSource(std::function<bool()> source) { m_overTemperature = std::move(source); }
    // A port's (1 codec, 2 expansion) board-link FPGA (device 3, 4) is configured and its clock
    // enable (RAM bit 3, 4) is on: the link sends its clock.
    bool PortEnabled(int port);
    // Drives a port's clock-present bit. The clock comes back over a loopback plug (the rig file's
    // "loopback") while the port is enabled; a cable's wiring sets a source that asks both ends.
    // Nothing attached: no clock.
    void SetPortClockSource(int port, std::function<bool()> source);

private:
    uint32_t Status();
    bool PortClock(int port);
    // The value with the register's stuck bits forced (offset one of the controller's registers).
    uint32_t Stuck(uint32_t offset, uint32_t v) const;
    void FlashAccess();
    // The address register counts from what it holds, stuck bits included: the chip sees that address.
    void SetFlashAddress(uint32_t a) { m_flashAddress = Stuck(kFlashAddress, a) & (FlashProm::kWords - 1); }
    bool FloatingSts();

    BoardConfig m_config;
    FlashProm m_flash;
    ConfigPort m_fpgas;
    BootImage m_boot = BootImage::Pcix;
    std::string m_infoText;
    std::string m_flashError;
    uint32_t m_i2c = 0x5;  // CO and DO high
    uint32_t m_flashAddress = 0;
    uint32_t m_led = 0;
    uint32_t m_ram = kRamPowerUp;
    uint32_t m_stuckSet[8] = {}, m_stuckClear[8] = {};  // by register, (offset - 0x4000) / 4
    uint32_t m_accessCarryNs = 0;                         // access time not yet a whole clock tick
    uint64_t m_stsState = 0;                              // floating STS: generator state
    int m_stsRun = 0;                                     // reads in a row that gave the same value
    bool m_stsLast = false;
    std::function<bool()> m_overTemperature;
    std::function<bool()> m_portClock[2];
};

}  // namespace sim
