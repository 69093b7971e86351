// Tests of CWexalTestBase: publishing per board device, name lists, DMACRB, argument report, environment, file copy.
#include "framework/wexal_test_base.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "devlib/arg_list.h"
#include "framework/result_screen.h"
#include "framework/test_record.h"
#include "platform/host_ui.h"
#include "platform/paths.h"

using support::RecordingTest;
using support::ScopedRig;
using support::TempDir;

using namespace support;

namespace {

std::vector<std::string> Names(const char* list, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i, list += names.back().size() + 1) names.emplace_back(list);
    return names;
}

std::vector<const TestRecord*> Leaves(TestList* list) {
    std::vector<const TestRecord*> leaves;
    for (int i = 0; i < list->count; ++i)
        if (list->records[i]->m_isLeaf) leaves.push_back(list->records[i]);
    return leaves;
}

std::string PathOf(const TestRecord* r) {
    std::string path = r->m_name.str();
    for (const TestRecord* p = r->m_parent; p; p = p->m_parent) path = p->m_name.str() + "\\" + path;
    return path;
}

BOOL MainBoardsOnly(CZorvDevice* device) { return device && device->GetType() == CZorvDevice::DEVTYPE_BRIMOLA; }

class WexalTestBase : public ::testing::Test {
protected:
    void SetUp() override { devlib::LoadDefaultRig(); }
    void TearDown() override { devlib::LoadDefaultRig(); }
};

TEST_F(WexalTestBase, PublishesOneLeafPerBoardDeviceThatPassesTheFilter) {
    ScopedRig rig(support::kThreeBoardRig);
    ASSERT_TRUE(rig.Loaded());
    RecordingTest t;
    t.SetCodeName("CMemoryTest");

    CTestRegistry all;
    t.PublishTests(all, "Memory\\Random", "Memory tests <CWexal Random Memory Test VERBOSE = 0>", nullptr);
    std::vector<const TestRecord*> leaves = Leaves(all.DetachList());
    ASSERT_EQ(leaves.size(), 3u);
    const char* devices[] = {"Brimola1", "Nuxa1", "Brimola2"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(PathOf(leaves[i]), std::string(devices[i]) + "\\Memory\\Random");
        EXPECT_EQ(leaves[i]->m_command, std::string(devices[i]) + " Memory tests <CWexal Random Memory Test VERBOSE = 0>");
        EXPECT_EQ(leaves[i]->m_owner, &t);
        EXPECT_EQ(leaves[i]->m_codeName, "CMemoryTest");
        EXPECT_EQ(leaves[i]->m_publisherFlag, 1u);
    }

    CTestRegistry mains;
    t.PublishTests(mains, "Memory\\Random", "", MainBoardsOnly);
    leaves = Leaves(mains.DetachList());
    ASSERT_EQ(leaves.size(), 2u);
    EXPECT_EQ(PathOf(leaves[0]), "Brimola1\\Memory\\Random");
    EXPECT_EQ(PathOf(leaves[1]), "Brimola2\\Memory\\Random");
    // No command text: the device name alone, without a trailing blank.
    EXPECT_EQ(leaves[0]->m_command, "Brimola1");

    CTestRegistry bare;
    t.PublishTests(bare, "Flash", nullptr, nullptr);
    leaves = Leaves(bare.DetachList());
    ASSERT_EQ(leaves.size(), 3u);
    EXPECT_EQ(leaves[2]->m_command, "Brimola2");
}

TEST_F(WexalTestBase, NameListsByBoardKind) {
    ScopedRig rig(support::kThreeBoardRig);
    ASSERT_TRUE(rig.Loaded());
    char* list = nullptr;
    int n = CWexalTestBase::GetBoardDeviceNames(list);
    EXPECT_EQ(Names(list, n), (std::vector<std::string>{"Brimola1", "Nuxa1", "Brimola2"}));
    free(list);
    n = CWexalTestBase::GetMainBoardDeviceNames(list);
    EXPECT_EQ(Names(list, n), (std::vector<std::string>{"Brimola1", "Brimola2"}));
    free(list);
    n = CWexalTestBase::GetCodecBoardDeviceNames(list);
    EXPECT_EQ(Names(list, n), (std::vector<std::string>{"Nuxa1"}));
    free(list);
    const int clocks[] = {CZorvDevice::DEVTYPE_CLOCK, CZorvDevice::DEVTYPE_END};
    n = CWexalTestBase::GetDeviceNames(list, clocks);
    EXPECT_EQ(Names(list, n), (std::vector<std::string>{"Brimola1.Clock", "Nuxa1.Clock", "Brimola2.Clock"}));
    free(list);
}

