// Tests of the diagnostics port's product-data, revision and version reports on both boards of the simulated rig.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "diagport/scr_port.h"
#include "tests/boards/root_fixture.h"

namespace {

using namespace support;

const std::string kMinFile = "FILE=$(CWD)\\testdata\\MinRevisions.txt";
const std::string kCheck = " <SCRport KZ_ChkR2Versions PATH=$(CWD) ";

// The shipped minimum-revision file with some entries replaced.
std::string MinRevisions(const std::map<int, std::string>& replaced) {
    const std::string shipped = ReadText(platform::GetProgramDir() + "testdata/MinRevisions.txt");
    std::string out;
    int entry = 0;
    for (size_t at = 0; at < shipped.size(); ++entry) {
        const size_t end = shipped.find('\n', at);
        const std::string line = shipped.substr(at, end - at);
        const auto it = replaced.find(entry);
        out += it == replaced.end() ? line : line.substr(0, line.find(':') + 1) + it->second;
        out += "\n";
        at = end + 1;
    }
    return out;
}

// A port of its own, bound to one board, whose product-data copy the test can fill.
class BoundPort : public Recording<SCRport> {
public:
    BoundPort() : Recording<SCRport>(nullptr, "SCRport") { SetParent(&parent); }
    void Bind(const char* tag) {
        SetupDevice(tag);
        TakeText();
        out = {};
    }
    using SCRport::m_VPDImage;
    RecordingTreeTest parent{"CParent"};
};

class Revisions : public RootKeywords {
protected:
    Revisions() { SetRelease("Grenlo"); }
    ~Revisions() override { CWexalTestBase::FreeEnvironment(); }
    void SetRelease(const char* release) {
        Dir().Write("Environment.txt", std::string("Release = ") + release + "\n");
        CWexalTestBase::FreeEnvironment();
    }
    void ProgramKeyerAndPair() {
        for (int d = 0; d < 3; ++d) ASSERT_EQ(Run(ProgramLine(d)), kRunPassed);
    }
    std::string Out(const std::string& command, DWORD* result) {
        std::string out;
        *result = Run(command, &out);
        return out;
    }
};

TEST_F(Revisions, KeywordSearchFirstMatchLengthAndLabel) {
    BoundPort port;
    port.Bind("Brimola1");
    auto put = [&](DWORD at, const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) port.m_VPDImage[at + i] = static_cast<BYTE>(bytes[i]);
    };
    std::fill(std::begin(port.m_VPDImage), std::end(port.m_VPDImage), 0);
    put(10, std::string("ZB\x02") + "1F");
    put(40, std::string("ZB\x03") + "2AB");  // a later one is never reached
    put(60, std::string("ZC\xFE") + "77");   // a negative length: an empty text
    put(996, std::string("QQ\x04") + "BEEF");  // starts at 996: still searched
    put(1010, "RR\x01" "5");                   // starts past 998: not searched
    put(100, std::string("WW\x09") + "1000000AB");  // past 32 bits: read as no number
    put(120, std::string("WX\x02") + "-1");         // a negative value does not fit either
    struct Row {
        char k1, k2;
        const char* label;
        int found;
        DWORD value;
        std::string printed;
    };
    const Row rows[] = {
        {'Z', 'B', "Brimola MajorNum(ZB): ", 1, 0x1F, "Brimola MajorNum(ZB): 1F"},
        {'Z', 'B', "", 1, 0x1F, ""},
        {'Z', 'C', "L: ", 1, 0x1234, "L: "},  // no text: the value stays
        {'Q', 'Q', nullptr, 1, 0xBEEF, ""},
        {'R', 'R', "R: ", 0, 0x1234, ""},
        {'Z', 'D', "D: ", 0, 0x1234, ""},
        {'W', 'W', "W: ", 1, 0x1234, "W: 1000000AB"},
        {'W', 'X', nullptr, 1, 0x1234, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(1, row.k1) + row.k2);
        port.out = {};
        DWORD value = 0x1234;
        const CString label = row.label ? row.label : "";
        EXPECT_EQ(port.GetVPDKeyword(row.k1, row.k2, row.label ? &label : nullptr, &value), row.found);
        EXPECT_EQ(value, row.value);
        EXPECT_EQ(port.out.text, row.printed);
    }
}

