// Benchmark: report text with colour mark-up printed through the result screen into a host control.
#include <benchmark/benchmark.h>

#include <string>

#include "framework/result_screen.h"
#include "framework/test_base.h"

namespace {

// A control that keeps its text and line count the way a host's model would, without rendering.
class BenchRichEdit : public CRichEditCtrl {
public:
    long GetTextLength() const override { return static_cast<long>(m_text.size()); }
    void GetSel(long& start, long& end) const override { start = m_start; end = m_end; }
    void SetSel(long start, long end) override { m_start = start; m_end = end < 0 ? GetTextLength() : end; }
    void ReplaceSel(const char* text, bool) override {
        std::string_view t(text);
        m_text.replace(static_cast<size_t>(m_start), static_cast<size_t>(m_end - m_start), t);
        for (char c : t) m_lines += c == '\n';
        m_start = m_end = m_start + static_cast<long>(t.size());
    }
    void SetSelectionCharFormat(const CHARFORMAT2& cf) override { m_lastColour = cf.crTextColor; ++m_formats; }
    int GetLineCount() const override { return m_lines + 1; }
    void LineScroll(int, int) override {}
    CString GetWindowText() const override { return CString(m_text); }
    void SetWindowText(const char* text) override { m_text = text; m_lines = 0; m_start = m_end = 0; }

    void Reset() { m_text.clear(); m_lines = 0; m_start = m_end = 0; }

    std::string m_text;
    long m_start = 0, m_end = 0;
    int m_lines = 0;
    COLORREF m_lastColour = 0;
    long m_formats = 0;
};

class BenchHost : public CTestHost {
public:
    explicit BenchHost(CRichEditCtrl* ctrl) : m_ctrl(ctrl) {}
    CRichEditCtrl* GetOutputCtrl() override { return m_ctrl; }
    uintptr_t Notify(int, uintptr_t) override { return 0; }
    CRichEditCtrl* m_ctrl;
};

class BenchTest : public CTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
};

// A summary line as the memory tests print them: several colour changes per line.
void BM_PrintMarkupLine(benchmark::State& state) {
    BenchRichEdit ctrl;
    BenchHost host(&ctrl);
    CResultScreen screen;
    screen.SetHost(&host);
    const CString line = "  ~*BLUE*~SDRAM~*BLACK*~ block 0x00400000: ~*GREEN*~PASS~*BLACK*~ ~*BACK_YELLOW*~"
                         "(~*RED*~0~*BLACK*~ errors)~*BACK_WHITE*~ ~*PINK*~\n";
    long lines = 0;
    for (auto _ : state) {
        screen.Print(line);
        if (++lines % 4096 == 0) ctrl.Reset();  // a host's window would also be trimmed
    }
    state.SetBytesProcessed(state.iterations() * line.GetLength());
    benchmark::DoNotOptimize(ctrl.m_formats);
}
BENCHMARK(BM_PrintMarkupLine);

// A long dump printed piece by piece through a test's slots, the way PrintCompare reports a failure.
void BM_PrintCompareDump(benchmark::State& state) {
    BenchRichEdit ctrl;
    BenchHost host(&ctrl);
    GetResultScreen().SetHost(&host);
    BenchTest test;
    const int count = static_cast<int>(state.range(0));
    std::vector<DWORD> expected(static_cast<size_t>(count)), actual(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        expected[static_cast<size_t>(i)] = static_cast<DWORD>(i) * 0x01010101u;
        actual[static_cast<size_t>(i)] = expected[static_cast<size_t>(i)] ^ (i % 7 == 0 ? 0x10u : 0u);
    }
    for (auto _ : state) {
        test.PrintCompareDwords(count, expected.data(), actual.data());
        ctrl.Reset();
        GetResultScreen().ClearOutputTaps();
    }
    state.SetItemsProcessed(state.iterations() * count);
    GetResultScreen().SetHost(nullptr);
}
BENCHMARK(BM_PrintCompareDump)->Arg(64)->Arg(1024);

}  // namespace

