// Tests of host DMA memory: blocks from the device library, paged buffers, their page tables and flat copies.
#include "framework/hw/paged_memory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "devlib/devices.h"
#include "devlib/rig.h"
#include "tests/support/rig.h"
#include "tests/support/output.h"
#include "tests/framework/hw/board_dma.h"

namespace {

using support::ScopedRig;
using hwtest::PatternBytes;

constexpr const char* kOneMegabyteHostRig = R"({"boards": [{"tag": "Brimola1", "kind": "brimola"}], "host_memory_mib": 1})";

const PageTableEntry* Entries(const CPagedBuffer& buffer) {
    return reinterpret_cast<const PageTableEntry*>(buffer.GetPageTable().GetAddress());
}

TEST(PagedMemoryTest, BlocksComeFromAndGoBackToTheDeviceLibrary) {
    devlib::LoadDefaultRig();
    CHostPCDevice* host = GetZorvHardware();
    ASSERT_NE(host, nullptr);

    // Without a device or a size nothing is asked for, and the answer stays zero.
    CPagedMemory noDevice(nullptr, 0x1000), noSize(host, 0);
    for (const CPagedMemory* block : {&noDevice, &noSize}) {
        Drv_Return answer{9, 9};
        EXPECT_FALSE(block->GetDrvReturn(&answer));
        EXPECT_EQ(answer.status, 0u);
        EXPECT_EQ(answer.detail, 0u);
        EXPECT_EQ(block->GetAddress(), nullptr);
        EXPECT_EQ(block->GetSize(), 0u);
    }

    CPagedMemory block(host, 0x3000);
    ASSERT_TRUE(block.IsValid());
    Drv_Return answer;
    EXPECT_TRUE(block.GetDrvReturn(&answer));
    EXPECT_EQ(answer.status, static_cast<DWORD>(DRV_SUCCESS));
    LARGE_INTEGER bus{};
    EXPECT_EQ(block.GetPhysAddress(&bus), &bus);
    EXPECT_NE(bus.QuadPart, 0);
    EXPECT_EQ(block.GetSize(), 0x3000u);
    std::memset(block.GetAddress(), 0xA5, block.GetSize());

    block.Free();
    EXPECT_FALSE(block.IsValid());
    EXPECT_EQ(block.GetAddress(), nullptr);
    EXPECT_EQ(block.GetSize(), 0u);
    EXPECT_EQ(block.GetPhysAddress(&bus)->QuadPart, 0);
    // The allocation's answer outlives the block.
    EXPECT_FALSE(block.GetDrvReturn(&answer));
    EXPECT_EQ(answer.status, static_cast<DWORD>(DRV_SUCCESS));
    block.Free();
}

TEST(PagedMemoryTest, FailedAllocationKeepsTheDriversAnswerAndFreedMemoryReturns) {
    ScopedRig rig(kOneMegabyteHostRig);
    CHostPCDevice* host = GetZorvHardware();
    ASSERT_NE(host, nullptr);

    CPagedMemory tooLarge(host, 2u << 20);
    Drv_Return answer;
    EXPECT_FALSE(tooLarge.GetDrvReturn(&answer));
    EXPECT_EQ(answer.status, static_cast<DWORD>(DRV_NO_MEMORY));
    EXPECT_EQ(answer.detail, 2u << 20);
    EXPECT_EQ(tooLarge.GetAddress(), nullptr);

    auto whole = std::make_unique<CPagedMemory>(host, 1u << 20);
    ASSERT_TRUE(whole->IsValid());
    EXPECT_FALSE(CPagedMemory(host, 0x1000).IsValid());
    whole.reset();  // the destructor gives it back
    EXPECT_TRUE(CPagedMemory(host, 1u << 20).IsValid());
}

TEST(PagedBufferTest, PageTableListsEveryPageInEntriesOfAtMostTheLimit) {
    devlib::LoadDefaultRig();
    CHostPCDevice* host = GetZorvHardware();

    CPagedBuffer buffer(host, 0x100000, 0x20000, 0x20000);
    ASSERT_TRUE(buffer.GetPageTable().IsValid());
    ASSERT_EQ(buffer.GetPageCount(), 8);
    EXPECT_EQ(buffer.GetSize(), 0x100000u);
    EXPECT_EQ(buffer.GetPageSize(), 0x20000u);
    const PageTableEntry* entry = Entries(buffer);
    for (int i = 0; i < 8; ++i) {
        const ULONGLONG page = buffer.GetPage(i)->GetBusAddress();
        EXPECT_EQ(entry[i].addressLow, static_cast<DWORD>(page)) << i;
        EXPECT_EQ(entry[i].addressHigh, static_cast<DWORD>(page >> 32)) << i;
        EXPECT_EQ(entry[i].byteCount, 0x20000u) << i;
        EXPECT_EQ(entry[i].reserved, 0u) << i;
    }
    const ULONGLONG table = buffer.GetPageTable().GetBusAddress();
    EXPECT_EQ(buffer.GetPageTableAddress(0), table);
    EXPECT_EQ(buffer.GetPageTableAddress(0x1FFFF), table);
    EXPECT_EQ(buffer.GetPageTableAddress(0x20000), table + 16);
    EXPECT_EQ(buffer.GetPageTableAddress(0xFFFFF), table + 7 * 16);
    EXPECT_EQ(buffer.GetPageTableAddress(0x100000), 0u);

    // A limit above 128 KiB is held at it: one page of 512 KiB in four entries.
    CPagedBuffer onePage(host, 0x80000, 0x80000, 0x100000);
    ASSERT_EQ(onePage.GetPageCount(), 1);
    EXPECT_EQ(onePage.GetEntryLimit(), 0x20000u);
    const ULONGLONG base = onePage.GetPage(0)->GetBusAddress();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Entries(onePage)[i].addressLow, static_cast<DWORD>(base) + 0x20000u * i);
        EXPECT_EQ(Entries(onePage)[i].byteCount, 0x20000u);
    }
    const ULONGLONG oneTable = onePage.GetPageTable().GetBusAddress();
    EXPECT_EQ(onePage.GetPageTableAddress(0x10), oneTable);
    EXPECT_EQ(onePage.GetPageTableAddress(0x60000), oneTable + 3 * 16);

    // Pages of 192 KiB under a 128 KiB limit take two entries each (128 + 64 KiB): the table
    // has room for all four although the total alone would ask for three.
    CPagedBuffer split(host, 0x60000, 0x30000, 0x20000);
    ASSERT_EQ(split.GetPageCount(), 2);
    EXPECT_GE(split.GetPageTable().GetSize(), 4u * 16);
    const DWORD expectedCounts[4] = {0x20000, 0x10000, 0x20000, 0x10000};
    for (int i = 0; i < 4; ++i) {
        const ULONGLONG page = split.GetPage(i / 2)->GetBusAddress();
        EXPECT_EQ(Entries(split)[i].addressLow, static_cast<DWORD>(page) + (i % 2) * 0x20000u) << i;
        EXPECT_EQ(Entries(split)[i].byteCount, expectedCounts[i]) << i;
    }
    EXPECT_EQ(split.GetPageTableAddress(0x30000 + 0x20000), split.GetPageTable().GetBusAddress() + 3 * 16);

}