TEST_F(Revisions, IndicesFollowTheReleaseAndTheBootedImage) {
    struct Row {
        const char* name;
        const char* release;
        const char* rig;  // "" for the default rig
        const char* board;
        int result, minor, pcix, major;
        const char* message;
    };
    const char* zvkx = R"({"boards": [{"tag": "Brimola1", "kind": "brimola", "flash": {"pcix_image": "ZVKX"}}]})";
    const char* blank = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [
        {"kind": "flash_missing_header", "board": "Brimola1", "segment": "SAFE"},
        {"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCIX"},
        {"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCI"}]})";
    const Row rows[] = {
        {"Grenlo, main board", "Grenlo", "", "Brimola1", 1, 2, 6, 9, ""},
        {"Grenlo, codec board", "Grenlo", "", "Nuxa1", 1, 3, 7, 10, ""},
        {"no release named", "Other", "", "Nuxa1", 1, 3, 7, 10, ""},
        {"Skavo needs ZVKX", "Skavo", "", "Brimola1", 0, 0, 0, 0, "The environment requires the ZVKX image; the board runs PUVI0202\n"},
        {"Skavo, codec board", "Skavo", "", "Nuxa1", 0, 0, 0, 0, "requires the ZVKX image; the board runs KEZO0202\n"},
        {"Skavo with ZVKX", "Skavo", zvkx, "Brimola1", 1, 1, 5, 8, ""},
        {"Grenlo with ZVKX", "Grenlo", zvkx, "Brimola1", 0, 0, 0, 0, "requires the PUVI image; the board runs ZVKX0202\n"},
        {"no N tag", "Grenlo", blank, "Brimola1", 0, 0, 0, 0, "Unable to get N field from flash OXD\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetRelease(row.release);
        std::unique_ptr<ScopedRig> rig;
        if (*row.rig) rig = std::make_unique<ScopedRig>(row.rig);
        BoundPort port;
        port.Bind(row.board);
        EXPECT_EQ(port.SelectRevisionIndices(), row.result);
        EXPECT_EQ(port.GetWexalMinorRevIndex(), row.minor);
        EXPECT_EQ(port.GetPCIXPromRevIndex(), row.pcix);
        EXPECT_EQ(port.GetWexalMajorRevIndex(), row.major);
        if (*row.message) {
            EXPECT_TRUE(port.out.HasColoured(row.message, 0x0000FF)) << port.out.text;
        } else {
            EXPECT_EQ(port.out.text, "");
        }
    }
    BoundPort unbound;
    EXPECT_EQ(unbound.SelectRevisionIndices(), 1);  // no board: nothing to choose
    EXPECT_EQ(unbound.GetWexalMinorRevIndex(), 0);
}