TEST_F(WexalTestBase, ARigWithoutBoardsPublishesNothing) {
    ScopedRig rig(R"({"boards": []})");
    ASSERT_TRUE(rig.Loaded());
    char* list = reinterpret_cast<char*>(1);
    EXPECT_EQ(CWexalTestBase::GetBoardDeviceNames(list), 0);
    EXPECT_EQ(list, nullptr);
    RecordingTest t;
    CTestRegistry reg;
    t.PublishTests(reg, "Memory", "x", nullptr);
    EXPECT_EQ(reg.GetCount(), 0);
}

TEST_F(WexalTestBase, DmaChannelRegisterBlocks) {
    RecordingTest t;
    EXPECT_EQ(t.GetDMACRB(3), nullptr);  // no device
    ASSERT_EQ(t.GetBoardIF().SelectDevice("Brimola1", TRUE), 1u);
    EXPECT_EQ(t.GetDMACRB(64), nullptr);
    EXPECT_EQ(t.GetDMACRB(-1), nullptr);
    EXPECT_EQ(t.GetBoardIF().GetBAR0Space(), nullptr);  // out of range never maps the board

    int named = 0;
    for (int c = 0; c < 64; ++c) {
        const CPPVarDesc* block = t.GetDMACRB(c);
        if (!block) continue;
        ++named;
        EXPECT_EQ(block->offset, 0x60000u + 0x200u * static_cast<DWORD>(c)) << c;
        EXPECT_EQ(block->size, 0x200u);
        ASSERT_NE(block->name, nullptr);
        EXPECT_STRNE(block->name, "");
    }
    EXPECT_GT(named, 0);
    EXPECT_NE(t.GetBoardIF().GetBAR0Space(), nullptr);
}

TEST_F(WexalTestBase, UnrecognisedArgumentsAreListedInRed) {
    RecordingTest t;
    ArgListArg verbose("VERBOSE", ArgListArg::ARG_FLAG_OR_ASSIGN);
    ArgListValues size("SIZE", 1);
    ArgListArg* table[] = {&verbose, &size, nullptr};
    ArgumentList list;
    EXPECT_EQ(t.ReportUnrecognizedArgs(&list, "VERBOSE=0 FOO SIZE=4 BAR=2", table), 2u);
    EXPECT_EQ(t.out.text,
              "~*BLACK*~Error: Unrecognized parameter: \"~*RED*~FOO~*BLACK*~\".\n"
              "~*BLACK*~Error: Unrecognized parameter: \"~*RED*~BAR=2~*BLACK*~\".\n");
    EXPECT_EQ(size[0], 4);
    t.out = {};
    EXPECT_EQ(t.ReportUnrecognizedArgs(&list, "verbose size=3", table), 1u);
    EXPECT_EQ(t.ReportUnrecognizedArgs(&list, nullptr, table), 1u);
    EXPECT_EQ(t.ReportUnrecognizedArgs(nullptr, "  ", table), 1u);
    EXPECT_TRUE(t.out.text.empty());
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
    void Use(const std::string& text) {
        m_dir.Write("Environment.txt", text);
        CWexalTestBase::FreeEnvironment();
    }
    TempDir m_dir;
};

TEST_F(Environment, ReleaseIds) {
    Use("Release = Skavo\r\n");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseSkavo);
    Use("Release=Grenlo");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseGrenlo);
    Use("Release = skavo\n");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);
    Use("Station=Bench3\nRelease\t\t=\n\nGrenlo\n");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseGrenlo);
    Use("Station = Bench3\n");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);
    // A file whose cache outlives its change on disk: the cache is what counts until it is freed.
    m_dir.Write("Environment.txt", "Release = Skavo\n");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);
    {
        RecordingTest t;  // loads nothing new: the cache is set
    }
    // The test's destructor freed the cache, so the file is read again.
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseSkavo);
}

