// Flash PROM model: command decoding, erase and program on the virtual clock, identifier and CFI data, image-file storage.
#include "sim/flash_prom.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/file_errors.h"
#include "platform/files.h"

namespace sim {

static_assert(std::endian::native == std::endian::little, "the flash image file holds little-endian words");

namespace {

constexpr size_t kImageBytes = size_t{FlashProm::kWords} * 2;
constexpr int64_t kTicksPerMicro = kPerfFrequency / 1'000'000;

// CFI query words from offset 0x10: "QRY", Intel/Sharp extended command set with its table at
// 0x31, 2.7-3.6 V, typical times 2^8 us per word and per buffer, 2^9 ms per block erase, 8 MiB,
// x8/x16, 32-byte write buffer, one region of 64 blocks of 128 KiB, then "PRI" version 1.1.
constexpr uint8_t kQuery[] = {0x51, 0x52, 0x59, 0x01, 0x00, 0x31, 0x00, 0x00, 0x00, 0x00, 0x00, 0x27, 0x36,
                              0x00, 0x00, 0x08, 0x08, 0x09, 0x00, 0x01, 0x01, 0x02, 0x00, 0x17, 0x02, 0x00,
                              0x05, 0x00, 0x01, 0x3F, 0x00, 0x00, 0x02, 0x50, 0x52, 0x49, 0x31, 0x31};
constexpr uint32_t kQueryBase = 0x10;

}  // namespace

FlashProm::FlashProm(const FlashFaults& faults, uint32_t serial) : m_faults(faults) {
    // The factory's unique device number: any fixed value per board serves.
    uint32_t x = serial * 2654435761u + 0x5EED;
    for (auto& w : m_factoryId) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        w = static_cast<uint16_t>(x);
    }
}

FlashProm::~FlashProm() {
    if (m_mapping) munmap(m_mapping, kImageBytes);
}

FlashProm::ImageUse FlashProm::UseImageFile(const std::string& path, const std::string& ownRole, std::string* error) {
    auto refuse = [&](const std::string& what) {
        if (error) *error = "flash image \"" + path + "\": " + what;
        return ImageUse::Refused;
    };
    bool created = false;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) return refuse(std::string("cannot be read: ") + std::strerror(errno));
        // A new file takes what the chip holds now, whole or not at all.
        std::vector<uint16_t> words(kWords);
        ReadWords(0, words.data(), kWords);
        if (!platform::SaveOwnFile(path, words.data(), kImageBytes, ownRole))
            return refuse("cannot be created: " + platform::FileErrorText(errno).str());
        if (::stat(path.c_str(), &st) != 0) return refuse(std::string("cannot be read: ") + std::strerror(errno));
        created = true;
    }
    if (!S_ISREG(st.st_mode)) return refuse("is not a regular file, not a flash image");
    if (static_cast<size_t>(st.st_size) != kImageBytes)
        return refuse("is " + std::to_string(st.st_size) + " bytes, not a flash image of " + std::to_string(kImageBytes) + " bytes");
    std::string why;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd >= 0) {
        const bool mapped = MapImageFile(fd, why);
        ::close(fd);
        if (!mapped) return refuse(why);
        return created ? ImageUse::Created : ImageUse::Kept;
    }
    if (errno != EACCES && errno != EPERM && errno != EROFS) return refuse(std::string("cannot be opened: ") + std::strerror(errno));
    // A file kept from being written (a faulty flash kept as it is from run to run) is the board's
    // flash all the same: the board runs on its contents.
    const std::string unwritable = std::strerror(errno);
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return refuse(std::string("cannot be read: ") + std::strerror(errno));
    const bool read = ReadImageFile(fd, why);
    ::close(fd);
    if (!read) return refuse(why);
    if (error) *error = "flash image \"" + path + "\" cannot be written (" + unwritable + ")";
    return ImageUse::ReadOnly;
}

bool FlashProm::MapImageFile(int fd, std::string& why) {
    // The blocks of a file with holes (a blank flash made by truncate) are taken now: a full disk
    // met by a store through the mapping would end the process.
    int error;
    while ((error = ::posix_fallocate(fd, 0, static_cast<off_t>(kImageBytes))) == EINTR) {
    }
    if (error != 0) {
        why = "its blocks cannot be reserved: " + platform::FileErrorText(error).str();
        return false;
    }
    void* map = ::mmap(nullptr, kImageBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        why = std::string("cannot be mapped: ") + std::strerror(errno);
        return false;
    }
    if (m_mapping) ::munmap(m_mapping, kImageBytes);
    m_mapping = static_cast<uint16_t*>(map);
    for (uint32_t b = 0; b < kBlocks; ++b) {
        m_owned[b].reset();
        m_blocks[b] = m_mapping + size_t{b} * kBlockWords;
    }
    return true;
}

