// The host's private heap: what the plug-in relies on of a system heap.
#include "platform/host/test_controls.h"
#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

bool allZero(const void* block, std::size_t bytes) {
    const auto* at = static_cast<const std::uint8_t*>(block);
    for (std::size_t i = 0; i < bytes; ++i) {
        if (at[i] != 0)
            return false;
    }
    return true;
}

// Sizes of scan lines and row tables, from one byte to blocks of their own.
const std::size_t kSizes[] = {
    1, 4, 15, 16, 17, 48, 620, 4096, 65536, 70000, (1u << 20) - 8, 1u << 20, 3u << 20};

// The second heap starts on the memory the first one dirtied.
TEST(PrivateHeap, BlocksComeZeroedAlignedAndApartWhetherNewOrReused) {
    for (int heapNumber = 0; heapNumber < 2; ++heapNumber) {
        platform::HeapHandle heap = platform::heapCreate();
        ASSERT_NE(heap, nullptr);
        for (int round = 0; round < 2; ++round) {
            std::vector<std::uint8_t*> blocks;
            for (std::size_t size : kSizes) {
                SCOPED_TRACE(size);
                auto* block = static_cast<std::uint8_t*>(platform::heapAllocZero(heap, size));
                ASSERT_NE(block, nullptr);
                EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
                EXPECT_TRUE(allZero(block, size)) << "heap " << heapNumber << " round " << round;
                std::memset(block, 0xA5, size); // dirty it for the next round's reuse
                blocks.push_back(block);
            }
            for (std::size_t i = 0; i < blocks.size(); ++i) {
                for (std::size_t k = 0; k < kSizes[i]; ++k)
                    ASSERT_EQ(blocks[i][k], 0xA5) << "block " << i << " was overwritten";
            }
            // The first heap is destroyed holding its last blocks.
            if (heapNumber == 1 || round == 0) {
                for (std::uint8_t* block : blocks)
                    EXPECT_TRUE(platform::heapFree(heap, block));
            }
        }
        EXPECT_TRUE(platform::heapDestroy(heap));
    }
}

TEST(PrivateHeap, DestroyingTheHeapReleasesWhatIsStillHeld) {
    const auto live = platform::host::liveAllocations();
    platform::HeapHandle heap = platform::heapCreate();
    ASSERT_NE(heap, nullptr);
    // A page's worth of lines, enough to go past the first segment, and
    // blocks with mappings of their own.
    for (int line = 0; line < 8000; ++line)
        ASSERT_NE(platform::heapAllocZero(heap, 620), nullptr);
    ASSERT_NE(platform::heapAllocZero(heap, 5u << 20), nullptr);
    void* freed = platform::heapAllocZero(heap, 2u << 20);
    ASSERT_NE(freed, nullptr);
    EXPECT_TRUE(platform::heapFree(heap, freed));
    EXPECT_EQ(platform::host::liveAllocations(), live + 1 + 8001);
    EXPECT_TRUE(platform::heapDestroy(heap));
    EXPECT_EQ(platform::host::liveAllocations(), live);
}

TEST(PrivateHeap, RefusesWhatCannotBeHad) {
    platform::HeapHandle heap = platform::heapCreate();
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(platform::heapAllocZero(heap, SIZE_MAX - 8), nullptr);
    EXPECT_EQ(platform::heapAllocZero(nullptr, 16), nullptr);
    EXPECT_FALSE(platform::heapFree(heap, nullptr));
    EXPECT_FALSE(platform::heapDestroy(nullptr));
    platform::host::failNthAllocation(1);
    EXPECT_EQ(platform::heapAllocZero(heap, 16), nullptr);
    EXPECT_NE(platform::heapAllocZero(heap, 16), nullptr) << "only the chosen allocation fails";
    EXPECT_TRUE(platform::heapDestroy(heap));
}

} // namespace
