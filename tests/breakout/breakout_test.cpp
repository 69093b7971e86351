// Tests of the breakout-box command classes, the console and the box set-up on the simulated rig.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "breakout/diag_packet.h"
#include "breakout/external_io.h"
#include "breakout/yorb_commands.h"
#include "devlib/rig.h"
#include "images/unpacked_image.h"
#include "platform/clock.h"
#include "sim/rig.h"
#include "tests/support/temp_dir.h"
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

TEST_F(BreakoutTest, BuildRefusesNumbersWiderThanTheirParameterAndNumbersForStreams) {
    // INT8, INT64, INT16, UINT8 and a byte stream, which takes no number. A number past its type's
    // width is refused (nothing set: it reads 0), never cut; within it a signed type takes the bit pattern.
    struct Row { const char* command; const char* param; const char* text; int builds; uint64_t sent; } rows[] = {
        {"GetVPDInfo", "Board", "0x1FF", 0, 0}, {"GetVPDInfo", "Board", "0xFF", 1, 0xFF},
        {"GetHWStatus", "SyncOffset", "4294967295", 1, 0xFFFFFFFFull},
        {"SetVideoIOControl", "Value", "0x12345", 0, 0}, {"SetVideoIOControl", "Value", "65535", 1, 0xFFFF},
        {"SetHVResizerEnable", "ResizerEnable", "321", 0, 0}, {"SetHVResizerEnable", "ResizerEnable", "255", 1, 255},
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

// Both length fields are big-endian 16-bit numbers: lengths past one byte keep their high byte, and
// the data runs to its last byte, up to the packet's storage.
TEST_F(BreakoutTest, PacketLengthsKeepBothBytesAndTheDataItsLastByte) {
    struct Row { DWORD length; BYTE buffer[2]; BYTE data[2]; } rows[] = {
        {1, {0x00, 0x03}, {0x00, 0x01}},     {254, {0x01, 0x00}, {0x00, 0xFE}}, {255, {0x01, 0x01}, {0x00, 0xFF}},
        {256, {0x01, 0x02}, {0x01, 0x00}},   {0x3FE, {0x04, 0x00}, {0x03, 0xFE}},
        {DiagDataBuffer::kMaxData, {0x07, 0xCA}, {0x07, 0xC8}},
    };
    std::vector<BYTE> data(DiagDataBuffer::kMaxData);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<BYTE>(i * 7 + 1);
    for (const Row& row : rows) {
        DiagDataPacket packet(9);
        ASSERT_EQ(packet.SetData(data.data(), row.length), 1) << row.length;
        EXPECT_EQ(packet.GetLength(), DiagDataPacket::kHeaderBytes + 2 + row.length) << row.length;
        const BYTE* bytes = packet.GetBytes();
        EXPECT_EQ(bytes[31], 9);
        EXPECT_EQ(std::memcmp(bytes + 32, row.buffer, 2), 0) << row.length;
        EXPECT_EQ(std::memcmp(bytes + 34, row.data, 2), 0) << row.length;
        EXPECT_EQ(std::memcmp(bytes + 36, data.data(), row.length), 0) << row.length;
        DiagDataBuffer buffer;
        ASSERT_EQ(buffer.SetData(data.data(), row.length), 1) << row.length;
        EXPECT_EQ(buffer.GetLength(), row.length + 2) << row.length;
        EXPECT_EQ(std::memcmp(buffer.GetBytes(), row.data, 2), 0) << row.length;
    }
    DiagDataBuffer buffer;
    for (DWORD refused : {0u, 0x10000u, DiagDataBuffer::kMaxData + 1}) EXPECT_EQ(buffer.SetData(data.data(), refused), 0) << refused;
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
        // 258 is no UINT8: refused, not sent as the 2 it would be cut to.
        {{"Yorb", "SetIOMode", "Type", "0", "Mode", "258"}, 0, 0, "", 2000},
        {{"Yorb", "SetVideoTransferType", "VideoTransferType", "1"}, 0, 0, "", 2000},
        {{"Yorb", tooLong.c_str()}, 0, 0, "", 2000}};
    BoundNulk nulk;
    for (const Row& row : rows) {
        int result = -1;
        EXPECT_EQ(nulk.Console(row.words, row.show, &result, row.capacity), row.output) << row.words.back();
        EXPECT_EQ(result, row.result) << row.words.back();
    }
    EXPECT_TRUE(nulk.out.HasColoured("YorbError: Device reports problem on this command.\n", CExternalIO::kRed));
    EXPECT_TRUE(nulk.out.HasColoured("YorbError: Mode=258 does not fit its UINT8 parameter\n", CExternalIO::kRed));
    EXPECT_EQ(support::Count(nulk.out.text, "YorbError"), 4u) << nulk.out.text;
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

namespace {

sim::BreakoutBox* Box() { return devlib::CurrentRig()->Boards()[0]->Box(); }

std::vector<std::string> Names(const CStrList& list) {
    std::vector<std::string> names;
    for (const CString& entry : list.GetEntries()) names.push_back(entry.str());
    return names;
}

// The HD list follows the run mode's switches; the SD list and the Nulk's size list do not.
TEST_F(BreakoutTest, FormatListsFollowTheRunModeAndFillTheResolutionLists) {
    const std::vector<std::string> sd = {"HVSDProjFmt_NTSC", "HVSDProjFmt_PAL", "HVSDProjFmt_NTSCJ"};
    struct Row { const char* cmdLine; size_t count; std::vector<std::string> first; } rows[] = {
        {"pexhost", 2, {"HVHDProjFmt_1080I_2997FPS", "HVHDProjFmt_720P_5997FPS"}},
        {"pexhost -ENGINEERING", 21, {"HVHDProjFmt_1080I_25FPS", "HVHDProjFmt_1080I_2997FPS"}},
        {"pexhost -REGRESSION", 3, {"HVHDProjFmt_1080I_2997FPS", "HVHDProjFmt_720P_5997FPS", "HVHDProjFmt_720P_60FPS"}},
        {"pexhost -ENGINEERING -REGRESSION", 13, {"HVHDProjFmt_1080I_25FPS"}}};
    for (const Row& row : rows) {
        support::InTempCwd cwd;
        cwd.Dir().Write("CmdLine", row.cmdLine);
        support::Recording<CBexi> bexi(nullptr, "CBexi");
        support::Recording<CNulk> nulk(nullptr, "CNulk");
        const std::vector<std::string> names = Names(*bexi.GetResolutionList());
        ASSERT_EQ(names.size(), row.count) << row.cmdLine;
        ASSERT_EQ(bexi.GetFormatList().size(), row.count);
        for (size_t i = 0; i < row.first.size(); ++i) EXPECT_EQ(names[i], row.first[i]) << row.cmdLine;
        for (size_t i = 0; i < row.count; ++i) {
            const ProjectFormatEntry& entry = bexi.GetFormatList()[i];
            EXPECT_EQ(entry.name.str(), names[i]);
            EXPECT_EQ(entry.width, entry.format <= 13 ? 1920u : 1280u) << entry.name;
            EXPECT_EQ(entry.height, entry.format <= 13 ? 1080u : 720u) << entry.name;
        }
        EXPECT_EQ(Names(*nulk.GetExternalResolutionList()), sd) << row.cmdLine;
        EXPECT_EQ(nulk.GetFormatList()[1].height, 576u);
        EXPECT_EQ(nulk.GetResolutionList()->GetAt(0).Left(4), CString("DIM="));
        EXPECT_TRUE(bexi.out.text.empty() && nulk.out.text.empty()) << bexi.out.text << nulk.out.text;
        // 13 entries: no 1080P 29.97 / 30 and no 720P but 59.94 and 60.
        if (row.count == 13) {
            for (const std::string& name : names) {
                EXPECT_TRUE(name.find("1080P_2997") == std::string::npos && name.find("1080P_30") == std::string::npos &&
                            (name.find("720P") == std::string::npos || name.find("720P_5997") != std::string::npos ||
                             name.find("720P_60") != std::string::npos))
                    << name;
            }
        }
    }
    support::InTempCwd cwd;
    cwd.Dir().Write("CmdLine", "pexhost -ENGINEERING");
    support::Recording<CBexi> bexi(nullptr, "CBexi");
    ASSERT_EQ(bexi.BuildFormatList(1), 1);
    EXPECT_EQ(bexi.BuildFormatList(4), 0);
    EXPECT_EQ(bexi.GetFormatList().size(), 21u);
    EXPECT_EQ(bexi.BuildFormatList(0), 1);
    EXPECT_EQ(bexi.GetFormatList().size(), 2u);
    EXPECT_EQ(Names(*bexi.GetResolutionList()).size(), 21u);  // not refilled by a rebuild
    EXPECT_EQ(FindProjectFormat(bexi.GetFormatList(), "DIM=(1920,1080)"), nullptr);
    ProjectFormatEntry entry{"unchanged", 99, 1, 1};
    EXPECT_FALSE(FindProjectFormat(0, &entry) || FindProjectFormat(25, &entry));
    EXPECT_EQ(entry.format, 99u);
    ASSERT_TRUE(FindProjectFormat(23, &entry));
    EXPECT_TRUE(entry.name == "HVSDProjFmt_PAL" && entry.width == 720 && entry.height == 576);
}

// Sleeps on the virtual clock until the box's frame counter has just stepped to value.
void WaitForCounter(CExternalIO& test, DWORD value) {
    RegisterPtr bar0 = test.GetBoardIF().GetMainBoardRegisters();
    ASSERT_TRUE(bar0);
    DWORD last = bar0[0x80208 / 4] >> 24 & 0x3F;
    for (int i = 0; i < 10000; ++i) {
        Sleep(1);
        const DWORD now = bar0[0x80208 / 4] >> 24 & 0x3F;
        if (now == value && last != value) return;
        last = now;
    }
    FAIL() << "the frame counter never reached " << value;
}

// The start frame is the counter plus the delay, modulo 64; frame 0 is the plain start command.
TEST_F(BreakoutTest, StartIOStartsAtTheFrameCounterPlusTheDelay) {
    struct Row { bool bexi; DWORD counter, delay; int verbose; int result; bool started, atFrame; uint64_t frame; const char* printed; } rows[] = {
        {false, 60, 8, 1, 1, true, true, 4, ""},
        {false, 56, 8, 2, 1, true, false, 0, "Nulk IO started\n"},
        {false, 10, 64, 1, 1, true, true, 10, ""},
        {false, 10, 65, 1, 0, false, false, 0, ""},
        {false, 10, 65, 2, 0, false, false, 0, "StartIO():  dwStartFrameDelay > 64!\n"},
        {true, 10, 100, 2, 1, true, true, 46, "Bexi IO started\n"},
        {true, 63, 1, 1, 1, true, false, 0, ""}};
    for (const Row& row : rows) {
        devlib::LoadDefaultRig();
        support::Recording<CBexi> bexi(nullptr, "CBexi");
        BoundNulk nulk;
        bexi.SetupDevice("Brimola1");
        CExternalIO& test = row.bexi ? static_cast<CExternalIO&>(bexi) : nulk;
        WaitForCounter(test, row.counter);
        const int result = row.bexi ? bexi.StartIO(row.delay, row.verbose) : nulk.StartIO(row.delay, row.verbose);
        EXPECT_EQ(result, row.result) << row.counter << "+" << row.delay;
        const sim::BoxVideoState& video = Box()->Video();
        EXPECT_EQ(video.started, row.started) << row.counter << "+" << row.delay;
        EXPECT_EQ(video.startAtFrame, row.atFrame) << row.counter << "+" << row.delay;
        if (row.atFrame) {
            EXPECT_EQ(video.startVideoFrame, row.frame) << row.counter << "+" << row.delay;
        }
        const support::OutputLog& out = row.bexi ? bexi.out : nulk.out;
        const std::string notice = row.verbose > 1 ? "SetupYorbflow():  External I/O is connected to BoB!\n" : "";
        EXPECT_EQ(out.text, notice + row.printed);
        if (row.started) {
            EXPECT_EQ(row.bexi ? bexi.StopIO(1) : nulk.StopIO(1), 1);
        }
        EXPECT_FALSE(Box()->Video().started);
    }
}

// Formats, I/O mode and resizer go out in order; the first refusal ends the sequence with its lines.
TEST_F(BreakoutTest, VideoSetUpSendsFormatsModeAndResizerAndStopsAtARefusal) {
    {
        support::Recording<CBexi> bexi(nullptr, "CBexi");
        bexi.SetupDevice("Brimola1");
        ASSERT_EQ(bexi.SetupVideoFormat(3, 3, 22, 3, 2), 1) << bexi.out.text;
        const sim::BoxVideoState& v = Box()->Video();
        EXPECT_TRUE(v.projectFormat == 3 && v.outputFormat == 3 && v.proxyFormat == 22 && v.inputFormat == 3 &&
                    v.ioMode[0] == 3 && v.resizer == 0);
        EXPECT_EQ(bexi.out.text, "SetupYorbflow():  External I/O is connected to BoB!\nPROJECT FORMAT:\t3\nOUTPUT FORMAT:\t3\nPROXY FORMAT:\t22\nINPUT FORMAT:\t\t3\n"
                                 "Bexi IO Mode = Type[0]  Mode[3]\nBexi ResizerEnable = 0\n");
        EXPECT_TRUE(bexi.out.HasColoured("PROXY FORMAT:\t22\n", CExternalIO::kBlue));
        BoundNulk nulk;
        ASSERT_EQ(nulk.SetupVideoFormat(23, 23, 23, 1), 1);
        EXPECT_EQ(nulk.out.text, "");  // quiet at verbose 1
        EXPECT_TRUE(Box()->Video().projectFormat == 23 && Box()->Video().proxyFormat == 0);
        ASSERT_EQ(nulk.SetupVideoFormat(22, 22, 22, 2), 1);
        EXPECT_TRUE(support::HasAll(nulk.out.text, {"OUTPUT FORMAT:\t22\nINPUT", "Nulk IO Mode = Type[0]  Mode[3]\n",
                                                    "Bexi ResizerEnable = 0\n"}));
        EXPECT_FALSE(nulk.out.Has("PROXY"));
        ASSERT_EQ(nulk.SetVideoTransport(5, 5, 2), 1);
        EXPECT_TRUE(Box()->Video().videoOutput == 5 && Box()->Video().videoInput == 5);
        EXPECT_TRUE(nulk.out.HasColoured("Nulk VideoOutput[5]\n", CExternalIO::kBlue) &&
                    nulk.out.HasColoured("Nulk VideoInput[5]\n", CExternalIO::kBlue));
    }
    const char* problem = "Device reports problem on this command.\n\n";
    struct Row { std::string faults; bool bexi; const char* line; const char* lastSent; } rows[] = {
        {CommandFails("HVInputFormat", 21), true, "ERROR:  Unable to set INPUT format = 22\n", "HVInputFormat"},
        {CommandFails("HVOutputFormat", 21), true, "ERROR:  Unable to set OUTPUT[22]/PROXY[0] format\n", "HVOutputFormat"},
        {CommandFails("HVOutputFormat", 21), false, "ERROR:  Unable to set OUTPUT[22] format\n", "HVOutputFormat"},
        {CommandFails("IOMode", 21), false, "Unable to set Nulk IO Mode = Type[0]  Mode[3]\n", "IOMode"},
        {CommandFails("HVResizerEnable", 21), false, "Unable to set Bexi ResizerEnable = 0\n", "HVResizerEnable"},
        {CommandFails("VideoInput", 21), false, "ERROR:  SetVideoTransport():  Unable to set Nulk VideoInput[5]\n", "VideoInput"},
        {Fault("box_device_silent", R"(, "device": "bexi")"), true, "ERROR:  Unable to set PROJECT format = 22\n",
         "HVProjectFormat"}};
    for (const Row& row : rows) {
        support::ScopedRig rig(BoxRig(row.faults));
        support::Recording<CBexi> bexi(nullptr, "CBexi");
        bexi.SetupDevice("Brimola1");
        BoundNulk nulk;
        const bool transport = std::string(row.lastSent) == "VideoInput";
        const int result = row.bexi ? bexi.SetupVideoFormat(22, 22, 0, 22, 1)
                                    : transport ? nulk.SetVideoTransport(5, 5, 1) : nulk.SetupVideoFormat(22, 22, 22, 1);
        EXPECT_EQ(result, 0) << row.line;
        const support::OutputLog& out = row.bexi ? bexi.out : nulk.out;
        EXPECT_TRUE(out.HasColoured(row.line, CExternalIO::kRed)) << out.text;
        if (row.faults.find("silent") == std::string::npos) {
            EXPECT_TRUE(out.HasColoured(problem, CExternalIO::kRed)) << out.text;
        }
        // Nothing goes out after the refused command; what went before stays set.
        EXPECT_EQ(Box()->Received().back().name, row.lastSent);
        if (std::string(row.lastSent) == "HVInputFormat") {
            EXPECT_EQ(Box()->Video().outputFormat, 22u);
        }
    }
}

}  // namespace

namespace {

// Without a parent every Run stops at once with its class's line, whatever the command.
TEST_F(BreakoutTest, ARunWithoutAParentSaysSo) {
    support::Recording<CCableLoopback> cable(nullptr, "CableLoopback");
    support::Recording<CBexi> bexi(nullptr, "CBexi");
    BoundNulk nulk;
    EXPECT_EQ(cable.Run("Loopback Functional"), kRunFailed);
    EXPECT_EQ(bexi.Run("Loopback Images"), kRunFailed);
    EXPECT_EQ(nulk.Run("Test Yorb Command ENABLE=1"), kRunFailed);
    EXPECT_TRUE(cable.out.HasColoured("CKerzil:  Parent is NULL\n", CExternalIO::kRed));
    EXPECT_TRUE(bexi.out.HasColoured("CKerzil:  Parent is NULL\n", CExternalIO::kRed));
    EXPECT_EQ(nulk.out.text, "CNulk:  Parent is NULL\n");
    EXPECT_FALSE(Box()->Video().loopback);
}

}  // namespace

namespace {

// A controller without its register block counts as no connector: nothing is moved.
TEST_F(BreakoutTest, AControllerWithoutItsRegistersCountsAsNoConnector) {
    BoundNulk nulk;  // its controller is missing altogether
    EXPECT_EQ(nulk.LoopbackFunctional(0, "", 1, 1), 0);
    EXPECT_TRUE(nulk.out.HasColoured("Loopback connector is not present\n", CExternalIO::kRed)) << nulk.out.text;
    EXPECT_FALSE(Box()->Video().loopback);  // switched off again on the way out
    support::Recording<CCableLoopback> cable(nullptr, "CableLoopback");
    cable.SetupDevice("Brimola1");
    Unpacked::Image::YCbCr_10_6 image(16, 8);
    Unpacked::Alpha::YCbCr_10_6 alpha(16, 8);
    EXPECT_EQ(cable.LoopbackImages(0, "", alpha, image, 1, 1), 0);
    EXPECT_TRUE(cable.out.HasColoured("Loopback connector is not present\n", CExternalIO::kRed)) << cable.out.text;
}

}  // namespace
