// Time stamps and deadlines.
#include "devlib/perf_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"

BOOL CPerformanceList::Init(int n) {
    Clear();
    if (n < 1) return FALSE;
    m_stamps = static_cast<LONGLONG*>(std::calloc(static_cast<size_t>(n), sizeof(LONGLONG)));
    if (!m_stamps) return FALSE;
    m_capacity = n;
    m_next = m_stamps;
    m_end = m_stamps + n;
    return TRUE;
}

BOOL CPerformanceList::Keep() {
    if (!m_next || m_next >= m_end) return FALSE;
    QueryPerformanceCounter(m_next);
    ++m_next;
    m_count = static_cast<int>(m_next - m_stamps);
    return TRUE;
}

void CPerformanceList::Clear() {
    std::free(m_stamps);
    m_stamps = m_next = m_end = nullptr;
    m_capacity = m_count = 0;
    m_deadline = m_current = 0;
}

int CPerformanceList::GetCount() {
    m_count = m_stamps ? static_cast<int>(m_next - m_stamps) : 0;
    return m_count;
}

LONGLONG CPerformanceList::GetMark(int i) {
    if (i < 0 || i >= m_capacity) return 0;
    if (i >= m_count && i >= GetCount()) return 0;
    return m_stamps[i];
}

LONGLONG CPerformanceList::SetMilliTimeout(DWORD ms, int from) {
    LONGLONG base = 0;
    if (from >= 0 && from < GetCount()) base = m_stamps[from];
    else QueryPerformanceCounter(&base);
    LONGLONG freq = 0;
    QueryPerformanceFrequency(&freq);
    m_deadline = base + static_cast<LONGLONG>(ms) * freq / 1000;
    return m_deadline;
}

BOOL CPerformanceList::IsTimeout() {
    QueryPerformanceCounter(&m_current);
    return m_current > m_deadline;
}

LONGLONG CPerformanceList::AdjustForTimeoutChecks(DWORD checks) {
    // Measure what one deadline test costs, on a scratch deadline so the real one stays.
    const LONGLONG saved = m_deadline, savedCurrent = m_current;
    constexpr int kProbe = 64;
    LONGLONG t0 = 0, t1 = 0;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < kProbe; ++i) (void)IsTimeout();
    QueryPerformanceCounter(&t1);
    m_deadline = saved;
    m_current = savedCurrent;
    const LONGLONG perCheck = (t1 - t0) / kProbe;
    const int n = GetCount();
    if (n >= 2) {
        const LONGLONG cut = perCheck * static_cast<LONGLONG>(checks);
        LONGLONG& last = m_stamps[n - 1];
        last = last - cut < m_stamps[n - 2] ? m_stamps[n - 2] : last - cut;
    }
    return perCheck;
}

LONGLONG CPerformanceList::TicksBetween(int i, int j) {
    const int n = GetCount();
    if (i < 0 || j < 0 || i >= n || j >= n) return 0;
    return m_stamps[j] - m_stamps[i];
}

LONGLONG CPerformanceList::GetNanoInterval(int i, int j) {
    LONGLONG freq = 0;
    QueryPerformanceFrequency(&freq);
    return freq ? TicksBetween(i, j) * 1'000'000'000 / freq : 0;
}

LONGLONG CPerformanceList::GetMicroInterval(int i, int j) {
    LONGLONG freq = 0;
    QueryPerformanceFrequency(&freq);
    return freq ? TicksBetween(i, j) * 1'000'000 / freq : 0;
}

namespace {

char* ThreeDecimals(LONGLONG thousandths) {
    char buf[48];
    const char* sign = thousandths < 0 ? "-" : "";
    const unsigned long long v = static_cast<unsigned long long>(thousandths < 0 ? -thousandths : thousandths);
    std::snprintf(buf, sizeof buf, "%s%llu.%03llu", sign, v / 1000, v % 1000);
    char* out = static_cast<char*>(std::malloc(std::strlen(buf) + 1));
    if (out) std::strcpy(out, buf);
    return out;
}

}  // namespace

char* CPerformanceList::IncrementStringMicro3(int i, int j) { return ThreeDecimals(GetNanoInterval(i, j)); }

char* CPerformanceList::IncrementStringMilli3(int i, int j) { return ThreeDecimals(GetMicroInterval(i, j)); }
