// Tests of CWexalTestBase: publishing per board device, name lists, DMACRB, argument report, environment, file copy.
#include "framework/wexal_test_base.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "devlib/arg_list.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/file_identity.h"
#include "platform/host_ui.h"
#include "platform/paths.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"

using namespace support;

namespace {

// Every leaf as "path => command", joined with "|"; last is set to the last leaf.
std::string Leaves(CTestRegistry& registry, const TestRecord*& last) {
    std::string leaves;
    TestList* list = registry.DetachList();
    for (int i = 0; i < list->count; ++i) {
        if (!(last = list->records[i])->m_isLeaf) continue;
        std::string path = last->m_name.str();
        for (const TestRecord* p = last->m_parent; p; p = p->m_parent) path = p->m_name.str() + "\\" + path;
        leaves += (leaves.empty() ? "" : "|") + path + " => " + last->m_command.str();
    }
    return leaves;
}

BOOL MainBoardsOnly(CZorvDevice* device) { return device && device->GetType() == CZorvDevice::DEVTYPE_BRIMOLA; }

using WexalTestBase = RigTest;

TEST_F(WexalTestBase, PublishingChannelBlocksAndArguments) {
    LoadJson(kThreeBoardRig);
    RecordingTest t;
    t.SetCodeName("CMemoryTest");
    CTestRegistry all, mains;
    t.PublishTests(all, "Memory\\Random", "Memory <CWexal Random>", nullptr);
    const TestRecord* last = nullptr;
    EXPECT_EQ(Leaves(all, last), "Brimola1\\Memory\\Random => Brimola1 Memory <CWexal Random>|Nuxa1\\Memory\\Random => "
                                 "Nuxa1 Memory <CWexal Random>|Brimola2\\Memory\\Random => Brimola2 Memory <CWexal Random>");
    EXPECT_TRUE(last->m_owner == &t && last->m_codeName == "CMemoryTest");
    // The devices answered are those the leaves' commands select, for the start-up's check that every board has one.
    EXPECT_EQ(t.PublishTests(mains, "Memory", "", MainBoardsOnly),  // no command text: the device name, no trailing blank
              (std::vector<CZorvDevice*>{Board("Brimola1"), Board("Brimola2")}));
    EXPECT_EQ(Leaves(mains, last), "Brimola1\\Memory => Brimola1|Brimola2\\Memory => Brimola2");

    char* list = nullptr;
    ASSERT_EQ(CWexalTestBase::GetMainBoardDeviceNames(list), 2);  // NUL-separated
    EXPECT_STREQ(list + std::strlen(list) + 1, "Brimola2");
    free(list);

    ASSERT_EQ(t.GetBoardIF().SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_TRUE(t.GetDMACRB(64) == nullptr && t.GetDMACRB(-1) == nullptr);
    ASSERT_NE(t.GetDMACRB(5), nullptr);
    EXPECT_EQ(t.GetDMACRB(5)->offset, 0x60000u + 5 * 0x200u);
    EXPECT_NE(t.GetDMACRB(0), nullptr);
    // Arguments nobody took are listed in red, one line each.
    ArgListArg verbose("VERBOSE", ArgListArg::ARG_FLAG_OR_ASSIGN);
    ArgListValues size("SIZE", 1);
    ArgListArg* table[] = {&verbose, &size, nullptr};
    ArgumentList args;
    EXPECT_EQ(t.ReportUnrecognizedArgs(&args, "VERBOSE=0 FOO SIZE=4 BAR=2", table), 2u);
    EXPECT_TRUE(t.out.Has("Error: Unrecognized parameter: \"~*RED*~BAR=2~*BLACK*~\".\n")) << t.out.text;
    EXPECT_EQ(Count(t.out.text, "Unrecognized"), 2u);
    EXPECT_EQ(size[0], 4);
    EXPECT_EQ(t.ReportUnrecognizedArgs(&args, "verbose size=3", table), 1u);
    EXPECT_EQ(Count(t.out.text, "Unrecognized"), 2u) << "names are not case-sensitive";
    LoadJson(R"({"boards": []})");  // no boards: no names, nothing published
    EXPECT_EQ(CWexalTestBase::GetBoardDeviceNames(list), 0);
    CTestRegistry none;
    t.PublishTests(none, "Memory", "x", nullptr);
    EXPECT_EQ(none.GetCount(), 0);
}

// "Environment.txt" lives in the host program's folder, here a temporary one.
class Environment : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetProgramDir(m_dir.Path() + "/");
        CWexalTestBase::FreeEnvironment();
        platform::ClearMessageBoxHistory();
    }
    void TearDown() override {
        CWexalTestBase::FreeEnvironment();
        platform::SetProgramDir("");
    }
    TempDir m_dir;
};

