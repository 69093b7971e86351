// Configuration port model: the PROG, INIT and DONE handshake of each FPGA and the check of the streams clocked into it.
#include "sim/config_port.h"

#include "platform/clock.h"

namespace sim {

ConfigPort::ConfigPort(BoardKind kind, const ConfigPortFaults& faults) : m_faults(faults) {
    for (int d = 0; d < kDevices; ++d) m_dev[d].present = kind == BoardKind::Brimola || d >= 3;
}

const ConfigDeviceFault* ConfigPort::Fault(int device, ConfigDeviceFault::Kind kind) const {
    for (const auto& f : m_faults.devices)
        if (f.device == device && f.kind == kind) return &f;
    return nullptr;
}

bool ConfigPort::Present(int device) const { return device >= 0 && device < kDevices && m_dev[device].present; }

int ConfigPort::Code(uint32_t value) const {
    uint32_t code = value >> kCodeShift & 7;
    for (const auto& s : m_faults.codeStuck) code = s.value ? code | 1u << s.bit : code & ~(1u << s.bit);
    return static_cast<int>(code);
}

bool ConfigPort::Init(int device) const {
    if (!Present(device)) return false;
    const Device& d = m_dev[device];
    if (d.prog || d.crcError || Fault(device, ConfigDeviceFault::Kind::InitNeverRises)) return false;
    return platform::NowTicks() >= d.initRiseAt;
}

bool ConfigPort::Done(int device) { return Configured(device); }

bool ConfigPort::Configured(int device) { return Present(device) && m_dev[device].configured; }

uint32_t ConfigPort::IdWord(int device) { return Configured(device) ? m_dev[device].idWord : 0xFFFFFFFF; }

bool ConfigPort::InReset(int device) const {
    return (device == 3 || device == 4) && Present(device) && static_cast<int>(m_latch >> kCodeShift & 7) == device &&
           (m_latch & kChipSelect);
}

uint32_t ConfigPort::Read() {
    const int code = static_cast<int>(m_latch >> kCodeShift & 7);
    uint32_t v = m_latch;
    if (Init(code)) v |= kInit;
    if (Done(code)) v |= kDone;
    return v;
}

void ConfigPort::Write(uint32_t value) {
    const int code = Code(value);
    m_latch = (value & (kData | kChipSelect | kProg)) | static_cast<uint32_t>(code) << kCodeShift;
    const int64_t now = platform::NowTicks();
    auto release = [&](Device& d) {
        d.prog = false;
        d.initRiseAt = now + kInitRiseMicros * (kPerfFrequency / 1'000'000);
    };
    for (int d = 0; d < kDevices; ++d)
        if (d != code && m_dev[d].prog) release(m_dev[d]);
    if (!Present(code)) return;
    Device& d = m_dev[code];
    // An FPGA whose INIT never falls does not see PROG at all and keeps what it holds.
    if ((value & kProg) && !Fault(code, ConfigDeviceFault::Kind::InitNeverFalls)) {
        if (!d.prog) {
            d.prog = true;
            d.configured = false;
            d.crcError = false;
            d.idWord = 0xFFFFFFFF;
            d.stream.reset();
        }
        return;
    }
    if (d.prog) release(d);
    if ((value & kChipSelect) && (value & (kStrobe | kStrobeHigh)) && Init(code)) Clock(code, static_cast<uint8_t>(value & kData));
}

void ConfigPort::Clock(int device, uint8_t byte) {
    Device& d = m_dev[device];
    if (d.configured || d.crcError) return;
    if (!d.stream) d.stream.emplace(device);
    const BitstreamChecker::State st = d.stream->Push(byte);
    if (const ConfigDeviceFault* f = Fault(device, ConfigDeviceFault::Kind::CrcError)) {
        // The error shows at byte `at`, or at the end of a shorter stream.
        if (d.stream->Received() == uint64_t{f->at} + 1 || st != BitstreamChecker::State::Receiving) {
            d.crcError = true;
            return;
        }
    }
    if (st == BitstreamChecker::State::Error) {
        d.crcError = true;
    } else if (st == BitstreamChecker::State::Complete && d.stream->ClocksAfterEnd() >= Bitstream::kStartupClocks &&
               !Fault(device, ConfigDeviceFault::Kind::DoneStaysLow)) {
        d.configured = true;
        ++d.configurations;
        d.idWord = d.stream->IdWord();
    }
}

}  // namespace sim
