// Output capture for tests: what a test prints with its colours, the pre-host text, a stream's text, and a recording rich-edit host.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "framework/test_base.h"
#include "framework/tree_map_tb.h"
#include "framework/wexal_test_base.h"
#include "platform/host_ui.h"

namespace support {

// A FILE* whose contents a test can read back.
struct Capture {
    char* data = nullptr;
    size_t size = 0;
    FILE* file = open_memstream(&data, &size);
    ~Capture() { fclose(file), free(data); }
    std::string Text() { return fflush(file), std::string(data, size); }
};

inline size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// Whether text holds every part; a failure names the first missing part.
inline ::testing::AssertionResult HasAll(const std::string& text, const std::vector<std::string>& parts) {
    for (const std::string& part : parts)
        if (text.find(part) == std::string::npos) return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
    return ::testing::AssertionSuccess();
}

// The text printed while no host is attached, taken (and cleared) for the test.
inline std::string TakeText() { return CTestBase::TakePreHostText(TRUE).str(); }

// Keeps what a test prints: the text of every print slot, and the colour of each coloured print.
struct OutputLog {
    std::string text;
    std::vector<std::pair<std::string, COLORREF>> coloured;
    void Add(const CString& t) { text += t.str(); }
    void Add(const CString& t, COLORREF c) {
        text += t.str();
        coloured.emplace_back(t.str(), c);
    }
    bool Has(const std::string& s) const { return text.find(s) != std::string::npos; }
    bool HasColoured(const std::string& s, COLORREF c) const {
        for (const auto& [t, col] : coloured)
            if (col == c && t.find(s) != std::string::npos) return true;
        return false;
    }
};

// Any test class whose print slots land in an OutputLog.
template <class Base>
class Recording : public Base {
public:
    using Base::Base;
    void PrintStyled(CString text, COLORREF colour, COLORREF, BOOL) override { out.Add(text, colour); }
    void PrintColor(CString text, COLORREF colour) override { out.Add(text, colour); }
    void Print(CString text) override { out.Add(text); }
    OutputLog out;
};

class RecordingTest : public Recording<CWexalTestBase> {
public:
    DWORD Run(CString) override { return kRunPassed; }
};

// A tree test that keeps the arguments of each run and answers result.
class RecordingTreeTest : public Recording<CWexalTreeMapTB> {
public:
    explicit RecordingTreeTest(const char* name = "CRecording") : Recording<CWexalTreeMapTB>(name) {}
    DWORD Run(CString arguments) override {
        received.push_back(arguments.str());
        return result;
    }
    std::vector<std::string> received;
    DWORD result = kRunPassed;
};

// Keeps the text, the selection and every formatted run, the way a rich-edit control would.
class FakeRichEdit : public CRichEditCtrl {
public:
    struct Run {
        std::string text;
        CHARFORMAT2 format;
    };

    long GetTextLength() const override { return static_cast<long>(m_text.size()); }
    void GetSel(long& start, long& end) const override { start = m_start; end = m_end; }
    void SetSel(long start, long end) override {
        long len = GetTextLength();
        m_start = std::clamp(start, 0L, len);
        m_end = end < 0 ? len : std::clamp(end, m_start, len);
        ++m_setSelCalls;
    }
    void ReplaceSel(const char* text, bool) override {
        std::string t = text ? text : "";
        m_text.replace(static_cast<size_t>(m_start), static_cast<size_t>(m_end - m_start), t);
        m_start = m_end = m_start + static_cast<long>(t.size());
        m_replaced.push_back(t);
    }
    void SetSelectionCharFormat(const CHARFORMAT2& cf) override {
        m_runs.push_back({m_text.substr(static_cast<size_t>(m_start), static_cast<size_t>(m_end - m_start)), cf});
    }
    int GetLineCount() const override { return 1 + static_cast<int>(std::count(m_text.begin(), m_text.end(), '\n')); }
    void LineScroll(int lines, int chars) override { m_scrolls.push_back({lines, chars}); }
    CString GetWindowText() const override { return CString(m_text); }
    void SetWindowText(const char* text) override { m_text = text ? text : ""; m_start = m_end = 0; }

    std::string m_text;
    long m_start = 0, m_end = 0;
    int m_setSelCalls = 0;
    std::vector<std::string> m_replaced;  // every ReplaceSel, formatted or not
    std::vector<Run> m_runs;              // every text that received a format
    std::vector<std::pair<int, int>> m_scrolls;
};

class FakeHost : public CTestHost {
public:
    explicit FakeHost(CRichEditCtrl* ctrl) : m_ctrl(ctrl) {}
    CRichEditCtrl* GetOutputCtrl() override { ++m_ctrlCalls; return m_ctrl; }
    uintptr_t Notify(int code, uintptr_t value) override {
        m_notifies.push_back({code, value});
        if (code == 1 && m_ctrl) m_textAtNotify = m_ctrl->GetWindowText().str();
        // A host that selects text while it answers; the screen must restore the caller's view.
        if (m_ctrl) m_ctrl->SetSel(0, 0);
        return m_answer;
    }

    CRichEditCtrl* m_ctrl;
    int m_ctrlCalls = 0;
    uintptr_t m_answer = 0;
    std::string m_textAtNotify;
    std::vector<std::pair<int, uintptr_t>> m_notifies;
};

// A host whose window hands out a given text as its record (notification 1), whatever was printed
// into it, so that a log gets that text; answer is what the notification returns.
struct RecordHost : CTestHost {
    CRichEditCtrl* GetOutputCtrl() override { return &ctrl; }
    uintptr_t Notify(int code, uintptr_t value) override { return code == 1 && value ? (*reinterpret_cast<CString*>(value) = record, answer) : 0; }
    std::string record;
    uintptr_t answer = 1;
    FakeRichEdit ctrl;
};

}  // namespace support
