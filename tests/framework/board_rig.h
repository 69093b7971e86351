// Helpers of the board-bound framework tests: rigs from JSON, temporary folders, tests that record their output.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "devlib/rig.h"
#include "framework/tree_map_tb.h"
#include "framework/wexal_test_base.h"

namespace boardtest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pexfw-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(File(name), std::ios::binary) << bytes;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(File(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string m_path;
};

// Runs the test body with the current folder set to a temporary one ("CmdLine" is read from there).
class InTempCwd {
public:
    InTempCwd() {
        char buffer[4096];
        m_old = getcwd(buffer, sizeof buffer) ? buffer : "/";
        EXPECT_EQ(chdir(m_dir.Path().c_str()), 0);
    }
    ~InTempCwd() { EXPECT_EQ(chdir(m_old.c_str()), 0); }
    const TempDir& Dir() const { return m_dir; }

private:
    TempDir m_dir;
    std::string m_old;
};

// Loads a rig description for one test; the default rig comes back when the object goes.
class ScopedRig {
public:
    explicit ScopedRig(const std::string& json) {
        m_dir.Write("rig.json", json);
        std::string error;
        m_loaded = devlib::LoadRigFile(m_dir.File("rig.json"), &error);
        EXPECT_TRUE(m_loaded) << error;
    }
    ~ScopedRig() { devlib::LoadDefaultRig(); }
    bool Loaded() const { return m_loaded; }

private:
    TempDir m_dir;
    bool m_loaded = false;
};

// Keeps what a test prints: the text of every print slot, and the colour of each PrintColor call.
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

class RecordingTest : public CWexalTestBase {
public:
    DWORD Run(CString) override { return kRunPassed; }
    void PrintStyled(CString text, COLORREF colour, COLORREF, BOOL) override { out.Add(text, colour); }
    void PrintColor(CString text, COLORREF colour) override { out.Add(text, colour); }
    void Print(CString text) override { out.Add(text); }
    OutputLog out;
};

class RecordingTreeTest : public CWexalTreeMapTB {
public:
    explicit RecordingTreeTest(const char* name = "CRecording") : CWexalTreeMapTB(name) {}
    DWORD Run(CString) override { return kRunPassed; }
    void PrintStyled(CString text, COLORREF colour, COLORREF, BOOL) override { out.Add(text, colour); }
    void PrintColor(CString text, COLORREF colour) override { out.Add(text, colour); }
    void Print(CString text) override { out.Add(text); }
    OutputLog out;
};

inline const char* kThreeBoardRig = R"({"boards": [
    {"tag": "Brimola1", "kind": "brimola"},
    {"tag": "Nuxa1", "kind": "nuxa"},
    {"tag": "Brimola2", "kind": "brimola"}]})";

}  // namespace boardtest