TEST_F(Revisions, MinimumRevisionFileRules) {
    std::string lines27, lines26;
    for (int i = 0; i < 27; ++i) lines27 += "Entry " + std::to_string(i) + ":1A\n";
    for (int i = 0; i < 26; ++i) lines26 += "E:" + std::to_string(i + 1) + "\n";  // read as hexadecimal
    struct Row {
        const char* name;
        std::string text;
        DWORD result;
        std::vector<DWORD> first;  // the first entries read
        DWORD last;                // entry 26
        std::string message;
    };
    const Row rows[] = {
        {"27 lines of 1A", lines27, 1, {0x1A, 0x1A}, 0x1A, ""},
        {"a line without ':' among 28: the 28th is used", "no value here\n" + lines26 + "X:3F\n", 1, {1, 2}, 0x3F, ""},
        {"empty lines and a lone leading ':' are skipped", "\n:abc\n" + lines26 + "\r\nX:4\r\n", 1, {1}, 4, ""},
        {"leading ':' belong to no label", "::Label:7\n" + lines26, 1, {7, 1}, 0x26, ""},
        {"a value that is no number uses its entry", "A:zz\nB: 10\n" + lines26, 1, {0, 0x10, 1}, 0x25, ""},
        // A value too wide for an entry is a bad line like one that is no number: 0, never cut.
        {"a value past 32 bits uses its entry as 0", "A:10000001A\nB:FFFFFFFFFFFFFFFFF\nC:-1\nD:FFFFFFFF\n" + lines26, 1,
         {0, 0, 0, 0xFFFFFFFF, 1}, 0x23, ""},
        {"a line over 79 characters is read in pieces", std::string(100, 'L') + ":5\n" + lines26, 1, {5, 1}, 0x26, ""},
        {"26 entries", lines26, 2, {}, 0,
         "\nbefore finding the correct number of Minimum Revisions\nOnly found 26 entries Extected 27\n"},
        {"a ':'-only tail", lines26 + ":::", 2, {}, 0, "Can't find Minimum Revision entry 26\n"},
        {"a ':'-only piece of a long line", std::string(79, ':') + "x:1\n" + lines26, 2, {}, 0, "Can't find Minimum Revision entry 0\n"},
    };
    BoundPort port;
    port.Bind("Brimola1");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Dir().Write("min.txt", row.text);
        port.out = {};
        EXPECT_EQ(port.ReadMinimumRevisions("$(CWD)\\min.txt"), row.result) << port.out.text;
        for (size_t i = 0; i < row.first.size(); ++i) EXPECT_EQ(port.GetMinRev()[i], row.first[i]) << i;
        if (row.result == 1) {
            EXPECT_EQ(port.GetMinRev()[26], row.last);
        }
        if (!row.message.empty()) {
            EXPECT_TRUE(port.out.HasColoured(row.message, 0x0000C0)) << port.out.text;
        }
    }
    // Files that cannot be read stop the check before it looks at the board.
    ASSERT_EQ(mkfifo(Dir().File("pipe.txt").c_str(), 0600), 0);
    DWORD result = 0;
    EXPECT_TRUE(HasAll(Out("Brimola1" + kCheck + "FILE=$(CWD)\\pipe.txt>", &result), {"Can't find $(CWD)\\pipe.txt\n"}));
    EXPECT_EQ(result, kRunFailed);
    const std::string missing = Out("Nuxa1" + kCheck + "FILE=$(CWD)\\none.txt>", &result);
    EXPECT_TRUE(HasAll(missing, {"ERROR:  Unable to expand variables FILE[$(CWD)\\none.txt] setting.\n"}));
    EXPECT_FALSE(HasAll(missing, {"Check Revision Numbers"}));
    EXPECT_TRUE(HasAll(Out("Nuxa1 <SCRport KZ_ChkR2Versions>", &result), {"PATH\n", "FILE\n", "ERROR:  Unable to expand variables FILE[]"}));
    EXPECT_EQ(result, kRunFailed);
}

// Product data whose first DWORD (tag and identifier length) differs from the healthy board's,
// through the flash mirror's read faults.
std::string VpdHeadRig(DWORD wanted, DWORD extraOffset = 0, DWORD extraWanted = 0) {
    CWexalBoardDevice* board = RigBoard("Brimola1");
    const DWORD head = board->GetRegisters()[0x2000 / 4];
    std::string faults = R"([{"kind": "flash_mirror_mismatch", "board": "Brimola1", "offset": 8192, "mask": )" +
                         std::to_string(head ^ wanted) + "}";
    if (extraOffset) {
        const DWORD word = board->GetRegisters()[extraOffset / 4];
        faults += R"(, {"kind": "flash_mirror_mismatch", "board": "Brimola1", "offset": )" + std::to_string(extraOffset) +
                  R"(, "mask": )" + std::to_string(word ^ extraWanted) + "}";
    }
    return MainBoardRig(faults + "]");
}