TEST_F(Environment, LookUpsAreSubstringSearchesOverHandEditedText) {
    // The first occurrence of the name wins, even inside another word.
    Use("PreReleaseNotes yes\nRelease = Skavo\n");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Release"), "yes");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);
    // A name at the very end, a name with nothing after it, an empty file.
    Use("Site = Lab2\nRelease");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Release"), "");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Site"), "Lab2");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Absent"), "");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable(""), "");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable(nullptr), "");
    Use("Release =   \r\n");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Release"), "");
    Use("");
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Release"), "");
    // A NUL byte ends what the look-up sees.
    Use(std::string("Site = A\0Release = Grenlo\n", 26));
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Site"), "A");
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);
    EXPECT_TRUE(platform::MessageBoxHistory().empty());
}

TEST_F(Environment, AMissingFileRaisesAMessageBoxOnLookUp) {
    EXPECT_FALSE(CWexalTestBase::LoadEnvironment());
    EXPECT_EQ(CWexalTestBase::GetReleaseId(), kReleaseUnknown);
    EXPECT_TRUE(platform::MessageBoxHistory().empty());
    EXPECT_EQ(CWexalTestBase::GetLocalEnvironmentVariable("Release"), "");
    ASSERT_EQ(platform::MessageBoxHistory().size(), 1u);
    EXPECT_EQ(platform::MessageBoxHistory()[0].text, "Unable to load envrionment");
    EXPECT_EQ(platform::MessageBoxHistory()[0].caption, "ERROR:  GetLocalEnvironmentVariable()");
    EXPECT_EQ(platform::MessageBoxHistory()[0].type, 0x50000u);
    // A folder of that name is no better.
    std::filesystem::create_directory(m_dir.File("Environment.txt"));
    EXPECT_FALSE(CWexalTestBase::LoadEnvironment());
}

TEST_F(Environment, CopyFileStepCopiesOntoAnExistingFileOnlyWithOverwrite) {
    RecordingTest t;
    m_dir.Write("src.txt", "new contents");
    m_dir.Write("dst.txt", "old");

    EXPECT_EQ(t.CopyFileStep("DST=$(CWD)\\dst.txt"), 2u);
    EXPECT_TRUE(t.out.HasColoured("ERROR:  SRC= not specified on the command line.\n", kColorRed));
    EXPECT_EQ(t.CopyFileStep("SRC=$(CWD)\\src.txt"), 2u);
    EXPECT_TRUE(t.out.HasColoured("ERROR:  DST= not specified on the command line.\n", kColorRed));
    EXPECT_EQ(t.CopyFileStep("SRC=$(CWD)\\nothing.txt DST=$(CWD)\\dst.txt"), 2u);
    EXPECT_TRUE(t.out.HasColoured("ERROR:  Unable to expand variables SRC[$(CWD)\\NOTHING.TXT] setting.\n", kColorRed));
    // The destination must exist already.
    EXPECT_EQ(t.CopyFileStep("SRC=$(CWD)\\src.txt DST=$(CWD)\\fresh.txt"), 2u);
    EXPECT_TRUE(t.out.HasColoured("ERROR:  Unable to expand variables DST[$(CWD)\\FRESH.TXT] setting.\n", kColorRed));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("fresh.txt")));

    t.out = {};
    EXPECT_EQ(t.CopyFileStep("SRC=$(CWD)\\src.txt DST=$(CWD)\\dst.txt"), 2u);
    const std::string dir = m_dir.Path() + "/";
    EXPECT_EQ(t.out.text, "ERROR:  Unable to copy SRC[" + dir + "SRC.TXT] to DST[" + dir + "DST.TXT].\n");
    EXPECT_EQ(m_dir.Read("dst.txt"), "old");

    t.out = {};
    EXPECT_EQ(t.CopyFileStep("src=$(CWD)\\src.txt dst=$(CWD)\\dst.txt /overwrite"), 1u);
    EXPECT_TRUE(t.out.text.empty());
    EXPECT_EQ(m_dir.Read("dst.txt"), "new contents");
}

}  // namespace
