#include "attached_module.h"
#include "resource.h"

#include <string>

TEST(EntryPoints, DescriptionsAreNullBeforeAttachAndAfterDetach) {
    ASSERT_EQ(moduleInstance, nullptr);
    EXPECT_EQ(LibDescription(), nullptr);
    EXPECT_EQ(LibClassDesc(0)->ClassName(), nullptr);
    EXPECT_EQ(LibClassDesc(0)->Category(), nullptr);

    RegisterModuleResources(TestModule());
    EXPECT_EQ(LibDescription(), nullptr);
    EXPECT_TRUE(DllMain(TestModule(), DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(moduleInstance, TestModule());
    ASSERT_NE(LibDescription(), nullptr);
    // Thread attach and detach change nothing.
    EXPECT_TRUE(DllMain(nullptr, DLL_THREAD_ATTACH, nullptr));
    EXPECT_TRUE(DllMain(nullptr, DLL_THREAD_DETACH, nullptr));
    EXPECT_EQ(moduleInstance, TestModule());
    EXPECT_TRUE(DllMain(TestModule(), DLL_PROCESS_DETACH, nullptr));
    EXPECT_EQ(moduleInstance, nullptr);
    EXPECT_EQ(LibDescription(), nullptr);
    platform::UnregisterModuleResources(TestModule());
}

TEST(EntryPoints, MissingStringsGiveNull) {
    // A module whose table lacks string 7 and string 2.
    const HMODULE sparse = reinterpret_cast<HMODULE>(0x6B000000);
    platform::RegisterStringTable(sparse, 0x0809, {{IDS_CLASS_NAME, L"ORV"}});
    DllMain(sparse, DLL_PROCESS_ATTACH, nullptr);
    EXPECT_EQ(LibDescription(), nullptr);
    EXPECT_EQ(LibClassDesc(0)->Category(), nullptr);
    ASSERT_NE(LibClassDesc(0)->ClassName(), nullptr);
    EXPECT_STREQ(LibClassDesc(0)->ClassName(), L"ORV");
    DllMain(sparse, DLL_PROCESS_DETACH, nullptr);
    platform::UnregisterModuleResources(sparse);
}

TEST_F(AttachedModule, DescriptionsShareOneBufferHoldingTheLatestText) {
    const MCHAR* description = LibDescription();
    ASSERT_NE(description, nullptr);
    EXPECT_STREQ(description, L"Orvo File Writer (Tessaly, www.tessaly.com)");
    const MCHAR* className = LibClassDesc(0)->ClassName();
    EXPECT_EQ(className, description);
    EXPECT_STREQ(description, L"ORV");
    EXPECT_EQ(LibClassDesc(0)->Category(), description);
    EXPECT_STREQ(description, L"Bitmap IO");
}

TEST_F(AttachedModule, LongStringsAreCutAt255Units) {
    platform::RegisterStringTable(TestModule(), 0x0809,
                                  {{IDS_LIB_DESCRIPTION, std::wstring(300, L'x')}});
    ASSERT_NE(LibDescription(), nullptr);
    EXPECT_EQ(std::wstring(LibDescription()), std::wstring(255, L'x'));
}
