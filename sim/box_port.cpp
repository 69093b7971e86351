// The breakout-box port's message and LTC registers and their loops.
#include "sim/box_port.h"

namespace sim {

void BoxPort::Attach(RegisterMap& map) {
    for (uint32_t offset : {kStatus, kReply, kLtcIn, kLtcOut, kMessageLow, kMessageHigh}) map.Add(offset, offset + 4, this);
}

uint32_t BoxPort::Carry(bool ltc, uint32_t word) const {
    for (const BobLoopStuckBit& s : m_config.faults.bobLoopStuck) {
        if (s.ltc != ltc) continue;
        const uint32_t bit = 1u << s.bit;
        word = s.value ? word | bit : word & ~bit;
    }
    return word;
}

uint32_t BoxPort::Read(uint32_t offset) {
    switch (offset) {
    case kStatus: return kLtcOutIdle | (m_ltcInEmpty ? kLtcInEmpty : 0);
    case kReply: return m_reply;
    case kLtcIn: m_ltcInEmpty = true; return m_ltcIn;
    case kLtcOut: return m_ltcOut;
    case kMessageLow: return m_messageLow;
    case kMessageHigh: return m_messageHigh;
    default: return 0;
    }
}

void BoxPort::Write(uint32_t offset, uint32_t value) {
    switch (offset) {
    case kReply: m_reply = value; break;
    case kLtcIn: m_ltcIn = value; break;
    case kLtcOut:
        m_ltcOut = value & kLtcBits;
        if (Looped()) {
            m_ltcIn = Carry(true, m_ltcOut) & kLtcBits;
            m_ltcInEmpty = false;
        }
        break;
    case kMessageLow: m_messageLow = value; break;
    case kMessageHigh:
        m_messageHigh = value;
        if ((value & kSend) && Looped()) m_reply = Carry(false, m_messageLow);
        break;
    default: break;
    }
}

}  // namespace sim
