// Tests of the breakout-box command classes, the console and the box set-up on the simulated rig.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "breakout/diag_packet.h"
#include "breakout/external_io.h"
#include "breakout/yorb_commands.h"
#include "tests/support/output.h"
#include "tests/support/rig.h"
#include "yorbflow/yorb_command.h"
#include "yorbflow/wire/command_table.h"

namespace {

using YorbFlow::YorbCommand;

// A Nulk test bound to a board of the rig, its output kept.
struct BoundNulk : support::Recording<CNulk> {
    explicit BoundNulk(const char* board = "Brimola1") : support::Recording<CNulk>(nullptr, "CNulk") {
        if (board) SetupDevice(board);
    }
    // The console's answer as text, result in *result.
    std::string Console(std::vector<const char*> words, BYTE show, int* result, DWORD capacity = 2000) {
        std::vector<BYTE> reply(capacity + 1, 0xEE);
        DWORD length = 12345;
        SetShowValues(show);
        *result = RunYorbCommand(static_cast<int>(words.size()), words.data(), reply.data(), capacity, &length, 1);
        return std::string(reinterpret_cast<const char*>(reply.data()), length);
    }
};

// The conduit the Nulk test finds on its board, with every command that passes kept; a canned
// reply, or a result of its own, stands in for the box's answer when set.
class RecordingConduit : public CYorbFlowDevice {
public:
    explicit RecordingConduit(CNulk& nulk) : CYorbFlowDevice("Recorder", "recording conduit", nullptr) {
        CYorbNulk probe;
        EXPECT_EQ(nulk.SetupYorbflow(&probe, 1), 1);
        m_real = probe.GetDevice();
    }
    PARRTNTYPE DoYorbCommand(YorbCommand& command, YorbCommand* reply, DWORD flags, void* extra) override {
        sent.push_back(command);
        if (result != PAR_SUCCESS) return static_cast<PARRTNTYPE>(result);
        if (!canned) return m_real->DoYorbCommand(command, reply, flags, extra);
        *reply = *canned;
        return PAR_SUCCESS;
    }
    std::vector<YorbCommand> sent;
    const YorbCommand* canned = nullptr;
    int result = PAR_SUCCESS;
    CYorbFlowDevice* m_real = nullptr;
};

// A value of a command as the reply reader sees it: its bytes, host order, zero-extended;
// 0xABABABAB when it cannot be read.
uint64_t Read(const CYorbInterface& reader, const char* yorbName, const char* param, const YorbCommand& from) {
    uint64_t value = 0;
    DWORD size = sizeof value;
    return reader.GetReplyParam(yorbName, param, from, &value, &size) ? value : 0xABABABAB;
}

class BreakoutTest : public support::RigTest {};

TEST(YorbInterface, ValueTextsAreNumbersOfAtMost32BitsElseSymbols) {
    struct Row { const char* text; int number; DWORD value; } rows[] = {  // 7: left alone
        {"12", 1, 12}, {"0x1F", 1, 31}, {"0x1f", 1, 31}, {"0X1F", 0, 7}, {"-1", 0, 7}, {"+5", 0, 7},
        {" 1", 0, 7}, {"1.5", 0, 7}, {"abc0x12", 0, 7}, {"", 1, 7}, {"4294967295", 1, 0xFFFFFFFF},
        {"2147483648", 1, 0x80000000}, {"4294967296", 0, 7}, {"0xFFFFFFFF", 1, 0xFFFFFFFF},
        {"0x100000000", 0, 7}, {"99999999999999999999", 0, 7}};
    CYorbNulk command;
    for (const Row& row : rows) {
        DWORD value = 7;
        EXPECT_EQ(command.ParseValue(row.text, &value), row.number) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
}

TEST(YorbInterface, NamePrefixSetsDirectionAndIsNotPartOfTheLibraryName) {
    struct Row { const char* name; int accepted; int send; const char* yorbName; } rows[] = {
        {"setHVProjectFormat", 1, 1, "HVProjectFormat"}, {"SETHVProjectFormat", 1, 1, "HVProjectFormat"},
        {"GetVPDInfo", 1, 0, "VPDInfo"},  {"XyzVPDInfo", 1, 0, "VPDInfo"},
        {"ReadX", 0, 0, ""},  {"Get", 0, 0, ""},  {"", 0, 0, ""},  {"HVProjectFormat", 0, 0, ""}};
    for (const Row& row : rows) {
        CYorbNulk command;
        EXPECT_EQ(command.SetCommand(row.name), row.accepted) << row.name;
        EXPECT_EQ(command.IsSetCommand(), row.send) << row.name;
        EXPECT_EQ(command.GetYorbName(), CString(row.yorbName)) << row.name;
    }
}

TEST_F(BreakoutTest, BuildCutsNumbersToTheParameterWidthAndRefusesNumbersForStreams) {
    // INT8, INT64, INT16, UINT8 and a byte stream, which takes no number.
    struct Row { const char* command; const char* param; const char* text; int builds; uint64_t sent; } rows[] = {
        {"GetVPDInfo", "Board", "0x1FF", 1, 0xFF}, {"GetHWStatus", "SyncOffset", "4294967295", 1, 0xFFFFFFFFull},
        {"SetVideoIOControl", "Value", "0x12345", 1, 0x2345}, {"SetHVResizerEnable", "ResizerEnable", "321", 1, 65},
        {"SetDiagnostic", "DiagData", "12", 0, 0xABABABAB}};
    BoundNulk nulk;
    for (const Row& row : rows) {
        CYorbNulk command;
        ASSERT_TRUE(nulk.SetupYorbflow(&command, 1) && command.SetCommand(row.command) &&
                    command.AddParam(row.param, row.text)) << row.command;
        YorbCommand built;
        EXPECT_EQ(command.BuildCommand(built), row.builds) << row.command;
        EXPECT_EQ(Read(command, command.GetYorbName().c_str(), row.param, built), row.sent) << row.param;
    }
}

TEST_F(BreakoutTest, LoopbackPacketIsFortyBytesSentWithLength36) {
    const BYTE expected[40] = {'z', 'o', 'r', 'v', '_', 'd', 'i', 'a', 'g', 'n', 'o', 's', 't', 'i', 'c', 's',
                               0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   41,
                               0,   6,   0,   4,   1,   0,   0,   0};
    NulkLoopbackPacket packet;
    ASSERT_EQ(packet.SetEnable(1), 1);
    ASSERT_EQ(packet.GetLength(), 40u);
    EXPECT_EQ(std::memcmp(packet.GetBytes(), expected, 40), 0);
    BoundNulk nulk;
    Nulk::CYorbDiagData command(&packet);
    YorbCommand built;
    ASSERT_TRUE(nulk.SetupYorbflow(&command, 1) && command.BuildCommand(built));
    EXPECT_EQ(command.GetTypeCode(), CYorbInterface::kBytes);
    EXPECT_EQ(Read(command, "Diagnostic", "Length", built), 36u);
    BYTE stream[64];
    DWORD size = sizeof stream;
    ASSERT_TRUE(command.GetReplyParam("Diagnostic", "DiagData", built, stream, &size));
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(std::memcmp(stream, expected, 40), 0);
    packet.SetEnable(2);  // on only for exactly 1
    EXPECT_EQ(packet.GetData()[2], 0);
    static const BYTE data[DiagDataBuffer::kMaxData + 1] = {};
    EXPECT_EQ(packet.SetData(data, sizeof data), 0);  // past the packet's storage: refused, nothing changed
    EXPECT_EQ(packet.GetLength(), 40u);
}

std::string BoxRig(const std::string& faults = "[]", const char* attached = R"("breakout_box": true)") {
    return support::MainBoardRig(faults, std::string(R"(, "attached": {)") + attached + "}");
}

std::string Fault(const std::string& kind, const std::string& extra = "") {
    return R"([{"kind": ")" + kind + R"(", "board": "Brimola1")" + extra + "}]";
}

std::string CommandFails(const std::string& command, int status) {
    return Fault("box_command_fails", R"(,"command":")" + command + R"(","status":)" + std::to_string(status));
}

TEST_F(BreakoutTest, EveryResultOfTheBoxComesBackWithItsText) {
    struct Row { int status; const char* text; } rows[] = {
        {0, "Ignored?"}, {2, "earlier text"}, {3, "probable program error."}, {5, "an incorrect length."},
        {4, "the wrong type (string, int, array, etc)."}, {6, "a constant type, but a value must be set."},
        {7, "input parameters are missing or wrong."}, {8, "a parameters is missing or the wrong type."},
        {9, "value or symbol is not valid."}, {10, "time out expired."}, {11, "buffer or device overrun."},
        {12, "Timeout on send."}, {13, "Timeout on receive."}, {14, "not a recognized Yorb Command."},
        {15, "not a parameter to the Yorb Command."}, {16, "compiled an invalid Yorb symbolic constant."},
        {17, "Yorb send command would not compile."}, {18, "Yorb reply would no decompile."},
        {19, "The cable to the BoB is not connected."}, {20, "Device reports no support for this command."},
        {21, "Device reports problem on this command."}, {22, "Unrecognized error code"},
        {31, "Unrecognized error code"}};
    for (const Row& row : rows) {
        support::ScopedRig rig(BoxRig(CommandFails("HVInputFormat", row.status > 21 ? 21 : row.status)));
        BoundNulk nulk;
        RecordingConduit conduit(nulk);
        // The byte code carries the known results only; others can come from the conduit alone.
        if (row.status > 21) conduit.result = row.status;
        CYorbNulk command;
        command.SetDevice(&conduit);
        CString text = "earlier text";
        ASSERT_TRUE(command.SetCommand("SetHVInputFormat") && command.AddParam("InputFormat", "22") &&
                    command.AddParam("InputAlphaEnable", "0"));
        EXPECT_EQ(command.Send(text), 0) << row.status;
        EXPECT_EQ(text, CString(row.text)) << row.status;
        // A failed send keeps its parameters, also under a new name.
        EXPECT_EQ(command.SetCommand("SetHVProjectFormat"), 1);
        EXPECT_EQ(command.GetParams().size(), 2u);
    }
}

TEST_F(BreakoutTest, ReplyValuesComeWithTheirWidthAndStreamsRoundedToWords) {
    BoundNulk nulk;
    CYorbNulk command;
    ASSERT_EQ(nulk.SetupYorbflow(&command, 1), 1);
    YorbCommand reply;
    CString text;
    ASSERT_TRUE(command.SetCommand("GetHWConfigFB") && command.Send(text, &reply));
    // The box's documented revision record; the firmware text comes in 3 words.
    const std::string firmware = "FDK 2.14b";
    const BYTE revisions[12] = {2, 1, 1, 4, 3, 0, 1, 2, 2, 7, 1, 0};
    struct Row { const char* param; DWORD capacity; int result; DWORD size; } rows[] = {
        {"GorvendalisMajorRev", 0, 1, 1}, {"FirmwareRev", 0, 1, 12}, {"NoSuchParam", 0, 0, 99},
        {"BradolinMinorRev", 1, 1, 1}, {"FirmwareRev", 4, 1, 4}, {"FirmwareRev", 200, 1, 12}};
    for (const Row& row : rows) {
        char out[200];
        DWORD size = row.capacity ? row.capacity : 99;
        EXPECT_EQ(command.GetReplyParam("HWConfigFB", row.param, reply, row.capacity ? out : nullptr, &size),
                  row.result) << row.param;
        EXPECT_EQ(size, row.size) << row.param << " " << row.capacity;
    }
    YorbCommand wide("HWStatus");  // an 8-byte value is not written at all into 4 bytes
    wide.SetParamUInt64("FrameCount", 0x1122334455667788ull);
    DWORD small = 0, size = 4;
    EXPECT_TRUE(command.GetReplyParam("HWStatus", "FrameCount", wide, &small, &size) == 0 && small == 0);
    HWConfigFBRecord record;
    ASSERT_EQ(command.GetHWConfigFB(&record), 1);
    EXPECT_EQ(std::memcmp(record.revisions, revisions, 12), 0);
    EXPECT_EQ(std::string(record.firmwareRev), firmware);
}

TEST_F(BreakoutTest, StartIOIsASendAtFrameZeroElseAFrameRequest) {
    BoundNulk nulk;
    RecordingConduit conduit(nulk);
    CYorbNulk command;
    command.SetDevice(&conduit);
    ASSERT_EQ(command.SetStartIO(0, 5), 1);
    ASSERT_EQ(command.SetStartIO(3, 5), 1);
    ASSERT_EQ(conduit.sent.size(), 2u);
    EXPECT_STREQ(conduit.sent[0].GetCommandName(), "StartIO");
    EXPECT_TRUE(conduit.sent[0].IsSendCommand());
    EXPECT_EQ(conduit.sent[0].GetParamCount(), 0u);
    EXPECT_STREQ(conduit.sent[1].GetCommandName(), "StartIOFrame");
    EXPECT_TRUE(conduit.sent[1].IsRequestDataCommand());
    EXPECT_EQ(Read(command, "StartIOFrame", "VideoFrame", conduit.sent[1]), 3u);
    EXPECT_EQ(Read(command, "StartIOFrame", "AudioFrame", conduit.sent[1]), 5u);
    ASSERT_EQ(command.SetHVOutputFormat(22, 1), 1);
    EXPECT_EQ(Read(command, "HVOutputFormat", "SDProxyFormat", conduit.sent.back()), 0u);
    // A negative value goes as its text, a symbol the library does not have.
    EXPECT_EQ(command.SetHVProjectFormat(-1), 0);
    EXPECT_EQ(command.GetErrorText(), CString("compiled an invalid Yorb symbolic constant."));
}

TEST_F(BreakoutTest, RepliesAreReadOnlyIntoWhatTheCallersBufferHolds) {
    struct Row { uint16_t vpdSize; DWORD capacity; int result; DWORD written; } rows[] = {
        {0, 16, 0, 0}, {10, 16, 1, 12}, {10, 12, 1, 12}, {10, 10, 1, 10}, {10, 8, 0, 0}};
    BoundNulk nulk;
    RecordingConduit conduit(nulk);
    YorbCommand canned("VPDInfo");  // the answer to every command
    const std::string bytes(100, 'F');
    canned.SetParamByteStream("VPDInfo", bytes.data(), 16);
    canned.SetParamByteStream("FirmwareRev", bytes.data(), bytes.size());
    conduit.canned = &canned;
    CYorbNulk command;
    command.SetDevice(&conduit);
    for (const Row& row : rows) {
        canned.SetParamUInt16("VPDSize", row.vpdSize);
        BYTE buffer[20];
        std::memset(buffer, 0xEE, sizeof buffer);
        EXPECT_EQ(command.GetVPDInfo(0, buffer, row.capacity), row.result) << row.vpdSize << "/" << row.capacity;
        for (DWORD i = 0; i < sizeof buffer; ++i)
            EXPECT_EQ(buffer[i], i < row.written ? 'F' : 0xEE) << i << " of " << row.vpdSize << "/" << row.capacity;
    }
    HWConfigFBRecord record;  // a firmware text longer than the record holds is cut to it
    EXPECT_TRUE(command.GetHWConfigFB(&record) && std::string(record.firmwareRev) == std::string(64, 'F'));
}

TEST_F(BreakoutTest, ConsoleAnswersRequestsBySymbolOrValue) {
    support::ScopedRig rig(BoxRig(CommandFails("VideoTransferType", 21)));
    const std::string tooLong(2100, 'x');
    // Rows run in order on one box: the first sets what the later ones read.
    struct Row { std::vector<const char*> words; BYTE show; int result; const char* output; DWORD capacity; } rows[] = {
        {{"Yorb", "SetIOMode", "Type", "0", "Mode", "2"}, 0, 1, "", 2000},
        {{"Yorb", "GetIOMode", "Type", "0", "Mode"}, 0, 1, "GetIOMode Type IOMode_Video Mode IOMode_Capture ", 2000},
        {{"YorbV", "GetIOMode", "Type", "0", "Mode"}, 1, 1, "GetIOMode Type 0x0 Mode 0x2 ", 2000},
        {{"Yorb", "GETIOMode", "Type", "0", "Mode"}, 0, 1, "", 2000},
        {{"Yorb", "GetIOMode", "Type", "0", "Mode"}, 0, 0, "", 20},
        {{"Yorb"}, 0, 0, "", 2000},
        {{"Yorb", "SetStopIO"}, 0, 1, "", 2000},
        {{"Yorb", "GetHWConfigFB"}, 0, 1, "GetHWConfigFB ", 2000},
        {{"Yorb", "GetHWConfigFB", "NasperolMinorRev"}, 0, 1, "GetHWConfigFB NasperolMinorRev 0x7 ", 2000},
        {{"Yorb", "GetHWConfigFB", "FirmwareRev"}, 0, 1, "GetHWConfigFB FirmwareRev 0x204B4446 ", 2000},
        {{"Yorb", "GetIOMode", "Type", "0", "Bogus", "1"}, 0, 0, "", 2000},
        {{"Yorb", "SetIOMode", "Type", "0", "Mode", "9"}, 0, 0, "", 2000},
        {{"Yorb", "SetVideoTransferType", "VideoTransferType", "1"}, 0, 0, "", 2000},
        {{"Yorb", tooLong.c_str()}, 0, 0, "", 2000}};
    BoundNulk nulk;
    for (const Row& row : rows) {
        int result = -1;
        EXPECT_EQ(nulk.Console(row.words, row.show, &result, row.capacity), row.output) << row.words.back();
        EXPECT_EQ(result, row.result) << row.words.back();
    }
    EXPECT_TRUE(nulk.out.HasColoured("YorbError: Device reports problem on this command.\n", CExternalIO::kRed));
    EXPECT_EQ(support::Count(nulk.out.text, "YorbError"), 3u) << nulk.out.text;
}

TEST_F(BreakoutTest, SetUpNamesWhatIsOnTheConnector) {
    const char* none = "SetupYorbflow():  External I/O cable is not connected!\n";
    struct Row { const char* attached; const char* board; int verbose; int result; const char* printed; } rows[] = {
        {R"("breakout_box": true)", "Brimola1", 1, 1, ""},
        {R"("breakout_box": true)", "Brimola1", 2, 1, "SetupYorbflow():  External I/O is connected to BoB!\n"},
        {R"("loopback_cable": true)", "Brimola1", 1, 1, ""},
        {R"("loopback_cable": true)", "Brimola1", 2, 1,
         "SetupYorbflow():  External I/O is connected to loopback cable!\n"},
        {"", "Brimola1", 1, 0, none}, {"", "Brimola1", 2, 0, none},
        {R"("breakout_box": true)", nullptr, 1, 0, ""},
        {R"("breakout_box": true)", nullptr, 2, 0, "SetupYorbflow():  m_pDevice is NULL!\n"}};
    for (const Row& row : rows) {
        support::ScopedRig rig(BoxRig("[]", row.attached));
        BoundNulk nulk(row.board);
        CYorbNulk command;
        EXPECT_EQ(nulk.SetupYorbflow(&command, row.verbose), row.result) << row.attached << row.verbose;
        EXPECT_EQ(nulk.out.text, row.printed) << row.attached << row.verbose;
    }
}

// Each box fault fails the console, the loopback switch and the revision fetch with its message;
// the healthy box passes them quietly at verbose 1, and so does a board without the box's space fail.
TEST_F(BreakoutTest, BoxFaultsFailEveryOperationWithTheirMessage) {
    struct Row { std::string faults; int reads; int loopback; const char* message; } rows[] = {
        {"[]", 1, 1, ""},
        {Fault("missing_space", R"(, "space": "FarnoDeK")"), 0, 0, ""},
        {Fault("box_link_down"), 0, 0, "SetupYorbflow():  External I/O cable is not connected!\n"},
        {Fault("box_init_fails"), 0, 0, "SetupYorbflow():  Unable to initialize yorb flow device\n"},
        {Fault("box_no_conduit"), 0, 0, "SetupYorbflow():  Unable to get yorb flow device\n"},
        {Fault("box_device_silent", R"(, "device": "nulk")"), 0, 0, "YorbError: Timeout on receive.\n"},
        {Fault("box_reply_corrupt", R"(,"command":"HWConfigFB")"), 0, 1, "YorbError: Yorb reply would no decompile.\n"},
        {CommandFails("Diagnostic", 21), 1, 0, "Device reports problem on this command.\n\n"}};
    for (const Row& row : rows) {
        support::ScopedRig rig(BoxRig(row.faults));
        BoundNulk nulk;
        int result = -1;
        EXPECT_EQ(nulk.Console({"Yorb", "GetHWConfigFB"}, 0, &result), row.reads ? "GetHWConfigFB " : "") << row.faults;
        EXPECT_EQ(result, row.reads) << row.faults;
        EXPECT_EQ(nulk.TestYorbCommand(0, "ENABLE=1", 1), row.loopback) << row.faults;
        HWConfigFBRecord record;
        EXPECT_EQ(nulk.FetchRevisions(&record, 1), row.reads) << row.faults;
        EXPECT_TRUE(*row.message ? nulk.out.HasColoured(row.message, CExternalIO::kRed) : nulk.out.text.empty())
            << row.faults << "\n" << nulk.out.text;
        if (std::string(row.message).rfind("YorbError", 0) == 0) {
            EXPECT_TRUE(nulk.out.HasColoured("Unable to Fetch FarnoDeK Revisions\n", CExternalIO::kRed)) << row.faults;
        }
    }
    BoundNulk nulk;
    EXPECT_EQ(nulk.SetVideoLoopback(2, 2), 1);
    EXPECT_TRUE(nulk.out.HasColoured("Nulk Video loopback enabled\n", CExternalIO::kBlack));
}

}  // namespace

namespace {

// Every request the library knows reaches the box by name and its first reply value is read back.
TEST_F(BreakoutTest, EveryRequestOfTheLibraryIsAnsweredByTheBox) {
    BoundNulk nulk;
    for (size_t i = 0; i < YorbFlow::Wire::kCommandCount; ++i) {
        const YorbFlow::Wire::CommandEntry& c = YorbFlow::Wire::kCommands[i];
        if (!(c.directions & YorbFlow::Wire::DIR_REQUEST)) continue;
        const std::string name = std::string("Get") + c.name;
        const YorbFlow::Wire::ParamEntry* reply = c.params;
        while (reply < c.params + c.paramCount && !(reply->roles & YorbFlow::Wire::ROLE_REPLY)) ++reply;
        ASSERT_LT(reply, c.params + c.paramCount) << name << " has no reply value";
        int result = -1;
        const std::string text = nulk.Console({"Yorb", name.c_str(), reply->name}, 0, &result);
        EXPECT_EQ(result, 1) << name << ": " << nulk.out.text;
        EXPECT_GT(text.size(), name.size() + std::strlen(reply->name) + 3) << name;
        EXPECT_EQ(text.rfind(name + " " + reply->name + " ", 0), 0u) << text;
    }
}

// Each send of the command sets reaches the box and changes what its request answers.
TEST_F(BreakoutTest, CommandSetSendsChangeWhatTheBoxAnswers) {
    BoundNulk nulk;
    CYorbNulk command;
    ASSERT_EQ(nulk.SetupYorbflow(&command, 1), 1);
    struct Row { const char* name; std::function<int()> send; std::vector<const char*> request; const char* answer; };
    const Row rows[] = {
        {"project", [&] { return command.SetHVProjectFormat(23); }, {"Yorb", "GetHVProjectFormat", "ProjectFormat"},
         "GetHVProjectFormat ProjectFormat HVSDProjFmt_PAL "},
        {"output", [&] { return command.SetHVOutputFormat(22, 1); }, {"Yorb", "GetHVOutputFormat", "OutputFormat"},
         "GetHVOutputFormat OutputFormat HVSDFmt_NTSC "},
        {"input", [&] { return command.SetHVInputFormat(24, 0); }, {"Yorb", "GetHVInputFormat", "InputFormat"},
         "GetHVInputFormat InputFormat HVSDInFmt_NTSCJ "},
        {"I/O mode", [&] { return command.SetIOMode(1, 2); }, {"Yorb", "GetIOMode", "Type", "1", "Mode"},
         "GetIOMode Type IOMode_Audio Mode IOMode_Capture "},
        {"resizer", [&] { return command.SetHVResizerEnable(2); }, {"Yorb", "GetHVResizerEnable", "ResizerEnable"},
         "GetHVResizerEnable ResizerEnable HVResizer_SDProxy_Letterbox "},
        {"video output", [&] { return command.SetVideoOutput(5); }, {"Yorb", "GetVideoOutput", "VideoOut_Type"},
         "GetVideoOutput VideoOut_Type VideoOut_SDI "},
        {"video input", [&] { return command.SetVideoInput(3); }, {"Yorb", "GetVideoInput", "VideoInType"},
         "GetVideoInput VideoInType VideoInput_SVideo "},
    };
    for (const Row& row : rows) {
        int result = -1;
        const std::string before = nulk.Console(row.request, 0, &result);
        EXPECT_NE(before, row.answer) << row.name;
        EXPECT_EQ(row.send(), 1) << row.name << ": " << command.GetErrorText();
        EXPECT_EQ(nulk.Console(row.request, 0, &result), row.answer) << row.name;
    }
    EXPECT_EQ(command.SetStartIO(0, 0), 1);
    EXPECT_EQ(command.SetStopIO(), 1);
}

}  // namespace
