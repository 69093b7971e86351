// Tests of CFlashPROM: command sequences on a scripted port, and erase, program, reads and faults on the rig's flash.
#include <type_traits>

#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

using Writes = std::vector<std::pair<DWORD, DWORD>>;

// The controller's address/data port as a script: it notes every word written to the data register
// with the address it went to, and every data read answers readValue.
class ScriptedPort : public CRegisterWindow {
public:
    DWORD Read(DWORD offset) override { return offset == 4 ? readValue : address; }
    void Write(DWORD offset, DWORD value) override {
        if (offset == 0) address = value;
        else writes.emplace_back(address, value);
    }
    DWORD Size() const override { return 8; }
    RegisterPtr Port() { return RegisterPtr(this, 0); }
    bool Wrote(DWORD value) const {
        return std::any_of(writes.begin(), writes.end(), [value](const auto& w) { return w.second == value; });
    }
    bool WroteSequence(const Writes& s) const { return std::search(writes.begin(), writes.end(), s.begin(), s.end()) != writes.end(); }

    DWORD address = 0;
    DWORD readValue = 0x00800080;  // ready, in both halves
    Writes writes;
};

std::vector<WORD> Words(size_t count, uint32_t seed) {
    std::vector<WORD> words(count);
    for (auto& w : words) w = static_cast<WORD>((seed = seed * 1664525u + 1013904223u) >> 16);
    return words;
}

// The flash object of a flash image space, on the port of a main board's controller, with faults.
struct RigFlash {
    explicit RigFlash(const std::string& faults = "")
        : rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "faults": [)" + faults + "]}") {
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
const std::vector<WORD> kBlock = Words(CFlashPROM::kBlockWords, 9);

TEST(FlashPromTest, ModeCommandsAreWrittenOnlyWhenTheModeChanges) {
    ScriptedPort port;
    CFlashPROM flash;
    EXPECT_FALSE(flash.SetMode(CFlashPROM::kReadIdentifier, FALSE));
    flash.Attach(port.Port());
    EXPECT_EQ(flash.GetMode(), CFlashPROM::kAttached);
    EXPECT_TRUE(flash.SetMode(CFlashPROM::kQuery, FALSE));
    EXPECT_EQ(port.writes, (Writes{{0, 0x98}}));
    // A clear-status leaves the chip in read-array mode, so asking for it writes nothing, unless forced.
    EXPECT_TRUE(flash.ClearStatus());
    EXPECT_EQ(port.writes.back(), (std::pair<DWORD, DWORD>{0, 0x50}));
    port.writes.clear();
    EXPECT_TRUE(flash.SetMode(CFlashPROM::kReadArray, FALSE));
    EXPECT_TRUE(port.writes.empty());
    EXPECT_TRUE(flash.SetMode(CFlashPROM::kReadArray, TRUE));
    EXPECT_EQ(port.writes, (Writes{{0, 0xFF}}));
    EXPECT_FALSE(flash.SetMode(6, TRUE));
    // The same port again changes nothing; a null port, mode 0 and Reset detach.
    flash.Attach(port.Port());
    EXPECT_EQ(flash.GetMode(), CFlashPROM::kReadArray);
    flash.Attach(nullptr);
    EXPECT_FALSE(flash.GetPort());
    flash.Attach(port.Port());
    EXPECT_TRUE(flash.SetMode(CFlashPROM::kDetached, FALSE));
    EXPECT_FALSE(flash.GetPort());
    flash.Attach(port.Port());
    EXPECT_EQ(flash.Reset(), 0);
    EXPECT_EQ(flash.GetMode(), CFlashPROM::kDetached);

    // Detached, every operation fails and reads give zeros.
    EXPECT_EQ(flash.ReadStatus(TRUE), 0);
    EXPECT_FALSE(flash.WaitReady(100) || flash.ClearStatus() || flash.CheckStatus(0) || flash.EraseBlock(0x10000) ||
                 flash.WriteBuffer(0x10000, kBlock.data()) || flash.ProgramBlock(0x10000, kBlock.data()));
    EXPECT_EQ(flash.GetEraseRecord().state, FlashOpStatus::kNotRun);
    FlashIDRecord id;
    std::memset(&id, 0x5A, sizeof id);
    EXPECT_FALSE(flash.ReadIdentifier(&id));
    EXPECT_EQ(std::count(reinterpret_cast<BYTE*>(&id), reinterpret_cast<BYTE*>(&id + 1), 0), 44);
    std::vector<WORD> words(8, 0xAAAA);
    flash.ReadArray(5, 0x100, words.data());
    EXPECT_EQ(words, (std::vector<WORD>{0, 0, 0, 0, 0, 0xAAAA, 0xAAAA, 0xAAAA}));
    flash.ReadWordsInMode(2, CFlashPROM::kReadIdentifier, 0, words.data() + 5);
    EXPECT_EQ(words, (std::vector<WORD>{0, 0, 0, 0, 0, 0, 0, 0xAAAA}));
}

