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

// Crc32Buffer and Crc32File print their progress on standard output; the tests keep it.
DWORD QuietBuffer(const void* p, DWORD bytes, DWORD seed, BOOL swap, std::string* printed = nullptr) {
    testing::internal::CaptureStdout();
    const DWORD crc = Crc32Buffer(static_cast<const DWORD*>(p), bytes, seed, swap);
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    return crc;
}

DWORD QuietFile(const std::string& path, DWORD seed, BOOL swap) {
    testing::internal::CaptureStdout();
    const DWORD crc = Crc32File(CString(path.c_str()), seed, swap);
    testing::internal::GetCapturedStdout();
    return crc;
}

TEST(Crc32Test, WordStepAgreesWithThePublishedValuesAndTheBitwiseRegister) {
    // The catalogue's check value of CRC-32/MPEG-2 pins the reference.
    EXPECT_EQ(Reference(reinterpret_cast<const BYTE*>("123456789"), 9, 0xFFFFFFFF), 0x0376E6E7u);
    // A word is its four bytes, most significant first, through the byte-stream CRC.
    EXPECT_EQ(Crc32Word(0xFFFFFFFF, 0x61626364), 0xC2B3CCB4u);
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        const DWORD a = rng(), b = rng();
        BYTE bytes[4] = {BYTE(b >> 24), BYTE(b >> 16), BYTE(b >> 8), BYTE(b)};
        ASSERT_EQ(Crc32Word(a, b), Reference(bytes, 4, a)) << std::hex << a << " " << b;
    }
}

TEST(Crc32Test, BufferMatchesReferenceOverLengthsSeedsAndAlignments) {
    const char abcd[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(QuietBuffer(abcd, 4, 0xFFFFFFFF, 0), 0xA62F1C36u);
    EXPECT_EQ(QuietBuffer(abcd, 4, 0xFFFFFFFF, 2), 0xA62F1C36u) << "only 1 asks for the swap";
    // No buffer, or a length that is not whole words: 0.
    for (DWORD bytes : {0u, 10u}) EXPECT_EQ(QuietBuffer(abcd, bytes, 0x1234, 1), 0u) << bytes;
    EXPECT_EQ(QuietBuffer(nullptr, 8, 0x1234, 1), 0u);
    std::mt19937 rng(42);
    std::vector<BYTE> data(4 * 10001 + 3);
    for (BYTE& b : data) b = static_cast<BYTE>(rng());
    // Short buffers take the table path; from 16 words on the folding path, with a word tail, and
    // past 5000 words several progress pieces chained.
    for (size_t offset : {0, 3})
        for (size_t words : {1, 15, 16, 17, 31, 129, 256, 5001, 10001})
            for (int swap = 0; swap < 2; ++swap) {
                const DWORD seed = rng();
                const BYTE* p = data.data() + offset;
                ASSERT_EQ(QuietBuffer(p, static_cast<DWORD>(4 * words), seed, swap), Reference(p, 4 * words, seed, swap == 1))
                    << "words " << words << " offset " << offset << " swap " << swap;
            }
    std::string printed;
    QuietBuffer(data.data(), 5001 * 4, 0, 1, &printed);
    EXPECT_EQ(printed, "..\n") << "one progress dot per piece of up to 5000 words";
}

TEST(Crc32Test, FilesArePaddedToWholeWords) {
    TempDir dir;
    const std::string five = dir.Write("five.bin", "abcde");
    const BYTE padded[8] = {'a', 'b', 'c', 'd', 'e', 0, 0, 0};
    EXPECT_EQ(QuietFile(five, 0xFFFFFFFF, 1), Reference(padded, 8, 0xFFFFFFFF, true));
    EXPECT_EQ(QuietFile(WindowsPath(five), 0xFFFFFFFF, 0), Reference(padded, 8, 0xFFFFFFFF, false)) << "a Windows path reaches the file";
    // An empty file gives 0, not the seed; a missing one gives the seed.
    EXPECT_EQ(QuietFile(dir.Write("empty.bin", ""), 0xFFFFFFFF, 1), 0u);
    EXPECT_EQ(QuietFile(dir / "missing.bin", 0xCAFEF00D, 1), 0xCAFEF00Du);
    std::mt19937 rng(3);
    std::vector<BYTE> big(200004, 0);
    for (size_t i = 0; i < 200003; ++i) big[i] = static_cast<BYTE>(rng());
    EXPECT_EQ(QuietFile(dir.Write("big.bin", std::string(big.begin(), big.end() - 1)), 0, 1), Reference(big.data(), big.size(), 0, true));
}

}  // namespace
