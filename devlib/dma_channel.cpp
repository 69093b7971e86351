// DMA channel records.
#include "devlib/dma_channel.h"

CWexalDMAChannel::CWexalDMAChannel(int channel, CRegisterWindow* window)
    : m_channel(static_cast<DWORD>(channel & 63)),
      m_window(window),
      m_dcbOffset(kDcbBase + 0x200 * m_channel),
      m_flushOffset(kFlushBase + 4 * m_channel),
      m_triggerOffset(kTriggerBase + 4 * m_channel) {}

BOOL CWexalDMAChannel::Flush() {
    if (!m_window) return FALSE;
    m_window->Write(m_flushOffset, 1);
    return TRUE;
}

BOOL CWexalDMAChannel::SetDCBWords(int n, const DWORD* words) {
    if (!m_window || !words || n < 0 || n > 15) return FALSE;
    RegisterPtr(m_window, m_dcbOffset + 0x20 * static_cast<DWORD>(n)).WriteBlock(words, 8);
    return TRUE;
}

BOOL CWexalDMAChannel::GetDCBWords(int n, DWORD* words) {
    if (!m_window || !words || n < 0 || n > 15) return FALSE;
    RegisterPtr(m_window, m_dcbOffset + 0x20 * static_cast<DWORD>(n)).ReadBlock(words, 8);
    return TRUE;
}

BOOL CWexalDMAChannel::SetDCB(int n, const WexalDCB* dcb) { return SetDCBWords(n, reinterpret_cast<const DWORD*>(dcb)); }

BOOL CWexalDMAChannel::GetDCB(int n, WexalDCB* dcb) { return GetDCBWords(n, reinterpret_cast<DWORD*>(dcb)); }

void CWexalDMAChannel::Trigger(int value) {
    if (m_window) m_window->Write(m_triggerOffset, static_cast<DWORD>(value));
}
