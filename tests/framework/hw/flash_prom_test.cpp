// Tests of CFlashPROM: command sequences on a scripted port, and erase, program, reads and faults on the rig's flash.
#include <type_traits>

#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

using Writes = std::vector<std::pair<DWORD, DWORD>>;

// The controller's address/data port as a script: it notes every data word with the address it went to,
// and every data read answers readValue.
class ScriptedPort : public CRegisterWindow {
public:
    DWORD Read(DWORD offset) override { return offset == 4 ? readValue : address; }
    void Write(DWORD offset, DWORD value) override { offset == 0 ? void(address = value) : void(writes.emplace_back(address, value)); }
    DWORD Size() const override { return 8; }
    bool WroteSequence(const Writes& s) const { return std::search(writes.begin(), writes.end(), s.begin(), s.end()) != writes.end(); }

    DWORD address = 0;
    DWORD readValue = 0x00800080;  // ready, in both halves
    Writes writes;
};


// The flash object of a flash image space, on the port of a main board's controller, with faults.
struct RigFlash {
    explicit RigFlash(const std::string& faults = "") : rig(MainBoardRig("[" + faults + "]")) {
        flash.Attach(test.GetBoardIF().GetRegisters() + CFlashPROM::kPortOffset / 4);
    }
    std::vector<WORD> Read(int address, int count) {
        std::vector<WORD> words(static_cast<size_t>(count), 0xAAAA);
        flash.ReadArray(count, address, words.data());
        return words;
    }
    ScopedRig rig;
    BoundTest test;
    CWexalFlashImageSpace space;
    CFlashPROM& flash = space.GetFlashPROM();
};
// The flash object keeps the chip's mode: a copy of its space would drive the port on a stale one.
static_assert(!std::is_copy_constructible_v<CWexalFlashImageSpace> && !std::is_copy_assignable_v<CWexalFlashImageSpace>);

constexpr int kDiagnosticBlock = 0x300000;  // erased in the healthy contents
const std::vector<BYTE> kBytes = PatternBytes(2 * CFlashPROM::kBlockWords, 9);
const std::vector<WORD> kBlock(reinterpret_cast<const WORD*>(kBytes.data()), reinterpret_cast<const WORD*>(kBytes.data()) + CFlashPROM::kBlockWords);

TEST(FlashPromTest, CommandsOnTheScriptedPort) {
    ScriptedPort port;
    CFlashPROM flash;
    // Detached, every operation fails and reads give zeros.
    std::vector<WORD> words(3, 0xAAAA);
    flash.ReadArray(2, 0x100, words.data());
    EXPECT_FALSE(words != std::vector<WORD>({0, 0, 0xAAAA}) || flash.SetMode(CFlashPROM::kReadIdentifier, FALSE) || flash.EraseBlock(0x10000) ||
                 flash.ProgramBlock(0x10000, kBlock.data()));
    flash.Attach(RegisterPtr(&port, 0));
    // A clear-status leaves the chip in read-array mode, so asking for it writes nothing, unless forced.
    EXPECT_TRUE(flash.SetMode(CFlashPROM::kQuery, FALSE) && flash.ClearStatus() && flash.SetMode(CFlashPROM::kReadArray, FALSE) &&
                flash.SetMode(CFlashPROM::kReadArray, TRUE));
    EXPECT_EQ(port.writes, (Writes{{0, 0x98}, {0, 0x70}, {0, 0x50}, {0, 0xFF}}));
    // Erase inside a block or outside the flash, and buffers crossing the end or a 16-word line: refused before any command.
    port.writes.clear();
    EXPECT_FALSE(flash.EraseBlock(0x18000) || flash.EraseBlock(-0x10000) || flash.EraseBlock(0x400000) ||
                 flash.WriteBuffer(0x3FFFF8, kBlock.data()) || flash.WriteBuffer(0x3FFFF1, kBlock.data()) || flash.WriteBuffer(-16, kBlock.data()));
    EXPECT_TRUE(std::none_of(port.writes.begin(), port.writes.end(), [](const auto& w) { return w.second == 0x20 || w.second == 0xE8E8; }));
    EXPECT_TRUE(flash.EraseBlock(0x10000) && port.WroteSequence({{0x10000, 0x20}, {0x10000, 0xD0}}));
    // Buffer request, count 16 (as 15), the words at their addresses, confirm.
    Writes program{{0x3FFFF0, 0xE8E8}, {0x3FFFF0, 0x0F0F}};
    for (DWORD i = 0; i < 16; ++i) program.emplace_back(0x3FFFF0 + i, kBlock[i]);
    program.emplace_back(0x3FFFF0, 0xD0);
    EXPECT_TRUE(flash.WriteBuffer(0x3FFFF0, kBlock.data()) && port.WroteSequence(program));
    // A status of 0x88 at the start: state 2.
    port.readValue = 0x00880088;
    EXPECT_TRUE(flash.EraseBlock(0) && flash.GetEraseRecord().state == FlashOpStatus::kStartedNotReady);
    // Bit 7 never comes: the erase gives up at its 2000 ms deadline.
    port.readValue = 0;
    LONGLONG frequency = 0;
    QueryPerformanceFrequency(&frequency);
    EXPECT_FALSE(flash.EraseBlock(0x20000));
    ASSERT_EQ(flash.GetEraseRecord().state * 100 + flash.GetEraseRecord().timer.GetCount(), FlashOpStatus::kTimedOut * 100 + FlashOpStatus::kStamps);
    const LONGLONG polled = flash.GetEraseRecord().timer.GetMark(9) - flash.GetEraseRecord().timer.GetMark(0);
    EXPECT_TRUE(polled >= 2 * frequency && polled < 2 * frequency + frequency / 10) << polled;
}