TEST_F(Revisions, ProductDataStructure) {
    const DWORD healthyHead = RigBoard("Brimola1")->GetRegisters()[0x2000 / 4];
    const DWORD idByte = healthyHead >> 24;
    struct Row {
        const char* name;
        std::string rig;
        DWORD result;
        std::vector<std::string> parts;
    };
    const Row rows[] = {
        {"healthy: the end tag's next byte is not 0, the one after is", "", 1,
         {"Brimola Revisions:\n", " Check for Name Tag(0x82): Pass\n", " Check for VPD Tag(0x90):  Pass\n",
          " Check for End Tag(0x79):  Pass\n", " Check for End Zero(0x00): +1: Pass\n"}},
        {"L1 = 0 needs 0x90 at 3", VpdHeadRig(0x82 | idByte << 24), 2,
         {"Pass\n Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: 0x" + FormatString("%02X", idByte).str() + "\n"}},
        {"L1 = 0 with 0x90 at 3", VpdHeadRig(0x90000082), 2, {" Check for VPD Tag(0x90):  Pass\n", "Check for End Tag(0x79):  FAIL"}},
        {"a tag position past the product data", VpdHeadRig(0x82 | 0x2000 << 8 | idByte << 24), 2,
         {" Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: beyond the product data\n"}},
        {"a tag position on the last byte of the product data", VpdHeadRig(0x82 | 0x1FFC << 8 | idByte << 24), 2,
         {" Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: 0x"}},
        {"a tag position on the first byte past it", VpdHeadRig(0x82 | 0x1FFD << 8 | idByte << 24), 2,
         {" Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: beyond the product data\n"}},
        {"a broken name tag", MainBoardRig(R"([{"kind": "vpd_broken", "board": "Brimola1", "part": "name_tag"}])"), 2,
         {" Check for Name Tag(0x82): FAIL, Expected: 0x82, Actual: 0x"}},
        {"a broken read-only tag", MainBoardRig(R"([{"kind": "vpd_broken", "board": "Brimola1", "part": "vpd_tag"}])"), 2,
         {" Check for VPD Tag(0x90):  FAIL, Expected: 0x90, Actual: 0x"}},
        {"a broken end tag", MainBoardRig(R"([{"kind": "vpd_broken", "board": "Brimola1", "part": "end_tag"}])"), 2,
         {" Check for End Tag(0x79):  FAIL, Expected: 0x79, Actual: 0x"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::unique_ptr<ScopedRig> rig;
        if (!row.rig.empty()) rig = std::make_unique<ScopedRig>(row.rig);
        DWORD result = 0;
        const std::string out = Out("Brimola1 <SCRport KZ-CheckVPDStruct>", &result);
        EXPECT_EQ(result, row.result);
        EXPECT_TRUE(HasAll(out, row.parts));
    }
    DWORD result = 0;
    EXPECT_TRUE(HasAll(Out("Nuxa1 <SCRport KZ-CheckVPDStruct>", &result), {"Nuxa Revisions:\n", "+1: Pass\n"}));
    EXPECT_EQ(result, kRunPassed);
}

TEST_F(Revisions, RevisionCheckOnBothBoards) {
    ProgramKeyerAndPair();
    Dir().Write("high.txt", MinRevisions({{0, "22"}, {2, "C76"}, {3, "C76"}, {11, "A6"}, {25, "3"}}));
    // One step above the rig's PCI PROM image (0xC750), board (0x04) and pair (0x0A0) revisions, and
    // exactly at them. Entry 9 is also the main board's major minimum, so the codec board checks it.
    Dir().Write("prom.txt", MinRevisions({{4, "C751"}}));
    Dir().Write("board.txt", MinRevisions({{9, "5"}}));
    Dir().Write("pair.txt", MinRevisions({{13, "A1"}}));
    Dir().Write("at.txt", MinRevisions({{4, "C750"}, {13, "A0"}}));
    Dir().Write("boardat.txt", MinRevisions({{9, "4"}}));
    // Minimums above the board in their upper digits only, below it in the lower ones.
    Dir().Write("upper.txt", MinRevisions({{0, "30"}, {2, "D00"}, {4, "C800"}, {6, "C800"}, {9, "10"}, {11, "100"}, {13, "100"}}));
    Dir().Write("zc.txt", MinRevisions({{26, "3"}}));
    struct Row {
        const char* name;
        std::string command;
        DWORD result;
        std::vector<std::string> parts, absent;
    };
    const Row rows[] = {
        {"main board", "Brimola1" + kCheck + kMinFile + ">", 1,
         {"----------------------------------------------\nCheck Revision Numbers:\nBrimola Revisions:\nJastel Rev: 0x0021 (OK)\n"
          "Wexal PCI Prom Image Rev:   0xC750 (OK)\nWexal PCI-X Prom Image Rev: 0xC750 (OK)\n"
          "Wexal  Func.Major.Minor Revision: 000.00.C75 (OK)\n"
          "Kerzil   ID.Major.Minor Revision: 003.01.0A5 (OK)\nSulvethA ID.Major.Minor Revision: 004.02.0A0 (OK)\n"
          "SulvethB ID.Major.Minor Revision: 004.02.0A0 (OK)\nBrimola HW Board Rev Rev: 0x04 (OK)\n"
          "Brimola MajorNum(ZB): 02 (OK)\nBrimola MinorNum(ZC): 02 (OK)\nPCI-X ACTIVE Image is running\n"
          "Receiving clock from BoB Port\nBrimola is probably connected to Nulk\n"},
         {}},
        {"codec board: no FPGAs of the main board, no port probe", "Nuxa1" + kCheck + kMinFile + ">", 1,
         {"Nuxa Revisions:\n", "Brimola HW Board Rev Rev: 0x04 (OK)\nNuxa MajorNum(ZB): 02 (OK)\nNuxa MinorNum(ZC): 02 (OK)\n"
          "PCI-X ACTIVE Image is running\n"},
         {"Kerzil", "BoB", "Nulk"}},
        {"minimums above the board", "Brimola1" + kCheck + "FILE=$(CWD)\\high.txt>", 2,
         {"Jastel Rev: 0x0021) (Current Min Rev: 0x0022)\n",
          "Wexal  Func.Major.Minor Revision: 000.00.C75 (Current Min Rev: 000.00.C76)\n",
          "Kerzil   ID.Major.Minor Revision: 003.01.0A5 (Current Min Rev: 003.00.0A6)\n",
          "Brimola MajorNum(ZB): 02\n"},  // the product-data minimum does not fail the check
         {}},
        {"the codec board's minimum shows no major", "Nuxa1" + kCheck + "FILE=$(CWD)\\high.txt>", 2,
         {"Wexal  Func.Major.Minor Revision: 000.00.C75 (Current Min Rev: 000.xx.C76)\n"}, {}},
        {"the PCI PROM image below its own minimum", "Brimola1" + kCheck + "FILE=$(CWD)\\prom.txt>", 2,
         {"Wexal PCI Prom Image Rev: 0xC750 (Current Min Rev: 0xC751)\n", "Wexal PCI-X Prom Image Rev: 0xC750 (OK)\n"},
         {"Wexal PCI Prom Image Rev:   0xC750 (OK)"}},
        {"the board below its minimum", "Nuxa1" + kCheck + "FILE=$(CWD)\\board.txt>", 2,
         {"Brimola HW Board Rev Rev: 0x04) (Current Min Rev: 0x05)\n", "Wexal  Func.Major.Minor Revision: 000.00.C75 (OK)\n"},
         {"Brimola HW Board Rev Rev: 0x04 (OK)"}},
        {"the main board's board revision fails with its major", "Brimola1" + kCheck + "FILE=$(CWD)\\board.txt>", 2,
         {"Wexal  Func.Major.Minor Revision: 000.00.C75 (Current Min Rev: 000.05.C75)\n",
          "Brimola HW Board Rev Rev: 0x04) (Current Min Rev: 0x05)\n"},
         {}},
        {"both FPGAs of the pair below their minimum", "Brimola1" + kCheck + "FILE=$(CWD)\\pair.txt>", 2,
         {"SulvethA ID.Major.Minor Revision: 004.02.0A0 (Current Min Rev: 003.00.0A1)\n"
          "SulvethB ID.Major.Minor Revision: 004.02.0A0 (Current Min Rev: 003.00.0A1)\n",
          "Kerzil   ID.Major.Minor Revision: 003.01.0A5 (OK)\n"},
         {}},
        {"the PROM image and the pair exactly at their minimums", "Brimola1" + kCheck + "FILE=$(CWD)\\at.txt>", 1,
         {"Wexal PCI Prom Image Rev:   0xC750 (OK)\n", "SulvethA ID.Major.Minor Revision: 004.02.0A0 (OK)\n"
          "SulvethB ID.Major.Minor Revision: 004.02.0A0 (OK)\n"},
         {"Current Min Rev"}},
        {"minimums above the board in their upper digits alone", "Brimola1" + kCheck + "FILE=$(CWD)\\upper.txt>", 2,
         {"Jastel Rev: 0x0021) (Current Min Rev: 0x0030)\n",
          "Wexal PCI Prom Image Rev: 0xC750 (Current Min Rev: 0xC800)\n", "Wexal PCI-X Prom Image Rev: 0xC750 (Current Min Rev: 0xC800)\n",
          "Wexal  Func.Major.Minor Revision: 000.00.C75 (Current Min Rev: 000.10.D00)\n",
          "Brimola HW Board Rev Rev: 0x04) (Current Min Rev: 0x10)\n",
          "Kerzil   ID.Major.Minor Revision: 003.01.0A5 (Current Min Rev: 003.00.100)\n"
          "SulvethA ID.Major.Minor Revision: 004.02.0A0 (Current Min Rev: 003.00.100)\n"
          "SulvethB ID.Major.Minor Revision: 004.02.0A0 (Current Min Rev: 003.00.100)\n"},
         {"Prom Image Rev:   0xC750 (OK)", "Wexal PCI-X Prom Image Rev: 0xC750 (OK)"}},
        {"the product data's minor number below its own minimum: noted, no failure", "Brimola1" + kCheck + "FILE=$(CWD)\\zc.txt>", 1,
         {"Brimola MajorNum(ZB): 02 (OK)\nBrimola MinorNum(ZC): 02\n"}, {}},
        {"the board exactly at its minimum", "Nuxa1" + kCheck + "FILE=$(CWD)\\boardat.txt>", 1,
         {"Brimola HW Board Rev Rev: 0x04 (OK)\n"}, {"Current Min Rev"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DWORD result = 0;
        const std::string out = Out(row.command, &result);
        EXPECT_EQ(result, row.result);
        EXPECT_TRUE(HasAll(out, row.parts));
        for (const std::string& part : row.absent) EXPECT_EQ(out.find(part), std::string::npos) << part;
    }
    // An absent keyword has no value to hold against its minimum: only the count reports it.
    ScopedRig rig(R"({"boards": [{"tag": "Nuxa1", "kind": "nuxa"}],
                      "faults": [{"kind": "vpd_missing_field", "board": "Nuxa1", "field": "ZB"}]})");
    DWORD result = 0;
    EXPECT_TRUE(HasAll(Out("Nuxa1" + kCheck + kMinFile + ">", &result),
                       {"Brimola HW Board Rev Rev: 0x04 (OK)\nNuxa MinorNum(ZC): 02 (OK)\nVPD Not Programmed 1\n"}));
    EXPECT_EQ(result, kRunFailed);
}

// Until a version report has run, the indices are 0: the check chooses them itself rather than
// holding the main FPGA against the controller's minimum (entry 0).
TEST_F(Revisions, CheckChoosesTheIndicesItselfBeforeAnyVersionReport) {
    ProgramKeyerAndPair();
    Dir().Write("entry0.txt", MinRevisions({{0, "FFFF"}}));
    DWORD result = 0;
    std::string out = Out("Brimola1" + kCheck + "FILE=$(CWD)\\entry0.txt>", &result);
    EXPECT_TRUE(HasAll(out, {"Wexal PCI-X Prom Image Rev: 0xC750 (OK)\n", "Wexal  Func.Major.Minor Revision: 000.00.C75 (OK)\n",
                             "Jastel Rev: 0x0021) (Current Min Rev: 0xFFFF)\n"}));
    // A board whose image does not fit the release: reported, and the check fails.
    SetRelease("Skavo");
    BoundPort port;
    port.Bind("Nuxa1");
    EXPECT_EQ(port.CheckR2Versions(kMinFile.c_str(), 0), kRunFailed);
    EXPECT_TRUE(HasAll(port.out.text, {"requires the ZVKX image", "Wexal PCI-X Prom Image Rev: 0xC750\n",
                                       "Wexal  Func.Major.Minor Revision: 000.00.C75\n"}));
}

TEST_F(Revisions, VersionReport) {
    struct Row {
        const char* name;
        std::string command;
        DWORD result;
        std::vector<std::string> parts;
    };
    const Row rows[] = {
        {"main board, FPGAs not loaded", "Brimola1 <SCRport KZ-Version " + kMinFile + ">", 2,
         {"Brimola Versions:\nJastel Rev: 0x0021\nWexal  Func.Major.Minor Revision: 000.00.C75\n"
          "Wexal PCI-X Prom Image Rev: 0xC750\nWexal PCI Prom Image Rev:   0xC750\nBrimola HW Board Rev: 0x04\n"
          "Kerzil   ID.Major.Minor Revision: FFF.FF.FFF\n (not Loaded)\n",
          "Brimola MajorNum(ZB): 02\nBrimola MinorNum(ZC): 02\nRevision indices: 2 6 9\n"}},
        {"codec board, without a file", "Nuxa1 <SCRport KZ-Version>", 1,
         {"Nuxa Versions:\n", "Nuxa HW Board Rev: 0x04\nNuxa MajorNum(ZB): 02\nNuxa MinorNum(ZC): 02\nRevision indices: 3 7 10\n"}},
        {"a short file", "Nuxa1 <SCRport KZ-Version FILE=$(CWD)\\short.txt>", 2, {"Only found 1 entries Extected 27\n"}},
    };
    Dir().Write("short.txt", "A:1\n");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DWORD result = 0;
        EXPECT_TRUE(HasAll(Out(row.command, &result), row.parts));
        EXPECT_EQ(result, row.result);
    }
    ProgramKeyerAndPair();
    DWORD result = 0;
    EXPECT_TRUE(HasAll(Out("Brimola1 <SCRport KZ-Version>", &result), {"Kerzil   ID.Major.Minor Revision: 003.01.0A5\n"}));
    EXPECT_EQ(result, kRunPassed);
    SetRelease("Skavo");
    EXPECT_TRUE(HasAll(Out("Brimola1 <SCRport KZ-Version>", &result), {"requires the ZVKX image"}));
    EXPECT_EQ(result, kRunFailed);
}

}  // namespace
