// The Wexal FPGA's memory clock: a stepped setting, the window in which the SDRAM reads reliably, and the stored clock word.
#pragma once

#include <cstdint>
#include <string>

#include "sim/register_map.h"
#include "sim/rig_config.h"

namespace sim {

class SdramModel;

// What a memory clock store file holds. The store only ever holds the clock word as text
// ("0x000000A0" as the board writes it, or a decimal number), so a file that holds anything else is
// some other file, which the board must not write over.
struct ClockStoreContents {
    enum class Kind {
        Absent,      // no such file: a board never calibrated
        Empty,       // no word in it (nothing but blanks)
        Word,        // word is the clock word
        Other,       // something other than one clock word
        Unreadable,  // text says why
    };
    Kind kind = Kind::Absent;
    uint32_t word = 0;
    std::string text;  // Empty, Other: the first blank-separated word of the file (cut short)
};
// Reads the store at path (not a FIFO or device: those read as Other), at most 256 bytes of it
// whatever its size: a file of 256 bytes or more is Other, whatever they are.
ClockStoreContents ReadClockStore(const std::string& path);

// Registers (BAR0 byte offsets):
//   0x7F004  any write: the setting one step up (stops at 255)
//   0x7F000  any write: the setting one step down (stops at 0)
//   0x613E0  the stored clock word (word 0 of DCB 15 of channel 9, which no DMA uses): read/write,
//            kept in the rig's store file when it names one, so it survives a power cycle
// The setting has no read-back: both step registers read 0. At power-up the setting is the stored
// word when that is a setting (1-255), else kPowerUpSetting.
class MemoryClock : public RegisterBlock {
public:
    static constexpr uint32_t kStepDown = 0x7F000, kStepUp = 0x7F004, kStoredWord = 0x613E0;
    static constexpr int kPowerUpSetting = 160;

    MemoryClock(const BoardConfig& config, SdramModel& sdram);

    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;

    int Setting() const { return m_setting; }
    // The settings at which the SDRAM reads reliably (faults applied); empty when low > high.
    int WindowLow() const { return m_low; }
    int WindowHigh() const { return m_high; }
    bool InWindow() const { return m_setting >= m_low && m_setting <= m_high; }
    uint32_t StoredWord() const { return m_stored; }

private:
    void Step(int delta);
    void Save() const;

    SdramModel& m_sdram;
    std::string m_store;
    std::string m_storeRole;  // what the store is to the run's protected files
    int m_low = 0, m_high = -1;
    int m_setting = kPowerUpSetting;
    uint32_t m_stored = 0;
};

}  // namespace sim