TEST(FlashPromTest, HealthyChipIsIdentifiedProgrammedAndReadBackAndAWrongIdentifierOrLockedBlockReported) {
    RigFlash board;
    FlashIDRecord id;
    ASSERT_TRUE(board.flash.ReadIdentifier(&id));
    // The 28F640J3's published codes; the factory half of the protection register locked, the user half blank and open.
    EXPECT_EQ((std::vector<DWORD>{id.manufacturer, id.device, id.factoryLocked, id.userLocked, DWORD(id.userWords[0] & id.userWords[1])}),
              (std::vector<DWORD>{0x89, 0x17, 1, 0, 0xFFFF}));
    EXPECT_EQ(board.Read(0x100002, 2), (std::vector<WORD>{0x9955, 0x66AA})) << "back in read-array mode: the PCIX load header";
    ASSERT_TRUE(board.flash.ProgramBlock(kDiagnosticBlock, kBlock.data()));
    EXPECT_EQ(board.flash.GetEraseRecord().state + board.flash.GetWriteRecord().state, 2 * FlashOpStatus::kStartedReady);
    EXPECT_EQ(board.Read(kDiagnosticBlock, static_cast<int>(CFlashPROM::kBlockWords)), kBlock);
    // An odd start takes the high half of the pair before it; reads are cut at the end of the flash.
    EXPECT_EQ(board.Read(kDiagnosticBlock + 5, 3), std::vector<WORD>(kBlock.begin() + 5, kBlock.begin() + 8));
    EXPECT_EQ(board.Read(0x3FFFFC, 6)[4], 0xAAAA);
    RigFlash faulty(R"({"kind": "flash_locked_block", "board": "Brimola1", "block": 60},
                      {"kind": "flash_wrong_id", "board": "Brimola1", "manufacturer": 4660, "device": 86})");
    FlashIDRecord wrongId;
    ASSERT_TRUE(faulty.flash.ReadIdentifier(&wrongId));
    EXPECT_EQ(wrongId.manufacturer * 0x10000 + wrongId.device, 0x12340056);
    for (int b = 0; b < 64; ++b) EXPECT_EQ((wrongId.lockBits[b / 8] >> (b % 8)) & 1, b == 60 ? 1 : 0) << b;
}

// Each flash fault ends its operation in a failed record; the contents read as the fault leaves them.
TEST(FlashPromTest, FlashFaultsEndInFailedOperations) {
    // program: a block program, else an erase; word: the block's first word afterwards (-1: as before, -2: not looked at).
    const struct { const char* fault; int block; bool program, ok; int state; DWORD last, lastMask; int word; } rows[] = {
        {R"({"kind": "flash_erase_fails", "board": "Brimola1", "block": 16})", 16, false, false, FlashOpStatus::kFailed, 0xA0, 0xFF, -1},
        {R"({"kind": "flash_program_fails", "board": "Brimola1", "block": 48})", 48, true, false, FlashOpStatus::kFailed, 0x90, 0xFF, 0xFFFF},
        {R"({"kind": "flash_locked_block", "board": "Brimola1", "block": 60})", 60, false, false, FlashOpStatus::kFailed, 0xA2, 0xFF, -1},
        {R"({"kind": "flash_never_ready", "board": "Brimola1"})", 48, false, false, FlashOpStatus::kTimedOut, 0, 0x80, -2},
        // Data line 0 stuck at 0: the erased array reads 0xFFFE.
        {R"({"kind": "flash_stuck_bit", "board": "Brimola1", "bit": 0, "value": 0})", 48, false, true, FlashOpStatus::kStartedReady, 0, 0, 0xFFFE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        RigFlash board(row.fault);
        const int at = row.block * 0x10000, before = board.Read(at, 1)[0];
        EXPECT_EQ(row.program ? board.flash.ProgramBlock(at, kBlock.data()) : board.flash.EraseBlock(at), row.ok ? TRUE : FALSE);
        const FlashOpStatus& record = row.program ? board.flash.GetWriteRecord() : board.flash.GetEraseRecord();
        EXPECT_EQ(record.state * 1000 + (record.lastStatus & row.lastMask), row.state * 1000 + row.last);
        EXPECT_TRUE(row.word == -2 || board.Read(at, 1)[0] == (row.word < 0 ? before : row.word));
    }
    // With data line 3 stuck at 1 every status reads 0x88: an erase still passes, a buffer write never does.
    RigFlash stuck(R"({"kind": "flash_stuck_bit", "board": "Brimola1", "bit": 3, "value": 1})");
    EXPECT_TRUE(stuck.flash.EraseBlock(kDiagnosticBlock) && stuck.flash.GetEraseRecord().state == FlashOpStatus::kStartedNotReady);
    EXPECT_FALSE(stuck.flash.WriteBuffer(kDiagnosticBlock, kBlock.data()));
}

}  // namespace
