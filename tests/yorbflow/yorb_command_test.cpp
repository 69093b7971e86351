// Tests of the breakout-box command library: byte code, compile refusals, replies, symbols.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "yorbflow/symbol_table.h"
#include "yorbflow/wire/command_table.h"
#include "yorbflow/yorb_command.h"

namespace {

using namespace YorbFlow;
using namespace YorbFlow::Wire;

TEST(YorbWire, Crc32MatchesPublishedCheckValues) {
    EXPECT_EQ(0xCBF43926u, Crc32(reinterpret_cast<const uint8_t*>("123456789"), 9));
    EXPECT_EQ(0x414FA339u, Crc32(reinterpret_cast<const uint8_t*>("The quick brown fox jumps over the lazy dog"), 43));
}

// Every type keeps its value through encode and decode; every damage of the code is refused.
TEST(YorbWire, RoundTripPerTypeAndDamageRefused) {
    struct Row { uint8_t type; uint64_t value; std::vector<uint8_t> bytes; };
    const Row rows[] = {{TYPE_INT8, 0x80, {}},          {TYPE_INT16, 0xFFFE, {}},    {TYPE_INT32, 0x80000001, {}},
                        {TYPE_INT64, ~0ull, {}},        {TYPE_UINT8, 0xA5, {}},      {TYPE_UINT16, 0x1234, {}},
                        {TYPE_UINT32, 0xDEADBEEF, {}},  {TYPE_UINT64, 0x0102030405060708ull, {}},
                        {TYPE_BYTES, 0, {1, 0, 0xFF}},  {TYPE_BYTES, 0, {}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(TypeCodeString(row.type));
        const Message sent{KIND_REPLY, RESULT_BAD_VALUE, "HWStatus", {{"P", row.type, row.value, row.bytes}, {"Q", TYPE_UINT8, 7, {}}}};
        std::vector<uint8_t> code;
        ASSERT_EQ(CMDSTATUS_OK, Encode(sent, code));
        EXPECT_EQ(kHeaderBytes + 8 + 3 + (row.type == TYPE_BYTES ? 4 + row.bytes.size() : TypeWidth(row.type)) + 3 + 1 + kCheckBytes,
                  code.size());
        Message got;
        ASSERT_EQ(CMDSTATUS_OK, Decode(code.data(), code.size(), got));
        EXPECT_TRUE(got.kind == KIND_REPLY && got.result == RESULT_BAD_VALUE && got.name == "HWStatus");
        ASSERT_EQ(2u, got.params.size());
        EXPECT_EQ(row.value, got.params[0].value);
        EXPECT_EQ(row.bytes, got.params[0].bytes);
        EXPECT_EQ(7u, got.Find("Q")->value);
        for (size_t bit = 0; bit < code.size() * 8; ++bit) {
            std::vector<uint8_t> damaged = code;
            damaged[bit / 8] ^= static_cast<uint8_t>(1 << bit % 8);
            EXPECT_EQ(CMDSTATUS_BAD_BYTE_CODE, Decode(damaged.data(), damaged.size(), got)) << "bit " << bit;
        }
        for (size_t size = 0; size < code.size(); ++size)
            EXPECT_EQ(CMDSTATUS_BAD_BYTE_CODE, Decode(code.data(), size, got)) << "cut to " << size;
    }
}

std::vector<Param> Params(size_t count) {
    std::vector<Param> params;
    for (size_t i = 0; i < count; ++i) params.push_back({"P" + std::to_string(i), TYPE_UINT8, i, {}});
    return params;
}

// Messages at each limit of the code go through and come back whole; one beyond, the encoder
// refuses rather than produce a code the decoder would misread.
TEST(YorbWire, EncodeTakesEachLimitAndRefusesWhatTheCodeCannotCarry) {
    struct Row { const char* why; Message message; CommandStatus_t status; };
    const Row rows[] = {
        {"empty name", {KIND_SEND, 0, "", {}}, CMDSTATUS_BAD_BYTE_CODE},
        {"blank in name", {KIND_SEND, 0, "IO Mode", {}}, CMDSTATUS_BAD_BYTE_CODE},
        {"name of 64", {KIND_SEND, 0, std::string(64, 'N'), {}}, CMDSTATUS_OK},
        {"name of 65", {KIND_SEND, 0, std::string(65, 'N'), {}}, CMDSTATUS_BAD_BYTE_CODE},
        {"parameter name of 64", {KIND_SEND, 0, "IOMode", {{std::string(64, 'P'), TYPE_UINT8, 0, {}}}}, CMDSTATUS_OK},
        {"parameter name of 65", {KIND_SEND, 0, "IOMode", {{std::string(65, 'P'), TYPE_UINT8, 0, {}}}}, CMDSTATUS_BAD_BYTE_CODE},
        {"result 21", {KIND_REPLY, 21, "IOMode", {}}, CMDSTATUS_OK},
        {"result 22", {KIND_REPLY, 22, "IOMode", {}}, CMDSTATUS_BAD_BYTE_CODE},
        {"kind 4", {static_cast<Kind>(4), 0, "IOMode", {}}, CMDSTATUS_BAD_BYTE_CODE},
        {"type 0", {KIND_SEND, 0, "IOMode", {{"Type", TYPE_ERROR, 0, {}}}}, CMDSTATUS_BAD_BYTE_CODE},
        {"type 10", {KIND_SEND, 0, "IOMode", {{"Type", 10, 0, {}}}}, CMDSTATUS_BAD_BYTE_CODE},
        {"stream of 64 KiB", {KIND_SEND, 0, "Diagnostic", {{"DiagData", TYPE_BYTES, 0, std::vector<uint8_t>(kMaxStreamBytes, 7)}}},
         CMDSTATUS_OK},
        {"stream too long", {KIND_SEND, 0, "Diagnostic", {{"DiagData", TYPE_BYTES, 0, std::vector<uint8_t>(kMaxStreamBytes + 1)}}},
         CMDSTATUS_TOO_LARGE},
        {"64 parameters", {KIND_SEND, 0, "IOMode", Params(kMaxParams)}, CMDSTATUS_OK},
        {"too many", {KIND_SEND, 0, "IOMode", std::vector<Param>(kMaxParams + 1, Param{"P", TYPE_UINT8, 0, {}})}, CMDSTATUS_TOO_LARGE},
        {"a name given twice", {KIND_SEND, 0, "IOMode", {{"Type", TYPE_UINT8, 0, {}}, {"Mode", TYPE_UINT8, 1, {}}, {"Type", TYPE_UINT8, 2, {}}}},
         CMDSTATUS_BAD_BYTE_CODE},
    };
    for (const Row& row : rows) {
        std::vector<uint8_t> code{1};
        EXPECT_EQ(row.status, Encode(row.message, code)) << row.why;
        EXPECT_EQ(row.status != CMDSTATUS_OK, code.empty()) << row.why;
        if (row.status != CMDSTATUS_OK) continue;
        Message got;
        ASSERT_EQ(CMDSTATUS_OK, Decode(code.data(), code.size(), got)) << row.why;
        EXPECT_EQ(row.message.name, got.name) << row.why;
        ASSERT_EQ(row.message.params.size(), got.params.size()) << row.why;
        for (size_t i = 0; i < got.params.size(); ++i)
            EXPECT_TRUE(got.params[i].name == row.message.params[i].name && got.params[i].bytes == row.message.params[i].bytes) << row.why;
    }
}

// Byte code written by hand, with its length and check made right: what another sender might
// send. One past each limit is refused even with a sound check.
std::vector<uint8_t> Sealed(uint8_t kind, uint8_t result, const std::string& name, size_t count, const std::vector<uint8_t>& params,
                            uint8_t version = kVersion, uint8_t reserved = 0) {
    std::vector<uint8_t> code{'Y', 'F', version, kind, result, static_cast<uint8_t>(name.size()), static_cast<uint8_t>(count), reserved, 0, 0, 0, 0};
    code.insert(code.end(), name.begin(), name.end());
    code.insert(code.end(), params.begin(), params.end());
    const size_t total = code.size() + kCheckBytes;
    for (int i = 0; i < 4; ++i) code[8 + i] = static_cast<uint8_t>(total >> (8 * i));
    const uint32_t crc = Crc32(code.data(), code.size());
    for (int i = 0; i < 4; ++i) code.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    return code;
}

// One parameter's bytes: name, type code, then value (or a stream's length and bytes).
std::vector<uint8_t> P(const std::string& name, uint8_t type, std::vector<uint8_t> value = {0}) {
    std::vector<uint8_t> out{static_cast<uint8_t>(name.size())};
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(type);
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

std::vector<uint8_t> Stream(uint32_t length) {
    std::vector<uint8_t> out{static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length >> 16), 0};
    out.resize(4 + length, 0x5A);
    return out;
}

std::vector<uint8_t> Repeat(size_t count) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < count; ++i) {
        const std::vector<uint8_t> p = P("P" + std::to_string(i), TYPE_UINT8);
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

TEST(YorbWire, DecodeTakesEachLimitAndRefusesOneBeyond) {
    const std::vector<uint8_t> u8 = P("A", TYPE_UINT8);
    std::vector<uint8_t> twice = P("A", TYPE_UINT8), other = P("B", TYPE_UINT8);
    twice.insert(twice.end(), u8.begin(), u8.end());
    other.insert(other.end(), u8.begin(), u8.end());
    struct Row { const char* why; std::vector<uint8_t> code; CommandStatus_t status; };
    const Row rows[] = {
        {"name of 64", Sealed(KIND_SEND, 0, std::string(64, 'N'), 0, {}), CMDSTATUS_OK},
        {"name of 65", Sealed(KIND_SEND, 0, std::string(65, 'N'), 0, {}), CMDSTATUS_BAD_BYTE_CODE},
        {"parameter name of 64", Sealed(KIND_SEND, 0, "X", 1, P(std::string(64, 'P'), TYPE_UINT8)), CMDSTATUS_OK},
        {"parameter name of 65", Sealed(KIND_SEND, 0, "X", 1, P(std::string(65, 'P'), TYPE_UINT8)), CMDSTATUS_BAD_BYTE_CODE},
        {"64 parameters", Sealed(KIND_SEND, 0, "X", 64, Repeat(64)), CMDSTATUS_OK},
        {"65 parameters", Sealed(KIND_SEND, 0, "X", 65, Repeat(65)), CMDSTATUS_BAD_BYTE_CODE},
        {"type 9", Sealed(KIND_SEND, 0, "X", 1, P("A", TYPE_BYTES, Stream(0))), CMDSTATUS_OK},
        {"type 10", Sealed(KIND_SEND, 0, "X", 1, P("A", 10, {})), CMDSTATUS_BAD_BYTE_CODE},
        {"stream of 64 KiB", Sealed(KIND_SEND, 0, "X", 1, P("A", TYPE_BYTES, Stream(kMaxStreamBytes))), CMDSTATUS_OK},
        {"stream of 64 KiB and 1", Sealed(KIND_SEND, 0, "X", 1, P("A", TYPE_BYTES, Stream(kMaxStreamBytes + 1))), CMDSTATUS_BAD_BYTE_CODE},
        {"kind 3", Sealed(KIND_REPLY, 1, "X", 0, {}), CMDSTATUS_OK},
        {"kind 4", Sealed(4, 0, "X", 0, {}), CMDSTATUS_BAD_BYTE_CODE},
        {"result 21", Sealed(KIND_REPLY, 21, "X", 0, {}), CMDSTATUS_OK},
        {"result 22", Sealed(KIND_REPLY, 22, "X", 0, {}), CMDSTATUS_BAD_BYTE_CODE},
        {"result in a command", Sealed(KIND_REQUEST, 1, "X", 0, {}), CMDSTATUS_BAD_BYTE_CODE},
        {"version 2", Sealed(KIND_SEND, 0, "X", 0, {}, 2), CMDSTATUS_BAD_BYTE_CODE},
        {"reserved byte", Sealed(KIND_SEND, 0, "X", 0, {}, kVersion, 1), CMDSTATUS_BAD_BYTE_CODE},
        {"two names", Sealed(KIND_SEND, 0, "X", 2, other), CMDSTATUS_OK},
        {"a name given twice", Sealed(KIND_SEND, 0, "X", 2, twice), CMDSTATUS_BAD_BYTE_CODE},
        {"a parameter fewer than counted", Sealed(KIND_SEND, 0, "X", 2, u8), CMDSTATUS_BAD_BYTE_CODE},
        {"a parameter more than counted", Sealed(KIND_SEND, 0, "X", 1, other), CMDSTATUS_BAD_BYTE_CODE},
    };
    for (const Row& row : rows) {
        Message got;
        EXPECT_EQ(row.status, Decode(row.code.data(), row.code.size(), got)) << row.why;
        EXPECT_EQ(row.status == CMDSTATUS_OK, !got.name.empty()) << row.why << ": a refused code leaves the message empty";
    }
}

TEST(YorbWire, TypeStringsAreExactAndCaseSensitive) {
    const char* const names[] = {"INT8", "INT16", "INT32", "INT64", "UINT8", "UINT16", "UINT32", "UINT64", "BYTES"};
    const int widths[] = {1, 2, 4, 8, 1, 2, 4, 8, 0};
    for (int code = 1; code <= 9; ++code) {
        EXPECT_STREQ(names[code - 1], TypeCodeString(code));
        EXPECT_EQ(code, TypeCodeFromString(names[code - 1]));
        EXPECT_EQ(widths[code - 1], TypeWidth(code));
    }
    for (const char* other : {"Error", "int8", "UINT8 ", "", "BYTE"}) EXPECT_EQ(0, TypeCodeFromString(other)) << other;
}

// What the box's helpers rely on: the commands sent by the video set-up, every type in use, and
// every console symbol parameter a parameter of its command.
TEST(YorbTable, CoversTheCommandsTypesAndConsoleParameters) {
    for (const char* name : {"HVProjectFormat", "HVOutputFormat", "HVInputFormat", "IOMode", "HVResizerEnable", "StartIO",
                             "StartIOFrame", "StopIO", "VideoOutput", "VideoInput", "HWConfigFB", "VPDInfo", "Diagnostic"})
        EXPECT_NE(nullptr, FindCommand(name)) << name;
    bool used[10] = {};
    for (size_t c = 0; c < kCommandCount; ++c)
        for (size_t p = 0; p < kCommands[c].paramCount; ++p) used[kCommands[c].params[p].type] = true;
    for (int code = 1; code <= 9; ++code) EXPECT_TRUE(used[code]) << TypeCodeString(code);
    int videoOutputs = 0;
    for (const YorbSymbolCommand& entry : YorbSymbolTable) {
        videoOutputs += std::strcmp(entry.name, "VideoOutput") == 0;
        const CommandEntry* command = FindCommand(entry.name);
        ASSERT_NE(nullptr, command) << entry.name;
        for (size_t p = 0; p < entry.count; ++p) {
            const ParamEntry* param = command->Find(entry.params[p].name);
            ASSERT_NE(nullptr, param) << entry.name << " " << entry.params[p].name;
            EXPECT_TRUE(param->roles & ROLE_REPLY) << entry.name << " " << entry.params[p].name;
        }
    }
    EXPECT_EQ(2, videoOutputs);
}

// Rows written from the firmware's list, not from the table's source.
TEST(YorbSymbols, LookupsBothWays) {
    struct Row { const char* command; const char* param; uint32_t value; const char* symbol; };  // symbol null: none for the value
    const Row rows[] = {
        {"IOMode", "Mode", 2, "IOMode_Capture"}, {"IOMode", "Type", 0, "IOMode_Video"},
        {"HVInputFormat", "InputFormat", 14, "HVHDInFmt_720P_5997FPS"},
        {"HVProjectFormat", "ProjectFormat", 23, "HVSDProjFmt_PAL"},
        {"HVResizerEnable", "ResizerEnable", 69, "HVResizer_1080fromCinamascope_CenterCrop"},
        {"HAMeasureSampleRate", "ClockToUse", 4, "HAMEasurePort1"}, {"VideoIOCalibration", "Type", 12, "VIOCal_HD_DVI"},
        {"VideoIOCalibration", "Control", 54, "VIOCal_HD_HDComponentFormat"}, {"VideoConfig", "HDFormat", 23, "HDFmt_720P_24FPS"},
        {"VideoOutput", "VideoOut_Type", 5, "VideoOut_SDI"}, {"HVHDVideoOutput", "HVHDVideoOutput", 8, "HDVideoOut_GBR"},
        {"LTCOutputSelectClockSource", "LTCClock", 1, "k_LTCClock_HD"}, {"VideoOutput", "VideoOut_Type", 4, nullptr},
        {"IOMode", "mode", 2, nullptr}, {"HVOutputFormat", "SDProxyFormat", 1, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.command) + " " + row.param + " " + std::to_string(row.value));
        const char* symbol = FindYorbSymbol(row.command, row.param, row.value);
        if (!row.symbol) {
            EXPECT_EQ(nullptr, symbol);
            continue;
        }
        EXPECT_STREQ(row.symbol, symbol);
        uint32_t value = 99;
        EXPECT_TRUE(FindYorbSymbolValue(row.command, row.param, row.symbol, &value));
        EXPECT_EQ(row.value, value);
    }
}

using Build = std::function<void(YorbCommand&)>;
using Box = std::function<int(const Message& got, std::vector<uint8_t>& reply)>;

Build Command(const char* name, bool send, Build more = {}) {
    return [=](YorbCommand& c) {
        c.SetCommandName(name);
        send ? c.SetupSendCommand() : c.SetupRequestDataCommand();
        if (more) more(c);
    };
}

// A box answering message, with one bit of byte `damage` flipped when it is not 0.
Box Answer(const Message& message, size_t damage = 0) {
    return [=](const Message&, std::vector<uint8_t>& out) {
        Encode(message, out);
        if (damage) out.at(damage) ^= 4;
        return int{RESULT_SUCCESS};
    };
}

// Each row: the command, what the box answers (or checks), and the device library's result.
TEST(YorbFactory, CompileRefusalsDamagedRepliesAndResults) {
    const Message ioMode{KIND_REPLY, RESULT_SUCCESS, "IOMode", {{"Type", TYPE_UINT8, 0, {}}, {"Mode", TYPE_UINT8, 2, {}}}};
    const Box unreached = [](const Message&, std::vector<uint8_t>&) { ADD_FAILURE() << "sent"; return 1; };
    const Box palChecked = [](const Message& got, std::vector<uint8_t>& out) {
        EXPECT_TRUE(got.kind == KIND_SEND && got.params.at(0).type == TYPE_UINT32 && got.params.at(0).value == 23);
        return Encode({KIND_REPLY, 1, "HVProjectFormat", {}}, out), 1;
    };
    struct Row { const char* why; Build build; Box box; int result; } const rows[] = {
        {"request answered", Command("IOMode", false), Answer(ioMode), RESULT_SUCCESS},
        {"symbol resolved", Command("HVProjectFormat", true, [](YorbCommand& c) { c.SetParamBySymbol("ProjectFormat", "HVSDProjFmt_PAL"); }),
         palChecked, RESULT_SUCCESS},
        {"unknown name", Command("IOModes", false), unreached, RESULT_UNKNOWN_COMMAND},
        {"empty name", Command("", false), unreached, RESULT_UNKNOWN_COMMAND},
        {"no direction", [](YorbCommand& c) { c.SetCommandName("IOMode"); }, unreached, RESULT_SEND_WOULD_NOT_COMPILE},
        {"negative as symbol", Command("HVProjectFormat", true, [](YorbCommand& c) { c.SetParamBySymbol("ProjectFormat", "-1"); }),
         unreached, RESULT_BAD_SYMBOL},
        {"symbol on a stream", Command("Diagnostic", true, [](YorbCommand& c) { c.SetParamUInt16("Length", 36), c.SetParamBySymbol("DiagData", "Fmt_Invalid"); }),
         unreached, RESULT_BAD_SYMBOL},
        {"send missing a parameter", Command("HVInputFormat", true, [](YorbCommand& c) { c.SetParamUInt32("InputFormat", 1); }), unreached,
         RESULT_SEND_WOULD_NOT_COMPILE},
        {"unknown parameter", Command("StopIO", true, [](YorbCommand& c) { c.SetParamUInt8("Now", 1); }), unreached, RESULT_SEND_WOULD_NOT_COMPILE},
        {"mistyped parameter", Command("HVResizerEnable", true, [](YorbCommand& c) { c.SetParamUInt32("ResizerEnable", 1); }), unreached,
         RESULT_SEND_WOULD_NOT_COMPILE},
        {"send of a request", Command("HWConfigFB", true), unreached, RESULT_SEND_WOULD_NOT_COMPILE},
        {"box refuses", Command("IOMode", false), Answer({KIND_REPLY, RESULT_BAD_VALUE, "IOMode", {}}), RESULT_BAD_VALUE},
        {"box silent", Command("IOMode", false), [](const Message&, std::vector<uint8_t>&) { return 13; }, RESULT_RECEIVE_TIMEOUT},
        {"bit flipped", Command("IOMode", false), Answer(ioMode, 14), RESULT_REPLY_WOULD_NOT_DECOMPILE},
        {"another command's reply", Command("VideoIOMode", false), Answer(ioMode), RESULT_REPLY_WOULD_NOT_DECOMPILE},
        {"command instead of reply", Command("StopIO", true), Answer({KIND_SEND, 0, "StopIO", {}}), RESULT_REPLY_WOULD_NOT_DECOMPILE},
        {"key-only parameter answered", Command("VPDInfo", false), Answer({KIND_REPLY, 1, "VPDInfo", {{"Board", TYPE_INT8, 0, {}}}}),
         RESULT_REPLY_WOULD_NOT_DECOMPILE},
        {"mistyped reply", Command("IOMode", false), Answer({KIND_REPLY, 1, "IOMode", {{"Mode", TYPE_UINT16, 2, {}}}}),
         RESULT_REPLY_WOULD_NOT_DECOMPILE},
    };
    for (const Row& row : rows) {
        YorbCommand command, reply;
        row.build(command);
        const int result = YorbCommandFactory::Transact(command, &reply, [&](const YorbCommandByteCode& code, YorbCommandByteCode& answer) {
            Message got;
            EXPECT_EQ(CMDSTATUS_OK, Decode(code.GetData(), code.GetSize(), got)) << row.why;
            return row.box(got, answer.Bytes());
        });
        EXPECT_EQ(row.result, result) << row.why;
        EXPECT_EQ(row.result == RESULT_SUCCESS, reply.IsReply()) << row.why;
    }
    // Validation compiles a bare name: 5 only for an unknown one; the size pointer may be null.
    YorbCommandByteCode code;
    CommandStatus_t status = CMDSTATUS_OK;
    EXPECT_FALSE(YorbCommandFactory::CompileYorbByteCode(YorbCommand("dX"), code, nullptr, &status));
    EXPECT_EQ(CMDSTATUS_UNKNOWN_COMMAND, status);
    EXPECT_FALSE(YorbCommandFactory::CompileYorbByteCode(YorbCommand("HVProjectFormat"), code, nullptr, &status));
    EXPECT_EQ(CMDSTATUS_NO_DIRECTION, status);
}

// Signed values come back sign-extended; a getter of another type, or of a missing name, leaves
// the caller's variable alone.
TEST(YorbCommand, TypedGettersThroughAReply) {
    YorbCommand request("HWStatus");
    request.SetupRequestDataCommand();
    YorbCommand reply;
    const Box box = Answer({KIND_REPLY, 1, "HWStatus", {{"SyncOffset", TYPE_INT64, ~1ull, {}}, {"FrameCount", TYPE_UINT64, 1ull << 40, {}}}});
    ASSERT_EQ(RESULT_SUCCESS, YorbCommandFactory::Transact(request, &reply, [&](const YorbCommandByteCode&, YorbCommandByteCode& out) {
        return box({}, out.Bytes());
    }));
    int64_t offset = 0;
    uint64_t frames = 0;
    EXPECT_TRUE(reply.GetParamInt64("SyncOffset", offset));
    EXPECT_EQ(-2, offset);
    EXPECT_TRUE(reply.GetParamUInt64("FrameCount", frames));
    EXPECT_EQ(1ull << 40, frames);
    uint32_t untouched = 77;
    EXPECT_FALSE(reply.GetParamUInt32("FrameCount", untouched));
    EXPECT_FALSE(reply.GetParamUInt32("Missing", untouched));
    EXPECT_EQ(77u, untouched);

}

// Copies are deep; setting a name again replaces it in place; streams are cut to the caller's length.
TEST(YorbCommand, CopiesAreDeepAndSettersReplaceInPlace) {
    const uint8_t data[] = {1, 2, 3, 4};
    YorbCommand original("Diagnostic");
    original.SetupSendCommand();
    original.SetParamUInt16("Length", 36);
    original.SetParamByteStream("DiagData", data, sizeof data);
    YorbCommand copy(original), assigned;
    assigned = original;
    const uint8_t other[] = {9};
    original.SetParamByteStream("DiagData", other, 1);
    original.SetCommandName("StopIO");
    EXPECT_EQ(2u, original.GetParamCount());
    for (const YorbCommand* kept : {&copy, &assigned}) {
        uint8_t got[3] = {};
        size_t copied = 0;
        EXPECT_STREQ("Diagnostic", kept->GetCommandName());
        EXPECT_TRUE(kept->IsSendCommand());
        EXPECT_TRUE(kept->GetParamByteStream("DiagData", got, sizeof got, &copied));
        EXPECT_EQ(3u, copied);
        EXPECT_EQ(0, std::memcmp(data, got, 3));
        EXPECT_TRUE(kept->GetParamByteStreamLength("DiagData", copied));
        EXPECT_EQ(4u, copied);
    }
}

TEST(YorbFactory, ParamTypeStrings) {
    struct Row { const char* command; const char* param; size_t bufferSize; const char* type; };  // type null: refused
    const Row rows[] = {
        {"VPDInfo", "Board", 20, "INT8"},       {"Diagnostic", "Length", 20, "UINT16"}, {"Diagnostic", "DiagData", 20, "BYTES"},
        {"HWStatus", "SyncOffset", 20, "INT64"}, {"UINT16", "Length", 20, nullptr},      {"Diagnostic", "length", 20, nullptr},
        {"Diagnostic", "Length", 7, "UINT16"},  {"Diagnostic", "Length", 6, nullptr},   {"", "", 20, nullptr},
    };
    for (const Row& row : rows) {
        char buffer[20] = "#";
        const bool ok = YorbCommandFactory::GetCommandParamTypeCodeString(row.command, row.param, row.bufferSize, buffer);
        EXPECT_EQ(row.type != nullptr, ok) << row.command << " " << row.param << " " << row.bufferSize;
        if (row.type) {
            EXPECT_STREQ(row.type, buffer);
        }
    }
}

}  // namespace