bool FlashProm::ReadImageFile(int fd, std::string& why) {
    std::unique_ptr<uint16_t[]> blocks[kBlocks];
    for (uint32_t b = 0; b < kBlocks; ++b) {
        blocks[b] = std::make_unique<uint16_t[]>(kBlockWords);
        char* at = reinterpret_cast<char*>(blocks[b].get());
        for (size_t done = 0; done < kBlockWords * 2;) {
            const ssize_t got = ::pread(fd, at + done, kBlockWords * 2 - done, static_cast<off_t>(size_t{b} * kBlockWords * 2 + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                why = std::string("cannot be read: ") + (got < 0 ? std::strerror(errno) : "it is shorter than a flash image");
                return false;
            }
            done += static_cast<size_t>(got);
        }
    }
    if (m_mapping) ::munmap(m_mapping, kImageBytes);
    m_mapping = nullptr;
    for (uint32_t b = 0; b < kBlocks; ++b) {
        m_owned[b] = std::move(blocks[b]);
        m_blocks[b] = m_owned[b].get();
    }
    return true;
}

uint16_t* FlashProm::Block(uint32_t block) {
    if (!m_blocks[block]) {
        m_owned[block] = std::make_unique<uint16_t[]>(kBlockWords);
        std::fill(m_owned[block].get(), m_owned[block].get() + kBlockWords, uint16_t{0xFFFF});
        m_blocks[block] = m_owned[block].get();
    }
    return m_blocks[block];
}

void FlashProm::EraseBlock(uint32_t block) {
    if (m_mapping) {
        std::fill(m_blocks[block], m_blocks[block] + kBlockWords, uint16_t{0xFFFF});
    } else {
        m_owned[block].reset();
        m_blocks[block] = nullptr;
    }
}

uint16_t FlashProm::Word(uint32_t address) const {
    address &= kWords - 1;
    const uint16_t* b = m_blocks[address / kBlockWords];
    return b ? b[address % kBlockWords] : 0xFFFF;
}

void FlashProm::ReadWords(uint32_t address, uint16_t* out, size_t count) const {
    while (count) {
        address &= kWords - 1;
        const uint32_t off = address % kBlockWords;
        const size_t n = std::min<size_t>(count, kBlockWords - off);
        const uint16_t* b = m_blocks[address / kBlockWords];
        if (b) std::memcpy(out, b + off, n * 2);
        else std::fill(out, out + n, uint16_t{0xFFFF});
        out += n;
        count -= n;
        address += static_cast<uint32_t>(n);
    }
}

void FlashProm::WriteWords(uint32_t address, const uint16_t* in, size_t count) {
    while (count) {
        address &= kWords - 1;
        const uint32_t off = address % kBlockWords;
        const size_t n = std::min<size_t>(count, kBlockWords - off);
        std::memcpy(Block(address / kBlockWords) + off, in, n * 2);
        in += n;
        count -= n;
        address += static_cast<uint32_t>(n);
    }
}

void FlashProm::WriteBytes(uint32_t address, const uint8_t* in, size_t count) {
    std::vector<uint16_t> words((count + 1) / 2);
    for (size_t i = 0; i < count / 2; ++i) words[i] = static_cast<uint16_t>(in[2 * i] | in[2 * i + 1] << 8);
    if (count & 1) words.back() = static_cast<uint16_t>((Word(address + static_cast<uint32_t>(count / 2)) & 0xFF00) | in[count - 1]);
    WriteWords(address, words.data(), words.size());
}

bool FlashProm::BlockLocked(uint32_t block) const {
    return std::find(m_faults.lockedBlocks.begin(), m_faults.lockedBlocks.end(), block) != m_faults.lockedBlocks.end();
}

const FlashErrorOn* FlashProm::Failing(const std::vector<FlashErrorOn>& list, uint32_t block) const {
    for (const auto& f : list)
        if (f.block < 0 || static_cast<uint32_t>(f.block) == block) return &f;
    return nullptr;
}

void FlashProm::Update() {
    if (m_op != Op::None && !m_faults.neverReady && platform::NowTicks() >= m_doneAt) Complete();
}

void FlashProm::Complete() {
    const Op op = m_op;
    m_op = Op::None;
    const bool locked = BlockLocked(m_opBlock);
    if (op == Op::Erase) {
        if (locked) m_status |= kEraseError | kLocked;
        else if (const FlashErrorOn* f = Failing(m_faults.eraseFails, m_opBlock)) m_status |= f->status ? f->status & 0x7F : kEraseError;
        else EraseBlock(m_opBlock);
    } else if (op == Op::Program) {
        if (locked) m_status |= kProgramError | kLocked;
        else if (const FlashErrorOn* f = Failing(m_faults.programFails, m_opBlock)) m_status |= f->status ? f->status & 0x7F : kProgramError;
        else
            for (const auto& [a, v] : m_buffer) {
                uint16_t* b = Block(a / kBlockWords);
                b[a % kBlockWords] &= v;  // programming only clears bits
            }
        m_buffer.clear();
    }
}

void FlashProm::SequenceError() {
    m_status |= kEraseError | kProgramError;
    m_mode = Mode::Status;
    m_cycle = Cycle::None;
    m_buffer.clear();
}

uint8_t FlashProm::Status() {
    Update();
    return static_cast<uint8_t>((m_op == Op::None ? kReady : 0) | (m_status & 0x7F));
}

bool FlashProm::Ready() {
    Update();
    return m_op == Op::None;
}

void FlashProm::Write(uint32_t address, uint16_t value) {
    Update();
    address &= kWords - 1;
    const uint8_t cmd = static_cast<uint8_t>(value);
    if (m_op != Op::None) {
        if (cmd == 0x70) m_mode = Mode::Status;
        return;
    }
    switch (m_cycle) {
    case Cycle::EraseConfirm:
        m_cycle = Cycle::None;
        if (cmd != 0xD0) return SequenceError();
        m_op = Op::Erase;
        m_opBlock = address / kBlockWords;
        m_doneAt = platform::NowTicks() + int64_t{m_faults.eraseMs} * 1000 * kTicksPerMicro;
        m_mode = Mode::Status;
        return;
    case Cycle::BufferCount:
        if (cmd > 15) return SequenceError();
        m_bufferCount = cmd + 1u;
        m_buffer.clear();
        m_cycle = Cycle::BufferData;
        return;
    case Cycle::BufferData:
        if (address < m_bufferBase || address >= m_bufferBase + 16) return SequenceError();
        m_buffer.emplace_back(address, value);
        if (m_buffer.size() == m_bufferCount) m_cycle = Cycle::BufferConfirm;
        return;
    case Cycle::BufferConfirm:
        m_cycle = Cycle::None;
        if (cmd != 0xD0) return SequenceError();
        m_op = Op::Program;
        m_opBlock = m_bufferBase / kBlockWords;
        m_doneAt = platform::NowTicks() + kProgramMicros * kTicksPerMicro;
        m_mode = Mode::Status;
        return;
    case Cycle::None: break;
    }
    switch (cmd) {
    case 0xFF: m_mode = Mode::Array; break;
    case 0x90: m_mode = Mode::Identifier; break;
    case 0x98: m_mode = Mode::Query; break;
    case 0x70: m_mode = Mode::Status; break;
    case 0x50:
        m_status = 0;
        m_mode = Mode::Array;
        break;
    case 0x20:
        m_cycle = Cycle::EraseConfirm;
        m_mode = Mode::Status;
        break;
    case 0xE8:
        // The write buffer is free whenever the chip is ready: status reads now answer 0x80.
        m_cycle = Cycle::BufferCount;
        m_bufferBase = address & ~0xFu;
        m_mode = Mode::Status;
        break;
    default: m_mode = Mode::Array; break;
    }
}

uint16_t FlashProm::IdentifierWord(uint32_t address) const {
    const uint32_t off = address % kBlockWords;
    switch (off) {
    case 0: return static_cast<uint16_t>(m_faults.manufacturer >= 0 ? m_faults.manufacturer : kManufacturer);
    case 1: return static_cast<uint16_t>(m_faults.device >= 0 ? m_faults.device : kDevice);
    case 2: return BlockLocked(address / kBlockWords) ? 1 : 0;
    case 0x80: return 0xFFFE;  // protection lock: factory segment locked (bit 0 clear), user segment open
    case 0x81: case 0x82: case 0x83: case 0x84: return m_factoryId[off - 0x81];
    case 0x85: case 0x86: case 0x87: case 0x88: return 0xFFFF;  // user segment, never programmed
    default: return 0;
    }
}

uint16_t FlashProm::QueryWord(uint32_t address) {
    const uint32_t off = address % kBlockWords;
    return off >= kQueryBase && off < kQueryBase + sizeof kQuery ? kQuery[off - kQueryBase] : 0;
}

uint16_t FlashProm::BusWord(uint32_t address) {
    uint16_t w;
    if (m_op != Op::None || m_mode == Mode::Status) w = Status();
    else if (m_mode == Mode::Identifier) w = IdentifierWord(address);
    else if (m_mode == Mode::Query) w = QueryWord(address);
    else w = Word(address);
    for (const auto& s : m_faults.stuckBits) w = static_cast<uint16_t>(s.value ? w | 1u << s.bit : w & ~(1u << s.bit));
    return w;
}

uint32_t FlashProm::ReadPair(uint32_t address) {
    Update();
    const uint32_t even = address & (kWords - 2);
    return uint32_t{BusWord(even)} | uint32_t{BusWord(even + 1)} << 16;
}

}  // namespace sim
