// The breakout box's command conduit: byte code to the box and back on the performance counter's clock.
#include "devlib/devices.h"
#include "platform/clock.h"
#include "sim/breakout_box.h"
#include "yorbflow/yorb_command.h"

CZorvDevice::PARRTNTYPE CYorbFlowConduitDevice::DoYorbCommand(YorbFlow::YorbCommand&, YorbFlow::YorbCommand*, DWORD, void*) {
    return PAR_NOT_CONNECTED;
}

BOOL CYorbFlowDevice::YorbFlowInit() {
    if (!m_canOpen) return FALSE;
    return m_box ? (m_box->Open() ? TRUE : FALSE) : TRUE;
}

CZorvDevice::PARRTNTYPE CYorbFlowDevice::Exchange(const std::vector<BYTE>& code, std::vector<BYTE>& reply) {
    // A loopback cable joins the box's video output to its input: nothing answers commands.
    if (!m_box || !m_box->LinkUp()) return PAR_NOT_CONNECTED;
    m_box->Send(code.data(), code.size());
    CPerformanceList timer;
    timer.SetMilliTimeout(kCommandTimeoutMs);
    while (!m_box->Receive(reply)) {
        if (timer.IsTimeout()) return PAR_RECEIVE_TIMEOUT;
        Sleep(1);
    }
    return PAR_SUCCESS;
}

CZorvDevice::PARRTNTYPE CYorbFlowDevice::DoYorbCommand(YorbFlow::YorbCommand& command, YorbFlow::YorbCommand* reply, DWORD, void*) {
    // Whatever the command: a cable does not take it, a box without its link never sees it.
    if (!m_box || !m_box->LinkUp()) return PAR_NOT_CONNECTED;
    const int result = YorbFlow::YorbCommandFactory::Transact(
        command, reply, [this](const YorbFlow::YorbCommandByteCode& code, YorbFlow::YorbCommandByteCode& answer) {
            return static_cast<int>(Exchange(code.Bytes(), answer.Bytes()));
        });
    return static_cast<PARRTNTYPE>(result);
}
