// Time stamps and deadlines on the performance counter of the platform clock.
#pragma once

#include "platform/types.h"

// A list of time stamps and one deadline. Its fields are public because callers read them
// directly, as they did the original: stamps are counter values, the deadline and the current
// count are counter values too.
class PEX_EXPORT CPerformanceList {
public:
    CPerformanceList() = default;
    CPerformanceList(const CPerformanceList&) = delete;
    CPerformanceList& operator=(const CPerformanceList&) = delete;
    ~CPerformanceList() { Clear(); }

    // Room for n stamps (earlier stamps are dropped). FALSE when n < 1.
    BOOL Init(int n);
    // Stores the counter as the next stamp while there is room; FALSE when full or not initialised.
    BOOL Keep();
    void Clear();
    int GetCount();
    // Stamp i; 0 for i outside the stamps taken.
    LONGLONG GetMark(int i);

    // Deadline = base + ms; the base is stamp `from`, or the counter now when from is -1.
    // Answers the deadline.
    LONGLONG SetMilliTimeout(DWORD ms, int from = -1);
    // Reads the counter into the current count; TRUE when it is past the deadline.
    BOOL IsTimeout();

    // Takes out of the last interval (from the first stamp to the last) the cost of `checks`
    // deadline tests made inside it, measured on the spot; the last stamp never moves before
    // the one ahead of it. Answers the cost of one check in counter ticks.
    LONGLONG AdjustForTimeoutChecks(DWORD checks);
    // Interval from stamp i to stamp j; 0 when either stamp is missing.
    LONGLONG GetNanoInterval(int i, int j);
    LONGLONG GetMicroInterval(int i, int j);
    // The interval as text with three decimals ("12.345") in microseconds or milliseconds; the
    // caller releases it with free().
    char* IncrementStringMicro3(int i, int j);
    char* IncrementStringMilli3(int i, int j);

    LONGLONG* m_next = nullptr;   // where the next stamp goes
    LONGLONG* m_end = nullptr;    // one past the last stamp
    int m_capacity = 0;
    int m_count = 0;
    LONGLONG* m_stamps = nullptr;
    LONGLONG m_deadline = 0;
    LONGLONG m_current = 0;

private:
    LONGLONG TicksBetween(int i, int j);
};
