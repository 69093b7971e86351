// The breakout-box port's message and LTC registers, looped back by a loopback cable on the connector.
#pragma once

#include <cstdint>

#include "sim/register_map.h"
#include "sim/rig_config.h"

namespace sim {

// Registers (BAR0 byte offsets):
//   0x80000  port status, read-only: bit 10 LTC output idle (always: a word leaves at once), bit 14
//            LTC input empty (clear from the arrival of a word until its register is next read)
//   0x80210  message reply: the box's (or the loop's) answer; reads back as written
//   0x80218  LTC input: the last LTC word received; reads back as written
//   0x80340  LTC output: a write sends the word (bits 0-30)
//   0x80380  message low word (MSG-LO), read/write
//   0x80384  message high word (MSG-HI): a write with bit 31 sends MSG-LO
// With a loopback cable on the connector (and its link up) a message comes straight back as the
// reply and an LTC word as the LTC input, well within a millisecond. The breakout box answers
// neither register this way and nothing else drives them, so otherwise they keep what they hold.
// A stuck line of a loop holds its bit in every word it carries.
class BoxPort : public RegisterBlock {
public:
    static constexpr uint32_t kStatus = 0x80000, kReply = 0x80210, kLtcIn = 0x80218, kLtcOut = 0x80340;
    static constexpr uint32_t kMessageLow = 0x80380, kMessageHigh = 0x80384;
    static constexpr uint32_t kLtcOutIdle = 1u << 10, kLtcInEmpty = 1u << 14;
    static constexpr uint32_t kSend = 0x80000000, kLtcBits = 0x7FFFFFFF;

    explicit BoxPort(const BoardConfig& config) : m_config(config) {}
    void Attach(RegisterMap& map);

    uint32_t Read(uint32_t offset) override;
    void Write(uint32_t offset, uint32_t value) override;

private:
    bool Looped() const { return m_config.loopbackCable && !m_config.faults.box.linkDown; }
    uint32_t Carry(bool ltc, uint32_t word) const;

    const BoardConfig& m_config;
    uint32_t m_reply = 0, m_ltcIn = 0, m_ltcOut = 0, m_messageLow = 0, m_messageHigh = 0;
    bool m_ltcInEmpty = true;
};

}  // namespace sim
