// The flash PROM of a board: an Intel-compatible 64-Mbit chip (28F640J3 type) with CFI, its timing on the virtual clock, its faults, and file-backed contents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/rig_config.h"

namespace sim {

// 0x400000 16-bit words in 64 blocks of 0x10000 words. The bus side is the board controller's
// port: word writes (commands and data; commands are the low byte) and 32-bit reads of the word
// pair at the even address. Commands: 0xFF read array, 0x90 read identifier, 0x98 CFI query, 0x70
// read status, 0x50 clear status (back to read array), 0x20 + 0xD0 block erase, 0xE8 + count-1 +
// data + 0xD0 buffered program of up to 16 words inside one 16-word-aligned buffer. Any other byte
// puts the chip in read-array mode. Erase and program take their time on the virtual clock; while
// they run, status reads show bit 7 clear and other commands are ignored (0x70 excepted).
//
// Status register: 0x80 ready; 0x20 erase error, 0x10 program error (both: command sequence
// error), 0x02 the block is locked.
class FlashProm {
public:
    static constexpr uint32_t kWords = 0x400000;
    static constexpr uint32_t kBlockWords = 0x10000;
    static constexpr uint32_t kBlocks = kWords / kBlockWords;
    static constexpr uint16_t kManufacturer = 0x0089;
    static constexpr uint16_t kDevice = 0x0017;
    // Typical times of the part, which its CFI table gives as powers of two (a slow part's erase
    // takes the faults' eraseMs instead).
    static constexpr int64_t kEraseMicros = 512'000;
    static constexpr int64_t kProgramMicros = 256;

    static constexpr uint8_t kReady = 0x80, kEraseError = 0x20, kProgramError = 0x10, kLocked = 0x02;

    // serial: seeds the factory unique device number of the protection register.
    FlashProm(const FlashFaults& faults, uint32_t serial);
    ~FlashProm();
    FlashProm(const FlashProm&) = delete;
    FlashProm& operator=(const FlashProm&) = delete;

    // How UseImageFile keeps the array.
    enum class ImageUse {
        Refused,   // the file cannot be used: error says why; the array is as it was
        Created,   // there was no file: one was made from the array, whole, and is kept from now on
        Kept,      // the file's contents replaced the array and every change reaches the file at once
        ReadOnly,  // the file may be read but not written: its contents replaced the array, and
                   // changes stay in memory (error says why it cannot be written)
    };
    // Keeps the array in a raw image file (kWords little-endian words). A missing file is made
    // from the current array as a save makes a file (a temporary beside it renamed into place), so
    // a full disk or a signal leaves no file or a whole one; ownRole is what the run protects it
    // as. An existing file has its blocks reserved before it is mapped, so that a full disk fails
    // here and never a write through the mapping.
    ImageUse UseImageFile(const std::string& path, const std::string& ownRole, std::string* error);

    // Bus side.
    uint32_t ReadPair(uint32_t address);
    void Write(uint32_t address, uint16_t value);
    // The STS pin: high while no erase or program runs.
    bool Ready();
    uint8_t Status();

    // Array side, for the board's contents, the controller's mirror and tests: no command, fault or time.
    uint16_t Word(uint32_t address) const;
    void ReadWords(uint32_t address, uint16_t* out, size_t count) const;
    void WriteWords(uint32_t address, const uint16_t* in, size_t count);
    // Stores bytes as words, byte 2i in the low half of word i; an odd last byte keeps the high half.
    void WriteBytes(uint32_t address, const uint8_t* in, size_t count);
    bool BlockLocked(uint32_t block) const;

private:
    enum class Mode { Array, Status, Identifier, Query };
    enum class Cycle { None, EraseConfirm, BufferCount, BufferData, BufferConfirm };
    enum class Op { None, Erase, Program };

    void Update();
    void Complete();
    void SequenceError();
    uint16_t BusWord(uint32_t address);
    uint16_t IdentifierWord(uint32_t address) const;
    static uint16_t QueryWord(uint32_t address);
    uint16_t* Block(uint32_t block);  // allocates an erased block when needed
    bool MapImageFile(int fd, std::string& why);
    bool ReadImageFile(int fd, std::string& why);
    void EraseBlock(uint32_t block);
    const FlashErrorOn* Failing(const std::vector<FlashErrorOn>& list, uint32_t block) const;

    FlashFaults m_faults;
    uint16_t m_factoryId[4] = {};

    // Storage: 64 block pointers; a null block reads erased. In memory, blocks are allocated on
    // first write; with an image file they point into its mapping.
    uint16_t* m_blocks[kBlocks] = {};
    std::unique_ptr<uint16_t[]> m_owned[kBlocks];
    uint16_t* m_mapping = nullptr;

    Mode m_mode = Mode::Array;
    Cycle m_cycle = Cycle::None;
    uint8_t m_status = kReady;
    uint32_t m_bufferBase = 0;
    uint32_t m_bufferCount = 0;
    std::vector<std::pair<uint32_t, uint16_t>> m_buffer;

    Op m_op = Op::None;
    int64_t m_doneAt = 0;  // tick the running operation completes
    uint32_t m_opBlock = 0;
};

}  // namespace sim
