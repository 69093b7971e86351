// The SDRAM behind the main FPGA: lazily allocated cells, host windows, and stuck, aliased and flipping bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <utility>
#include <vector>

#include "sim/rig_config.h"

namespace sim {

// Copies len bytes with every 32-bit word from the start ANDed with mask (all ones: a plain copy);
// bytes after the last whole word are copied as they are. With stream set the stores bypass the
// cache where the CPU can (64 bytes a store where it has them and `to` is 64-byte aligned), for
// data that is not read again soon. to may be from: a mask in place.
void CopyWords(uint8_t* to, const uint8_t* from, size_t len, uint32_t mask, bool stream);

// Byte-addressed memory of `size` bytes. The cells are one anonymous mapping, so untouched memory
// costs nothing. A healthy model moves data with memcpy and hands out pointers straight into the
// cells; once a fault is set, every path (Read, Write, windows) goes through the fault model.
class SdramModel {
public:
    explicit SdramModel(uint64_t size);
    ~SdramModel();
    SdramModel(const SdramModel&) = delete;
    SdramModel& operator=(const SdramModel&) = delete;

    uint64_t Size() const { return m_size; }
    bool IsValid() const { return m_cells != nullptr; }

    void SetFaults(const std::vector<SdramStuckBit>& stuck, const std::vector<SdramAlias>& alias,
                   const std::vector<SdramFlips>& flips);
    bool HasFaults() const { return m_faulted; }

    // Memory clock margin: while false (the clock runs outside the memory's timing window) reads
    // deliver wrong bits in about one word of eight, differently on every read; the cells keep what
    // was written. The memory clock model sets it.
    void SetTimingMargin(bool ok);
    bool TimingMargin() const { return m_timingOk; }

    // Bytes moved; short (possibly 0) when the range runs past the end of the memory.
    size_t Read(uint64_t addr, void* dst, size_t len);
    // Called before every Read: the FPGA brings the DMA transfers up to date, so a read sees what
    // they have written by then whether or not anyone polled their status.
    void SetBeforeRead(std::function<void()> hook) { m_beforeRead = std::move(hook); }
    size_t Write(uint64_t addr, const void* src, size_t len);

    // A host pointer onto [addr, addr + len), or null outside the memory. Writes through the latest
    // window reach the cells at each Commit, which every new window and the flush register make
    // first, and before any other access to the cells they changed. Pointers stay valid for the
    // model's life. While faults are set a
    // window is a view that is read again wherever the cells behind it change (writes, DMA, the
    // commit itself), so it shows the memory as it is, faults included.
    uint8_t* Map(uint64_t addr, size_t len);
    void Commit();
    // The cells [addr, addr + len) as a Read of them now would deliver them, to be read in place of
    // a copy until the next access to the memory; null outside the memory and while faults are set
    // (reads then go through the fault model, and a view would read differently from a Read).
    const uint8_t* ReadView(uint64_t addr, size_t len);

private:
    size_t Clip(uint64_t addr, size_t len) const;
    uint64_t Translate(uint64_t addr) const;
    uint64_t RunEnd(uint64_t addr) const;  // end of the aligned run that maps contiguously
    void ReadFaulted(uint64_t addr, uint8_t* dst, size_t len);
    // refresh: bring the windows onto the written cells up to date at once.
    void WriteFaulted(uint64_t addr, const uint8_t* src, size_t len, bool refresh = true);
    void RefreshImages(uint64_t addr, size_t len);
    // Calls fn(lo, hi) for each address range that shares cells with [addr, addr + len), itself included.
    template <class Fn>
    void ForEachImage(uint64_t addr, size_t len, Fn&& fn) const;
    // Commit for the cells [addr, addr + len) reaches, wherever the latest window shows them.
    void CommitRange(uint64_t addr, size_t len);
    // The runs [i, j) of the latest window's bytes in [from, to) that differ from its record.
    void FindChanged(size_t from, size_t to, std::vector<std::pair<size_t, size_t>>& changed) const;
    void Land(const std::vector<std::pair<size_t, size_t>>& changed);
    void RefreshView(uint64_t addr, uint64_t end);
    void AddMapped(uint64_t addr, uint64_t end);
    void ApplyStuck(uint8_t* buf, uint64_t phys, size_t len) const;
    void ApplyFlips(uint8_t* buf, uint64_t phys, size_t len);
    uint64_t NextGap(const SdramFlips& f);
    void ApplyTimingErrors(uint8_t* buf, uint64_t phys, size_t len);
    void UpdateFaulted();
    void NoteWarm(uint64_t addr, size_t len);
    void Populate(uint64_t addr, size_t len);

    uint64_t m_size = 0;
    uint8_t* m_cells = nullptr;
    uint8_t* m_view = nullptr;  // the host's view while faults are set
    bool m_faulted = false;
    int m_runShift = 63;
    std::vector<SdramStuckBit> m_stuck;
    std::vector<SdramAlias> m_alias;
    std::vector<SdramFlips> m_flips;
    std::vector<std::mt19937_64> m_flipRng;
    std::vector<uint64_t> m_untilFlip;  // words still to read before the next flip, per flip fault
    bool m_timingOk = true;
    uint64_t m_timingReads = 0;  // varies the failing words from one read to the next
    // The latest window: what it held when last brought up to date, so that a Commit writes only
    // the bytes the host changed since.
    bool m_pending = false;
    uint64_t m_pendingAddr = 0;
    std::vector<uint8_t> m_snapshot;
    std::map<uint64_t, uint64_t> m_mapped;  // disjoint ranges of the view handed out, start -> end
    uint64_t m_aliasLines = 0;              // address lines some alias fault drives
    std::function<void()> m_beforeRead;
    // The last range read or handed out, while short enough to be in the cache still.
    uint64_t m_warmAddr = 0;
    uint64_t m_warmEnd = 0;
    std::vector<bool> m_populated;  // per block of cells, whether its pages were faulted in at once
};

}  // namespace sim
