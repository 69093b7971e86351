// Tests of the CRC-32/MPEG-2 of words, buffers and files against the published check and a bitwise reference.
#include "framework/hw/crc32.h"
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

// The published register update, one bit at a time over a byte stream, most significant bit first.
DWORD ReferenceCrc(const BYTE* bytes, size_t n, DWORD crc) {
    for (size_t i = 0; i < n; ++i) {
        crc ^= DWORD{bytes[i]} << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

DWORD ReferenceCrc(const std::string& s, DWORD crc) {
    return ReferenceCrc(reinterpret_cast<const BYTE*>(s.data()), s.size(), crc);
}

// Without the swap flag each word enters as the processor reads it: its stored bytes last to first.
DWORD ReferenceWords(const BYTE* bytes, size_t n, DWORD seed, bool swap) {
    std::vector<BYTE> stream(bytes, bytes + n);
    if (!swap)
        for (size_t i = 0; i + 4 <= n; i += 4) std::swap(stream[i], stream[i + 3]), std::swap(stream[i + 1], stream[i + 2]);
    return ReferenceCrc(stream.data(), n, seed);
}

// Crc32Buffer prints its progress on standard output; the tests keep it.
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
    // The catalogue's check value of CRC-32/MPEG-2 and the worked value of "abcd" pin the reference.
    EXPECT_EQ(ReferenceCrc("123456789", 0xFFFFFFFF), 0x0376E6E7u);
    EXPECT_EQ(ReferenceCrc("abcd", 0xFFFFFFFF), 0xC2B3CCB4u);
    // A word is its four bytes, most significant first, through the byte-stream CRC.
    EXPECT_EQ(Crc32Word(0xFFFFFFFF, 0x61626364), 0xC2B3CCB4u);
    std::mt19937 rng(7);
    const DWORD edges[] = {0, 1, 0x80000000u, 0xFFFFFFFFu, 0x04C11DB7u};
    for (int i = 0; i < 1000; ++i) {
        const DWORD a = i < 25 ? edges[i / 5] : rng(), b = i < 25 ? edges[i % 5] : rng();
        BYTE bytes[4] = {BYTE(b >> 24), BYTE(b >> 16), BYTE(b >> 8), BYTE(b)};
        ASSERT_EQ(Crc32Word(a, b), ReferenceCrc(bytes, 4, a)) << std::hex << a << " " << b;
    }
}

TEST(Crc32Test, BufferWorkedValuesAndBadBuffers) {
    const char abcd[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(QuietBuffer(abcd, 4, 0xFFFFFFFF, 1), 0xC2B3CCB4u);
    EXPECT_EQ(QuietBuffer(abcd, 4, 0xFFFFFFFF, 0), 0xA62F1C36u);
    EXPECT_EQ(QuietBuffer(abcd, 4, 0xFFFFFFFF, 2), 0xA62F1C36u) << "only 1 asks for the swap";
    const DWORD words[4] = {1, 2, 3, 4};
    std::string printed = "untouched";
    EXPECT_EQ(QuietBuffer(nullptr, 8, 0x1234, 1, &printed), 0u);
    EXPECT_EQ(printed, "");
    for (DWORD bytes : {0u, 10u, 15u}) EXPECT_EQ(QuietBuffer(words, bytes, 0x1234, bytes & 1), 0u) << bytes;
}

TEST(Crc32Test, BufferMatchesReferenceOverLengthsSeedsAndAlignments) {
    std::mt19937 rng(42);
    std::vector<BYTE> data(3 * 20000 + 512 + 3);
    for (BYTE& b : data) b = static_cast<BYTE>(rng());
    // Short buffers take the table path; from 16 words on the folding path, with a word tail, and
    // past 5000 words several progress pieces chained.
    std::vector<size_t> lengths;
    for (size_t w = 1; w <= 70; ++w) lengths.push_back(4 * w);
    for (size_t w : {127, 128, 129, 255, 256, 257, 4999, 5000, 5001, 10000, 15003}) lengths.push_back(4 * w);
    for (size_t offset = 0; offset < 4; ++offset)
        for (size_t bytes : lengths)
            for (int swap = 0; swap < 2; ++swap) {
                const DWORD seed = rng();
                const BYTE* p = data.data() + offset;
                ASSERT_EQ(QuietBuffer(p, static_cast<DWORD>(bytes), seed, swap), ReferenceWords(p, bytes, seed, swap == 1))
                    << "bytes " << bytes << " offset " << offset << " swap " << swap;
            }
    // One progress dot per piece of up to 5000 words.
    std::string printed;
    for (auto [count, dots] : {std::pair<DWORD, const char*>{1, ".\n"}, {5000, ".\n"}, {5001, "..\n"}, {10001, "...\n"}}) {
        QuietBuffer(data.data(), count * 4, 0, 1, &printed);
        EXPECT_EQ(printed, dots) << count;
    }
}

TEST(Crc32Test, FilesArePaddedToWholeWords) {
    TempDir dir;
    const std::string five = dir.Write("five.bin", "abcde");
    const BYTE padded[8] = {'a', 'b', 'c', 'd', 'e', 0, 0, 0};
    EXPECT_EQ(QuietFile(five, 0xFFFFFFFF, 1), ReferenceWords(padded, 8, 0xFFFFFFFF, true));
    EXPECT_EQ(QuietFile(five, 0xFFFFFFFF, 0), ReferenceWords(padded, 8, 0xFFFFFFFF, false));
    dir.Write("abcd.bin", "abcd");
    EXPECT_EQ(QuietFile(WindowsPath(dir / "abcd.bin"), 0xFFFFFFFF, 0), 0xA62F1C36u) << "a Windows path reaches the file";
    // An empty file gives 0, not the seed; a missing one or a folder gives the seed.
    EXPECT_EQ(QuietFile(dir.Write("empty.bin", ""), 0xFFFFFFFF, 1), 0u);
    EXPECT_EQ(QuietFile(dir / "missing.bin", 0xCAFEF00D, 1), 0xCAFEF00Du);
    EXPECT_EQ(QuietFile(dir.Path(), 0xCAFEF00D, 1), 0xCAFEF00Du);
    std::mt19937 rng(3);
    std::vector<BYTE> big(200004, 0);
    for (size_t i = 0; i < 200003; ++i) big[i] = static_cast<BYTE>(rng());
    const std::string bigPath = dir.Write("big.bin", std::string(big.begin(), big.end() - 1));
    EXPECT_EQ(QuietFile(bigPath, 0, 1), ReferenceWords(big.data(), big.size(), 0, true));
}

}  // namespace
