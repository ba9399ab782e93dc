#include "platform/kernel32_module.h"
#include "platform/text.h"
#include "platform/user32.h"

#include <gtest/gtest.h>

namespace {

const std::wstring modulePath = platform::AnsiToWide(PLATFORM_TEST_MODULE);

typedef HMODULE (*OwnModuleFunction)();

} // namespace

TEST(ModuleLoading, HandleIsTheModulesOwnAndLoadsAreCounted) {
    HMODULE first = LoadLibraryW(modulePath.c_str());
    ASSERT_NE(first, nullptr) << platform::LastModuleError();
    HMODULE second = LoadLibraryW(modulePath.c_str());
    EXPECT_EQ(first, second);

    auto ownModule = reinterpret_cast<OwnModuleFunction>(GetProcAddress(first, "OwnModule"));
    ASSERT_NE(ownModule, nullptr);
    // What the module found for itself while it was being loaded is what the loader returns.
    EXPECT_EQ(ownModule(), first);
    // An address in this program belongs to another module.
    EXPECT_NE(platform::ModuleFromAddress(&modulePath), first);
    EXPECT_EQ(platform::ModuleFromAddress(nullptr), nullptr);

    wchar_t text[16] = {};
    EXPECT_EQ(LoadStringW(first, 1, text, 16), 6);
    EXPECT_STREQ(text, L"loaded");

    EXPECT_TRUE(FreeLibrary(first));
    // Still loaded once: the resources stay.
    EXPECT_EQ(LoadStringW(first, 1, text, 16), 6);
    EXPECT_TRUE(FreeLibrary(second));
    // Unloaded: its unload code withdrew the table, and the handle is no longer a module.
    EXPECT_EQ(LoadStringW(first, 1, text, 16), 0);
    EXPECT_EQ(GetProcAddress(first, "OwnModule"), nullptr);
    EXPECT_FALSE(FreeLibrary(first));
}

TEST(ModuleLoading, FailuresReturnNullWithTheLoadersText) {
    EXPECT_EQ(LoadLibraryW(L"/nonexistent/folder/module.bmi"), nullptr);
    EXPECT_NE(platform::LastModuleError().find("module.bmi"), std::string::npos);
    EXPECT_EQ(LoadLibraryW(nullptr), nullptr);

    HMODULE module = LoadLibraryW(modulePath.c_str());
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x1234)));
}