TEST(PagedBufferTest, ZeroSizesAndFailedPagesLeaveNoPagesAndNoTable) {
    devlib::LoadDefaultRig();
    CHostPCDevice* host = GetZorvHardware();
    const std::vector<BYTE> data = PatternBytes(0x1000, 3);
    for (auto [page, limit] : {std::pair<DWORD, DWORD>{0, 0x20000}, {0x1000, 0}}) {
        CPagedBuffer refused(host, 0x10000, page, limit);
        EXPECT_FALSE(refused.GetPageTable().IsValid());
        EXPECT_EQ(refused.GetPageCount(), 0);
        EXPECT_EQ(refused.GetPageTableAddress(0), 0u);
        EXPECT_FALSE(refused.CopyIn(data.data(), 0x1000));
    }
    EXPECT_FALSE(CPagedBuffer(nullptr, 0x10000, 0x1000, 0x1000).GetPageTable().IsValid());

    // The eighth page does not fit in 1 MiB of host memory: everything allocated is given back.
    ScopedRig rig(kOneMegabyteHostRig);
    host = GetZorvHardware();
    CPagedBuffer failed(host, 2u << 20, 0x20000, 0x20000);
    EXPECT_FALSE(failed.GetPageTable().IsValid());
    EXPECT_EQ(failed.GetPageCount(), 0);
    Drv_Return answer;
    failed.GetPageTable().GetDrvReturn(&answer);
    EXPECT_EQ(answer.status, static_cast<DWORD>(DRV_SUCCESS));  // the table itself had been allocated
    EXPECT_TRUE(CPagedMemory(host, 1u << 20).IsValid());
}