TEST(FlashPromTest, EraseAndBufferAddressesMustLieOnTheirBoundaries) {
    ScriptedPort port;
    CFlashPROM flash;
    flash.Attach(port.Port());
    // Inside a block or outside the flash: refused after the clear-status, before any erase command.
    for (int bad : {0x18000, -0x10000, 0x400000}) EXPECT_FALSE(flash.EraseBlock(bad));
    EXPECT_TRUE(port.Wrote(0x50));
    EXPECT_FALSE(port.Wrote(0x20) || port.Wrote(0xD0));
    EXPECT_TRUE(flash.EraseBlock(0x10000));
    EXPECT_TRUE(port.WroteSequence({{0x10000, 0x20}, {0x10000, 0xD0}}));
    EXPECT_EQ(flash.GetEraseRecord().state, FlashOpStatus::kStartedReady);
    // Buffer request, count 16 (as 15), the words at their addresses, confirm.
    const std::vector<WORD> words = Words(16, 7);
    EXPECT_TRUE(flash.WriteBuffer(0x3FFFF0, words.data()));
    Writes program{{0x3FFFF0, 0xE8E8}, {0x3FFFF0, 0x0F0F}};
    for (DWORD i = 0; i < 16; ++i) program.emplace_back(0x3FFFF0 + i, words[i]);
    program.emplace_back(0x3FFFF0, 0xD0);
    EXPECT_TRUE(port.WroteSequence(program));
    for (int bad : {0x3FFFF8, 0x400000, 0x3FFFF1, -16}) {
        port.writes.clear();
        EXPECT_FALSE(flash.WriteBuffer(bad, words.data())) << std::hex << bad;
        EXPECT_FALSE(port.Wrote(0xE8E8)) << std::hex << bad;
    }
}

TEST(FlashPromTest, StatusRecordsTellHowAnOperationStartedAndEnded) {
    ScriptedPort port;
    CFlashPROM flash;
    flash.Attach(port.Port());
    // A status of 0x88 at the start, and still only 0x88 after a failure: state 2, then 3.
    port.readValue = 0x00880088;
    EXPECT_TRUE(flash.EraseBlock(0));
    EXPECT_EQ(flash.GetEraseRecord().state, FlashOpStatus::kStartedNotReady);
    EXPECT_EQ(flash.GetEraseRecord().firstStatus, 0x88u);
    EXPECT_FALSE(flash.WriteBuffer(0x20, Words(16, 1).data())) << "a buffer needs exactly 0x80";
    EXPECT_EQ(flash.GetWriteRecord().state, FlashOpStatus::kFailed);
    EXPECT_EQ(flash.GetWriteRecord().lastStatus, 0x88u);
    // Bit 7 never comes: the erase gives up at its 2000 ms deadline, stamped at the start, before
    // and after each of the first four polls, and the end.
    port.readValue = 0;
    LONGLONG frequency = 0;
    QueryPerformanceFrequency(&frequency);
    EXPECT_FALSE(flash.EraseBlock(0x20000));
    FlashOpStatus& erase = flash.GetEraseRecord();
    EXPECT_EQ(erase.state, FlashOpStatus::kTimedOut);
    ASSERT_EQ(erase.timer.GetCount(), FlashOpStatus::kStamps);
    for (int i = 1; i < FlashOpStatus::kStamps; ++i) EXPECT_LE(erase.timer.GetMark(i - 1), erase.timer.GetMark(i));
    const LONGLONG polled = erase.timer.GetMark(9) - erase.timer.GetMark(0);
    EXPECT_GE(polled, 2 * frequency);
    EXPECT_LT(polled, 2 * frequency + frequency / 10);
}

