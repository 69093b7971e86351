// Tests of host DMA memory: blocks from the device library, paged buffers, their page tables and flat copies.
#include "tests/framework/hw/hw_test.h"

namespace {

using namespace hwtest;

TEST(PagedMemoryTest, BlocksComeFromAndGoBackToTheDeviceLibrary) {
    ScopedRig rig(R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "host_memory_mib": 1})");
    CHostPCDevice* host = GetZorvHardware();
    Drv_Return answer{9, 9};
    EXPECT_FALSE(CPagedMemory(nullptr, 0x1000).GetDrvReturn(&answer));
    EXPECT_EQ(answer.status + answer.detail, 0u) << "nothing asked for without a device";
    CPagedMemory tooLarge(host, 2u << 20);
    EXPECT_FALSE(tooLarge.GetDrvReturn(&answer));
    EXPECT_EQ((std::pair{answer.status, answer.detail}), (std::pair<DWORD, DWORD>{DRV_NO_MEMORY, 2u << 20}));
    auto whole = std::make_unique<CPagedMemory>(host, 1u << 20);
    ASSERT_TRUE(whole->IsValid());
    EXPECT_FALSE(CPagedMemory(host, 0x1000).IsValid());
    whole->Free();
    EXPECT_EQ(whole->GetAddress(), nullptr);
    EXPECT_EQ(whole->GetSize(), 0u);
    EXPECT_FALSE(whole->GetDrvReturn(&answer));
    EXPECT_EQ(answer.status, static_cast<DWORD>(DRV_SUCCESS)) << "the allocation's answer outlives the block";
    whole = std::make_unique<CPagedMemory>(host, 1u << 20);
    whole.reset();  // the destructor gives it back
    // The eighth page does not fit: the table and every page allocated are given back.
    CPagedBuffer failed(host, 2u << 20, 0x20000, 0x20000);
    EXPECT_FALSE(failed.GetPageTable().IsValid() || failed.GetPageCount());
    EXPECT_TRUE(CPagedMemory(host, 1u << 20).IsValid());
}

// Each entry: the bus address of a page (or of a piece of one), its byte count, a zero word.
TEST(PagedBufferTest, PageTableListsEveryPageInEntriesOfAtMostTheLimit) {
    devlib::LoadDefaultRig();
    const struct {
        const char* name;
        DWORD total, page, limit;
        int pages;
        std::vector<DWORD> counts;  // per entry, pages cut in pieces of the limit (at most 128 KiB)
    } rows[] = {
        {"limit held at 128 KiB", 0x80000, 0x80000, 0x100000, 1, std::vector<DWORD>(4, 0x20000)},
        {"pages of 192 KiB in two entries", 0x60000, 0x30000, 0x20000, 2, {0x20000, 0x10000, 0x20000, 0x10000}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CPagedBuffer buffer(GetZorvHardware(), row.total, row.page, row.limit);
        ASSERT_EQ(buffer.GetPageCount(), row.pages);
        const auto* entry = reinterpret_cast<const PageTableEntry*>(buffer.GetPageTable().GetAddress());
        const ULONGLONG table = buffer.GetPageTable().GetBusAddress();
        DWORD offset = 0;
        for (size_t i = 0; i < row.counts.size(); ++i, offset += row.counts[i - 1]) {
            const ULONGLONG bus = buffer.GetPage(static_cast<int>(offset / row.page))->GetBusAddress() + offset % row.page;
            EXPECT_EQ((std::vector<DWORD>{entry[i].addressLow, entry[i].addressHigh, entry[i].byteCount, entry[i].reserved}),
                      (std::vector<DWORD>{static_cast<DWORD>(bus), static_cast<DWORD>(bus >> 32), row.counts[i], 0})) << i;
            EXPECT_EQ(buffer.GetPageTableAddress(offset + row.counts[i] - 1), table + 16 * i) << i;
        }
        EXPECT_EQ(buffer.GetPageTableAddress(row.total), 0u);
    }
    // Zero page size or limit: no pages and no table.
    for (auto [page, limit] : {std::pair<DWORD, DWORD>{0, 0x20000}, {0x1000, 0}})
        EXPECT_FALSE(CPagedBuffer(GetZorvHardware(), 0x10000, page, limit).GetPageTable().IsValid());
}

TEST(PagedBufferTest, CopiesMoveWholeDwordsThroughThePagesInOrder) {
    devlib::LoadDefaultRig();
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
    std::vector<BYTE> copy(total + 8);
    ASSERT_TRUE(buffer.CopyOut(copy.data(), static_cast<int>(total)));
    EXPECT_TRUE(std::equal(copy.begin(), copy.begin() + total, source.begin()));
    EXPECT_TRUE(buffer.Compare(source.data(), total + 3)) << "rounded down to whole words";
    reinterpret_cast<BYTE*>(buffer.GetPage(3)->GetAddress())[page - 1] ^= 0x10;
    EXPECT_FALSE(buffer.Compare(source.data(), total));
    EXPECT_TRUE(buffer.Compare(source.data(), total - 4)) << "the changed byte lies in the last word";
    // 192 KiB in pages of 128 KiB: one page, so a full-size copy would leave 64 KiB behind.
    CPagedBuffer shortBuffer(GetZorvHardware(), 0x30000, 0x20000, 0x20000);
    ASSERT_EQ(shortBuffer.GetPageCount(), 1);
    EXPECT_FALSE(shortBuffer.CopyIn(source.data(), 0x30000) || shortBuffer.CopyOut(copy.data(), 0x30000) ||
                 shortBuffer.Compare(source.data(), 0x30000));
    EXPECT_TRUE(shortBuffer.CopyIn(source.data(), 0x20000) && shortBuffer.Compare(source.data(), 0x20000));
}

}  // namespace