TEST(PagedBufferTest, CopiesMoveWholeDwordsThroughThePagesInOrder) {
    devlib::LoadDefaultRig();
    const DWORD total = 0x80000, page = 0x20000;
    CPagedBuffer buffer(GetZorvHardware(), total, page, page);
    ASSERT_EQ(buffer.GetPageCount(), 4);
    const std::vector<BYTE> source = PatternBytes(total + 8, 7);

    // 6 bytes copy 4; one word more than the buffer copies nothing.
    EXPECT_TRUE(buffer.CopyIn(source.data(), 6));
    const BYTE* first = reinterpret_cast<const BYTE*>(buffer.GetPage(0)->GetAddress());
    EXPECT_EQ(std::memcmp(first, source.data(), 4), 0);
    EXPECT_EQ(first[4], 0);
    EXPECT_FALSE(buffer.CopyIn(source.data() + 1, static_cast<int>(total + 4)));
    EXPECT_EQ(first[0], source[0]);
    EXPECT_FALSE(buffer.CopyIn(source.data(), -4));

    ASSERT_TRUE(buffer.CopyIn(source.data(), static_cast<int>(total)));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(std::memcmp(buffer.GetPage(i)->GetAddress(), source.data() + i * page, page), 0) << i;
    std::vector<BYTE> copy(total);
    ASSERT_TRUE(buffer.CopyOut(copy.data(), static_cast<int>(total)));
    EXPECT_TRUE(std::equal(copy.begin(), copy.end(), source.begin()));

    EXPECT_TRUE(buffer.Compare(source.data(), total));
    EXPECT_TRUE(buffer.Compare(source.data(), total + 3));  // rounded down to whole words
    EXPECT_FALSE(buffer.Compare(source.data(), total + 4));
    reinterpret_cast<BYTE*>(buffer.GetPage(3)->GetAddress())[page - 1] ^= 0x10;
    EXPECT_FALSE(buffer.Compare(source.data(), total));
    EXPECT_TRUE(buffer.Compare(source.data(), total - 4));  // the changed byte lies in the last word

    buffer.Clear();
    const std::vector<BYTE> zeros(total, 0);
    EXPECT_TRUE(buffer.Compare(zeros.data(), total));
}

TEST(PagedBufferTest, CopiesFailWithoutPagesOrWhenThePagesEndFirst) {
    devlib::LoadDefaultRig();
    CHostPCDevice* host = GetZorvHardware();
    const std::vector<BYTE> source = PatternBytes(0x30000, 11);
    std::vector<BYTE> copy(0x30000, 0xEE);

    // A page larger than the total: a table, but no pages to copy into.
    CPagedBuffer noPages(host, 0x1000, 0x2000, 0x2000);
    ASSERT_TRUE(noPages.GetPageTable().IsValid());
    EXPECT_EQ(noPages.GetPageCount(), 0);
    EXPECT_FALSE(noPages.CopyIn(source.data(), 0x1000));
    EXPECT_FALSE(noPages.CopyOut(copy.data(), 0x1000));
    EXPECT_EQ(copy[0], 0xEE);
    EXPECT_TRUE(noPages.Compare(source.data(), 0));
    EXPECT_FALSE(noPages.Compare(source.data(), 4));

    // 192 KiB in pages of 128 KiB: one page, so a full-size copy would leave 64 KiB behind.
    CPagedBuffer short_(host, 0x30000, 0x20000, 0x20000);
    ASSERT_EQ(short_.GetPageCount(), 1);
    EXPECT_FALSE(short_.CopyIn(source.data(), 0x30000));
    EXPECT_FALSE(short_.CopyOut(copy.data(), 0x30000));
    EXPECT_FALSE(short_.Compare(source.data(), 0x30000));
    EXPECT_TRUE(short_.CopyIn(source.data(), 0x20000));
    EXPECT_TRUE(short_.Compare(source.data(), 0x20000));
}

}  // namespace