TEST(FlashPromTest, ABlockIsErasedProgrammedAndReadBack) {
    RigFlash board;
    CFlashPROM& flash = board.flash;
    EXPECT_EQ(flash.ReadStatus(TRUE), 0x80);
    const std::vector<WORD> before = board.Read(kDiagnosticBlock - 16, 16);
    ASSERT_TRUE(flash.ProgramBlock(kDiagnosticBlock, kBlock.data()));
    EXPECT_EQ(flash.GetEraseRecord().state, FlashOpStatus::kStartedReady);
    EXPECT_EQ(flash.GetEraseRecord().lastStatus, 0x80u);
    EXPECT_EQ(flash.GetEraseRecord().timer.GetCount(), FlashOpStatus::kStamps);
    EXPECT_EQ(flash.GetWriteRecord().state, FlashOpStatus::kStartedReady);
    EXPECT_EQ(board.Read(kDiagnosticBlock, static_cast<int>(CFlashPROM::kBlockWords)), kBlock);
    EXPECT_EQ(board.Read(kDiagnosticBlock - 16, 16), before) << "the block before is untouched";
    // An odd start takes the high half of the pair before it; the word-by-word path agrees; an even
    // start with an odd count ends on the low half of a pair.
    const std::vector<WORD> three(kBlock.begin() + 5, kBlock.begin() + 8);
    EXPECT_EQ(board.Read(kDiagnosticBlock + 5, 3), three);
    std::vector<WORD> single(3);
    flash.ReadWordsInMode(3, CFlashPROM::kReadArray, kDiagnosticBlock + 5, single.data());
    EXPECT_EQ(single, three);
    EXPECT_EQ(board.Read(kDiagnosticBlock + 8, 1), std::vector<WORD>{kBlock[8]});
    // Reads are cut at the end of the flash, leaving the rest of the buffer alone.
    const std::vector<WORD> tail = board.Read(0x3FFFFC, 10);
    EXPECT_EQ(std::count(tail.begin() + 4, tail.end(), WORD{0xAAAA}), 6);
    EXPECT_EQ(board.Read(0x400000, 1)[0] & board.Read(-2, 1)[0], 0xAAAA);
    // Block 1 holds the start of the SAFE image; erasing it leaves every word 0xFFFF.
    ASSERT_TRUE(flash.EraseBlock(0x10000));
    const std::vector<WORD> erased = board.Read(0x10000, static_cast<int>(CFlashPROM::kBlockWords));
    EXPECT_EQ(erased, std::vector<WORD>(CFlashPROM::kBlockWords, 0xFFFF));
    const std::vector<WORD> last = Words(16, 5);
    ASSERT_TRUE(flash.WriteBuffer(0x3FFFF0, last.data()));
    EXPECT_EQ(board.Read(0x3FFFF0, 16), last);
}

TEST(FlashPromTest, IdentifierRecordHoldsCodesLocksAndProtectionRegister) {
    {
        RigFlash board;
        FlashIDRecord id;
        ASSERT_TRUE(board.flash.ReadIdentifier(&id));
        // The 28F640J3's published codes; the factory half of the protection register locked, the
        // user half blank and open.
        EXPECT_EQ(id.manufacturer, 0x0089);
        EXPECT_EQ(id.device, 0x0017);
        EXPECT_EQ(std::count(std::begin(id.lockBits), std::end(id.lockBits), 0), 8);
        EXPECT_EQ(id.factoryLocked + 2 * id.userLocked, 1u);
        EXPECT_EQ(id.userWords[0] & id.userWords[1], 0xFFFF);
        // Back in read-array mode: the PCIX segment's load header.
        EXPECT_EQ(board.Read(0x100000, 6), (std::vector<WORD>{0xFFFF, 0xFFFF, 0x9955, 0x66AA, 0x000C, 0x8001}));
    }
    RigFlash board(R"({"kind": "flash_locked_block", "board": "Brimola1", "block": 60},
                      {"kind": "flash_wrong_id", "board": "Brimola1", "manufacturer": 4660, "device": 86})");
    FlashIDRecord id;
    ASSERT_TRUE(board.flash.ReadIdentifier(&id));
    EXPECT_EQ(id.manufacturer, 0x1234);
    EXPECT_EQ(id.device, 0x56);
    for (int b = 0; b < 64; ++b) EXPECT_EQ((id.lockBits[b / 8] >> (b % 8)) & 1, b == 60 ? 1 : 0) << b;
    EXPECT_FALSE(board.flash.EraseBlock(60 * 0x10000));
    EXPECT_EQ(board.flash.GetEraseRecord().lastStatus, 0xA2u) << "erase error, block locked";
}

