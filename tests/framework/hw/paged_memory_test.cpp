// Tests of host DMA memory: blocks from the device library, paged buffers, their page tables and flat copies.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

TEST(PagedMemoryTest, BlocksComeFromAndGoBackToTheDeviceLibrary) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "host_memory_mib": 1})");
    CHostPCDevice* host = GetZorvHardware();
    Drv_Return answer{9, 9};
    EXPECT_FALSE(CPagedMemory(host, 2u << 20).GetDrvReturn(&answer));
    EXPECT_EQ((std::pair{answer.status, answer.detail}), (std::pair<DWORD, DWORD>{DRV_NO_MEMORY, 2u << 20}));
    CPagedMemory whole(host, 1u << 20);
    ASSERT_TRUE(whole.IsValid());
    EXPECT_FALSE(CPagedMemory(host, 0x1000).IsValid());
    whole.Free();
    EXPECT_FALSE(whole.GetAddress() || whole.GetSize() || whole.GetDrvReturn(&answer));
    EXPECT_EQ(answer.status, static_cast<DWORD>(DRV_SUCCESS)) << "the allocation's answer outlives the block";
    // The eighth page does not fit: the table and every page allocated are given back.
    EXPECT_FALSE(CPagedBuffer(host, 2u << 20, 0x20000, 0x20000).GetPageTable().IsValid());
    EXPECT_TRUE(CPagedMemory(host, 1u << 20).IsValid()) << "given back by Free, by the destructor and by the failed buffer";
}

// Each entry: the bus address of a piece of a page of at most the limit (at most 128 KiB), its byte count, a zero word.
TEST(PagedBufferTest, PageTableEntriesOfAtMostTheLimitAndCopiesThroughThePagesInOrder) {
    devlib::LoadDefaultRig();
    const struct { const char* name; DWORD total, page, limit; std::vector<DWORD> counts; } rows[] = {
        {"limit held at 128 KiB", 0x80000, 0x80000, 0x100000, std::vector<DWORD>(4, 0x20000)},
        {"pages of 192 KiB in two entries", 0x60000, 0x30000, 0x20000, {0x20000, 0x10000, 0x20000, 0x10000}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CPagedBuffer buffer(GetZorvHardware(), row.total, row.page, row.limit);
        const auto* entry = reinterpret_cast<const PageTableEntry*>(buffer.GetPageTable().GetAddress());
        DWORD offset = 0;
        for (size_t i = 0; i < row.counts.size(); offset += row.counts[i++]) {
            const ULONGLONG bus = buffer.GetPage(static_cast<int>(offset / row.page))->GetBusAddress() + offset % row.page;
            EXPECT_EQ((std::vector<DWORD>{entry[i].addressLow, entry[i].addressHigh, entry[i].byteCount, entry[i].reserved}),
                      (std::vector<DWORD>{static_cast<DWORD>(bus), static_cast<DWORD>(bus >> 32), row.counts[i], 0})) << i;
            EXPECT_EQ(buffer.GetPageTableAddress(offset + row.counts[i] - 1), buffer.GetPageTable().GetBusAddress() + 16 * i) << i;
        }
        EXPECT_EQ(buffer.GetPageTableAddress(row.total), 0u);
    }
    EXPECT_FALSE(CPagedBuffer(GetZorvHardware(), 0x10000, 0x1000, 0).GetPageTable().IsValid()) << "a zero limit";
    // Copies move whole DWORDs through the pages in order.
    const DWORD total = 0x80000, page = 0x20000;
    CPagedBuffer buffer(GetZorvHardware(), total, page, page);
    const std::vector<BYTE> source = PatternBytes(total + 8, 7);
    // 6 bytes copy 4; one word more than the buffer, or a negative count, copies nothing.
    EXPECT_TRUE(buffer.CopyIn(source.data(), 6));
    EXPECT_FALSE(buffer.CopyIn(source.data() + 1, static_cast<int>(total + 4)) || buffer.CopyIn(source.data() + 1, -4));
    const BYTE* first = reinterpret_cast<const BYTE*>(buffer.GetPage(0)->GetAddress());
    EXPECT_EQ(std::vector<BYTE>(first, first + 5), (std::vector<BYTE>{source[0], source[1], source[2], source[3], 0}));
    ASSERT_TRUE(buffer.CopyIn(source.data(), static_cast<int>(total)));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(std::memcmp(buffer.GetPage(i)->GetAddress(), source.data() + i * page, page), 0) << i;
    std::vector<BYTE> copy(total);
    EXPECT_TRUE(buffer.CopyOut(copy.data(), static_cast<int>(total)) && std::equal(copy.begin(), copy.end(), source.begin()));
    EXPECT_TRUE(buffer.Compare(source.data(), total + 3)) << "rounded down to whole words";
    reinterpret_cast<BYTE*>(buffer.GetPage(3)->GetAddress())[page - 1] ^= 0x10;
    EXPECT_FALSE(buffer.Compare(source.data(), total));
    EXPECT_TRUE(buffer.Compare(source.data(), total - 4)) << "the changed byte lies in the last word";
    // 192 KiB in pages of 128 KiB: one page, so a full-size copy would leave 64 KiB behind.
    CPagedBuffer shortBuffer(GetZorvHardware(), 0x30000, 0x20000, 0x20000);
    EXPECT_FALSE(shortBuffer.CopyIn(source.data(), 0x30000) || shortBuffer.CopyOut(copy.data(), 0x30000) || shortBuffer.Compare(source.data(), 0x30000));
    EXPECT_TRUE(shortBuffer.CopyIn(source.data(), 0x20000) && shortBuffer.Compare(source.data(), 0x20000));
}

}  // namespace