TEST_F(Environment, LookUpsAndTheFileCopyStep) {
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);  // a missing file: silently here,
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Release"), "");  // with a message box here
    ASSERT_EQ(platform::MessageBoxHistory().size(), 1u);
    EXPECT_EQ(platform::MessageBoxHistory()[0].text, "Unable to load envrionment");
    const struct { std::string text; const char* name; const char* value; int release; } rows[] = {
        {"Release = Skavo\r\n", "Release", "Skavo", kReleaseSkavo},
        {"Station=Bench3\nRelease\t\t=\n\nGrenlo\n", "Release", "Grenlo", kReleaseGrenlo},
        {"PreReleaseNotes yes\nRelease = Skavo\n", "Release", "yes", kReleaseUnknown},  // the first occurrence wins
        {"Site = Lab2\nRelease", "Release", "", kReleaseUnknown},
        {std::string("Site = A\0Release = Grenlo\n", 26), "Site", "A", kReleaseUnknown},  // a NUL ends the text
    };
    for (const auto& row : rows) {
        m_dir.Write("Environment.txt", row.text);
        CWexalTestBase::FreeEnvironment();
        EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable(row.name), row.value) << row.text << " / " << row.name;
        EXPECT_EQ(CWexalTestBase::GetReleaseId(), row.release) << row.text;
    }
    // The cache outlives a change on disk until it is freed, which a test's destructor does.
    m_dir.Write("Environment.txt", "Release = Skavo\n");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);
    { RecordingTest t; }
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseSkavo);
    EXPECT_EQ(platform::MessageBoxHistory().size(), 1u);
    // With zeros after it, sparse, past what values counted in int can hold, it is not read at all.
    ASSERT_FALSE(m_dir.WriteSparse("Environment.txt", 2ull << 30, 0, "Release = Skavo\n").empty()) << "no sparse files here";
    CWexalTestBase::FreeEnvironment();
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Release"), "");
    EXPECT_EQ(platform::MessageBoxHistory().size(), 2u);
    m_dir.Write("Environment.txt", "Release = Skavo\n");
    CWexalTestBase::FreeEnvironment();
    // The file-copy step copies onto an existing file only with /OVERWRITE.
    RecordingTest t;
    m_dir.Write("src.txt", "new contents");
    m_dir.Write("dst.txt", "old");
    m_dir.Write("CmdLine", "pexhost");
    platform::ProtectFile(m_dir.File("CmdLine"), "the switch file");
    const std::string copy = "ERROR:  Unable to copy SRC[" + m_dir.File("src.txt") + "] to DST[";
    const struct { const char* command; std::string error; } refused[] = {
        {"DST=$(CWD)\\dst.txt", "ERROR:  SRC= not specified on the command line.\n"},
        {"SRC=$(CWD)\\src.txt", "ERROR:  DST= not specified on the command line.\n"},
        {"SRC=$(CWD)\\nothing.txt DST=$(CWD)\\dst.txt", "ERROR:  Unable to expand variables SRC[$(CWD)\\NOTHING.TXT] setting.\n"},
        {"SRC=$(CWD)\\src.txt DST=$(CWD)\\fresh.txt", "ERROR:  Unable to expand variables DST[$(CWD)\\FRESH.TXT] setting.\n"},
        // A copy that is refused says why.
        {"SRC=$(CWD)\\src.txt DST=$(CWD)\\dst.txt", copy + m_dir.File("dst.txt") + "].\nThe file could not be accessed. " +
                                                         m_dir.File("dst.txt") + " exists already.\n"},  // no overwrite
        {"SRC=$(CWD)\\src.txt DST=$(CWD)\\cmdline /OVERWRITE", copy + m_dir.File("CmdLine") + "].\nThe file could not be accessed. " +
                                                                    m_dir.File("CmdLine") + " is the switch file, which this run must not write over.\n"},
    };
    for (const auto& row : refused) {
        EXPECT_EQ(t.CopyFileStep(row.command), 2u) << row.command;
        EXPECT_TRUE(t.out.HasColoured(row.error, kColorRed)) << row.command << "\n" << t.out.text;
    }
    platform::ClearProtectedFiles();
    EXPECT_EQ(m_dir.Read("CmdLine"), "pexhost");
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("fresh.txt")));  // the destination must exist already
    EXPECT_EQ(m_dir.Read("dst.txt"), "old");
    EXPECT_EQ(t.CopyFileStep("src=$(CWD)\\src.txt dst=$(CWD)\\dst.txt /overwrite"), 1u);
    EXPECT_EQ(m_dir.Read("dst.txt"), "new contents");
}

}  // namespace