TEST(FlashPromTest, FlashFaultsEndInFailedOperations) {
    {
        // The erase ends with its error bits; the clear-status in the check wipes them (state 3).
        RigFlash board(R"({"kind": "flash_erase_fails", "board": "Brimola1", "block": 16})");
        const std::vector<WORD> image = board.Read(0x100000, 64);
        EXPECT_FALSE(board.flash.EraseBlock(0x100000));
        EXPECT_EQ(board.flash.GetEraseRecord().state, FlashOpStatus::kFailed);
        EXPECT_EQ(board.flash.GetEraseRecord().lastStatus, 0xA0u);
        EXPECT_FALSE(board.flash.ProgramBlock(0x100000, kBlock.data()));
        EXPECT_EQ(board.Read(0x100000, 64), image);
        EXPECT_TRUE(board.flash.EraseBlock(0x110000)) << "other blocks erase";
    }
    {
        RigFlash board(R"({"kind": "flash_program_fails", "board": "Brimola1", "block": 48})");
        EXPECT_FALSE(board.flash.ProgramBlock(kDiagnosticBlock, kBlock.data()));
        EXPECT_EQ(board.flash.GetWriteRecord().state, FlashOpStatus::kFailed);
        EXPECT_EQ(board.flash.GetWriteRecord().lastStatus, 0x90u);
        EXPECT_EQ(board.Read(kDiagnosticBlock, 16), std::vector<WORD>(16, 0xFFFF));
    }
    {
        RigFlash board(R"({"kind": "flash_never_ready", "board": "Brimola1"})");
        EXPECT_FALSE(board.flash.EraseBlock(kDiagnosticBlock));
        EXPECT_EQ(board.flash.GetEraseRecord().state, FlashOpStatus::kTimedOut);
        EXPECT_EQ(board.flash.GetEraseRecord().lastStatus & 0x80, 0u);
        EXPECT_FALSE(board.flash.WaitReady(10) || board.flash.ClearStatus());
    }
    {
        // Data line 3 stuck at 1: every status reads 0x88. An erase still passes (no new bits), a
        // buffer write never does, and a failing erase ends in state 3.
        RigFlash board(R"({"kind": "flash_stuck_bit", "board": "Brimola1", "bit": 3, "value": 1},
                          {"kind": "flash_erase_fails", "board": "Brimola1", "block": 49})");
        EXPECT_EQ(board.flash.ReadStatus(TRUE), 0x88);
        EXPECT_TRUE(board.flash.EraseBlock(kDiagnosticBlock));
        EXPECT_EQ(board.flash.GetEraseRecord().state, FlashOpStatus::kStartedNotReady);
        EXPECT_FALSE(board.flash.WriteBuffer(kDiagnosticBlock, kBlock.data()));
        EXPECT_EQ(board.flash.GetWriteRecord().state, FlashOpStatus::kFailed);
        EXPECT_FALSE(board.flash.EraseBlock(0x310000));
        EXPECT_EQ(board.flash.GetEraseRecord().state, FlashOpStatus::kFailed);
        EXPECT_EQ(board.flash.GetEraseRecord().lastStatus, 0xA8u);
    }
    // Data line 0 stuck at 0: the erased array reads 0xFFFE; a missing image reads erased.
    EXPECT_EQ(RigFlash(R"({"kind": "flash_stuck_bit", "board": "Brimola1", "bit": 0, "value": 0})").Read(kDiagnosticBlock, 4),
              std::vector<WORD>(4, 0xFFFE));
    EXPECT_EQ(RigFlash(R"({"kind": "flash_missing_header", "board": "Brimola1", "segment": "PCIX"})").Read(0x100000, 6),
              std::vector<WORD>(6, 0xFFFF));
}

}  // namespace
