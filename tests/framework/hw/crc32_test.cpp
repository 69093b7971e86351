// Tests of the CRC-32/MPEG-2 of words, buffers and files against the published check and a bitwise reference.
#include "framework/hw/crc32.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// The published register update, one bit at a time over a byte stream, most significant bit first.
// Without swap each word enters as the processor reads it: its stored bytes last to first.
DWORD Reference(const BYTE* bytes, size_t n, DWORD crc, bool swap = true) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= DWORD{bytes[swap ? i : (i & ~size_t{3}) + 3 - (i & 3)]} << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

TEST(Crc32Test, WordBufferAndFileAgreeWithThePublishedCheckAndTheBitwiseRegister) {
    EXPECT_EQ(Reference(reinterpret_cast<const BYTE*>("123456789"), 9, 0xFFFFFFFF), 0x0376E6E7u);  // the catalogue's check value
    // A word is its four bytes, most significant first, through the byte-stream CRC.
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        const DWORD a = rng(), b = rng();
        const BYTE bytes[4] = {BYTE(b >> 24), BYTE(b >> 16), BYTE(b >> 8), BYTE(b)};
        ASSERT_EQ(Crc32Word(a, b), Reference(bytes, 4, a)) << std::hex << a << " " << b;
    }
    std::vector<BYTE> data = PatternBytes(4 * 10001 + 3, 42);
    // Short buffers take the table path; from 16 words on the folding path with a word tail; past 5000
    // words several progress pieces chained. Only a swap flag of 1 asks for the swap.
    for (size_t offset : {0, 3})
        for (size_t words : {1, 15, 16, 17, 31, 129, 5001, 10001})
            for (int swap : {0, 1, 2}) {
                const DWORD seed = rng();
                const BYTE* p = data.data() + offset;
                ASSERT_EQ(Crc32Buffer(reinterpret_cast<const DWORD*>(p), 4 * words, seed, swap), Reference(p, 4 * words, seed, swap == 1))
                    << "words " << words << " offset " << offset << " swap " << swap;
            }
    // No buffer, or a length that is not whole words: 0.
    const DWORD* words = reinterpret_cast<const DWORD*>(data.data());
    EXPECT_EQ(Crc32Buffer(words, 0, 0x1234, 1) + Crc32Buffer(words, 10, 0x1234, 1) + Crc32Buffer(nullptr, 8, 0x1234, 1), 0u);
    // Files are padded to whole words.
    TempDir dir;
    const auto file = [](const std::string& path, DWORD seed, BOOL swap) { return Crc32File(CString(path.c_str()), seed, swap); };
    const std::string five = dir.Write("five.bin", "abcde");
    const BYTE padded[8] = {'a', 'b', 'c', 'd', 'e', 0, 0, 0};
    EXPECT_EQ(file(five, 0xFFFFFFFF, 1), Reference(padded, 8, 0xFFFFFFFF, true));
    EXPECT_EQ(file(WindowsPath(five), 0xFFFFFFFF, 0), Reference(padded, 8, 0xFFFFFFFF, false)) << "a Windows path reaches the file";
    // An empty file gives 0, not the seed; a missing one gives the seed.
    EXPECT_EQ(file(dir.Write("empty.bin", ""), 0xFFFFFFFF, 1), 0u);
    EXPECT_EQ(file(dir / "missing.bin", 0xCAFEF00D, 1), 0xCAFEF00Du);
    std::vector<BYTE> big = PatternBytes(200004, 3);
    big[200003] = 0;
    EXPECT_EQ(file(dir.Write("big.bin", std::string(big.begin(), big.end() - 1)), 0, 1), Reference(big.data(), big.size(), 0, true));
}

}  // namespace
