#include "platform/kernel32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

TEST(PageMemory, CommitsZeroFilledWritableBlocksAndReleasesThemOnce) {
    const SIZE_T size = 3 * 4096 + 17;
    auto* block =
        static_cast<unsigned char*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 4096, 0u);
    for (SIZE_T i = 0; i < size; ++i) {
        ASSERT_EQ(block[i], 0) << i;
    }
    std::memset(block, 0xAB, size);
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
    EXPECT_FALSE(VirtualFree(block, 0, MEM_RELEASE));
}

TEST(PageMemory, RefusesWhatTheSystemWouldRefuse) {
    EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
    int local = 0;
    EXPECT_FALSE(VirtualFree(&local, 0, MEM_RELEASE));
    void* block = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(block, nullptr);
    EXPECT_FALSE(VirtualFree(block, 4096, MEM_RELEASE)); // a release takes size 0
    EXPECT_TRUE(VirtualFree(block, 0, MEM_RELEASE));
}
