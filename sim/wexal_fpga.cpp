// Wexal FPGA model: register blocks switched on offset, in the manner of a small device model.
#include "sim/wexal_fpga.h"

#include <functional>

#include "sim/dma_routes.h"
#include "sim/dsk_compositor.h"
#include "sim/host_memory.h"

namespace sim {

// One register block defined by two functions; enough for the small blocks of this FPGA.
class WexalFpga::Block : public RegisterBlock {
public:
    Block(std::function<uint32_t(uint32_t)> read, std::function<void(uint32_t, uint32_t)> write)
        : m_read(std::move(read)), m_write(std::move(write)) {}
    uint32_t Read(uint32_t offset) override { return m_read(offset); }
    void Write(uint32_t offset, uint32_t value) override { m_write(offset, value); }

private:
    std::function<uint32_t(uint32_t)> m_read;
    std::function<void(uint32_t, uint32_t)> m_write;
};

WexalFpga::WexalFpga(const BoardConfig& config, HostMemory& host, const DmaTiming& timing)
    : m_config(config), m_sdram(config.sdramBytes), m_dma(m_dcbs, m_bcus, m_sdram, host, timing) {
    const auto& faults = config.faults;
    m_sdram.SetFaults(faults.sdramStuck, faults.sdramAlias, faults.sdramFlips);
    m_sdram.SetBeforeRead([this] { m_dma.ObserveAll(); });
    m_dcbs.Configure(config.revision, faults.registerStuck, faults.registerAlias);
    m_bcus.Configure(config.revision, faults.registerStuck, faults.registerAlias);
    m_dma.ApplyFaults(faults);

    m_dma.SetEndpoint(16, std::make_shared<PciEndpoint>(true));
    m_dma.SetEndpoint(17, std::make_shared<PciEndpoint>(true));
    m_dma.SetEndpoint(12, std::make_shared<PciEndpoint>(false));
    m_dma.SetEndpoint(13, std::make_shared<PciEndpoint>(false));
    auto vutil = std::make_shared<StreamLink>(38, 57);
    m_dma.SetEndpoint(38, vutil);
    m_dma.SetEndpoint(57, vutil);

    auto add = [this](uint32_t begin, uint32_t end, std::function<uint32_t(uint32_t)> r,
                      std::function<void(uint32_t, uint32_t)> w) {
        m_blocks.push_back(std::make_unique<Block>(std::move(r), std::move(w)));
        m_map.Add(begin, end, m_blocks.back().get());
    };

    auto core = std::make_shared<std::array<uint32_t, 3>>(std::array<uint32_t, 3>{0, 0x60, 0});  // 0x40060, 0x48044, 0x48048
    add(kCoreBase, kCoreBase + 0x10000,
        [this, core](uint32_t off) -> uint32_t {
            switch (off) {
            case kCoreBase: return m_config.revision & 0xFFF;
            case 0x40060: return (*core)[0];
            case 0x48044: return (*core)[1];
            case 0x48048: return (*core)[2];
            default: return 0;
            }
        },
        [this, core](uint32_t off, uint32_t v) {
            switch (off) {
            case 0x40004: m_sdram.Commit(); break;
            case 0x40060: (*core)[0] = v; break;
            case 0x48044: (*core)[1] = v; break;
            case 0x48048: (*core)[2] = v; break;
            default: break;
            }
        });

    add(kControlBase, kControlBase + 0x8000,
        [this](uint32_t off) -> uint32_t {
            if (off >= kControlBase && off < kControlBase + 0x100) return m_dma.Control(static_cast<int>((off - kControlBase) / 4));
            if (off == kPresentLow) return PresentMask(0);
            if (off == kPresentHigh) return PresentMask(1);
            return 0;
        },
        [this](uint32_t off, uint32_t v) {
            if (off >= kControlBase && off < kControlBase + 0x100) m_dma.WriteControl(static_cast<int>((off - kControlBase) / 4), v);
            else if (off >= kTriggerBase && off < kTriggerBase + 0x100) m_dma.Trigger(static_cast<int>((off - kTriggerBase) / 4), v);
            else if (off >= kFlushBase && off < kFlushBase + 0x100)
                m_dma.Flush(static_cast<int>((off - kFlushBase) / 4));
        });

    add(DcbStore::kBase, DcbStore::kBase + 0x8000,
        [this](uint32_t off) {
            const uint32_t i = (off - DcbStore::kBase) / 4;
            const int c = static_cast<int>(i / 128), d = static_cast<int>(i / 8 % 16), w = static_cast<int>(i % 8);
            if (d == 0) m_dma.Observe(c);
            return m_dcbs.Read(c, d, w);
        },
        [this](uint32_t off, uint32_t v) {
            const uint32_t i = (off - DcbStore::kBase) / 4;
            m_dcbs.Write(static_cast<int>(i / 128), static_cast<int>(i / 8 % 16), static_cast<int>(i % 8), v);
        });

    add(BcuStore::kBase, BcuStore::kBase + 16 * kBcus,
        [this](uint32_t off) {
            const uint32_t i = (off - BcuStore::kBase) / 4;
            return m_bcus.Read(static_cast<int>(i / 4), static_cast<int>(i % 4));
        },
        [this](uint32_t off, uint32_t v) {
            const uint32_t i = (off - BcuStore::kBase) / 4;
            m_bcus.Write(static_cast<int>(i / 4), static_cast<int>(i % 4), v);
        });

    // Memory clock: its step registers, and the stored clock word taking over that one DCB word.
    m_memClock = std::make_unique<MemoryClock>(config, m_sdram);
    m_map.Add(MemoryClock::kStepDown, MemoryClock::kStepUp + 4, m_memClock.get());
    m_map.Add(MemoryClock::kStoredWord, MemoryClock::kStoredWord + 4, m_memClock.get());

    m_dsk = std::make_shared<DskCompositor>();
    for (int c : {DskCompositor::kForeground, DskCompositor::kBackground, DskCompositor::kOutput}) m_dma.SetEndpoint(c, m_dsk);
    m_dsk->Attach(m_map);
}

WexalFpga::~WexalFpga() = default;

}  // namespace sim
