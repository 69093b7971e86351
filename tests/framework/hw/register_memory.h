// A register window over plain memory for the DCB and BCU tests, counting its accesses.
#pragma once

#include <vector>

#include "devlib/register_window.h"

namespace hwtest {

class MemoryWindow : public CRegisterWindow {
public:
    explicit MemoryWindow(DWORD bytes) : m_words(bytes / 4, 0) {}
    DWORD Read(DWORD offset) override {
        ++reads;
        return offset / 4 < m_words.size() ? m_words[offset / 4] : 0;
    }
    void Write(DWORD offset, DWORD value) override {
        ++writes;
        if (offset / 4 < m_words.size()) m_words[offset / 4] = value;
    }
    DWORD Size() const override { return static_cast<DWORD>(m_words.size() * 4); }

    DWORD& At(DWORD byteOffset) { return m_words.at(byteOffset / 4); }
    int reads = 0;
    int writes = 0;

private:
    std::vector<DWORD> m_words;
};

}  // namespace hwtest
