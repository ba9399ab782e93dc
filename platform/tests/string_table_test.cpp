#include "platform/user32.h"
#include "platform/user32_resources.h"

#include <gtest/gtest.h>

namespace {

HMODULE FakeModule(std::uintptr_t value) {
    return reinterpret_cast<HMODULE>(value);
}

class StringTable : public testing::Test {
protected:
    void SetUp() override {
        platform::RegisterStringTable(module, 0x0809,
                                      {{1, L"ORV"}, {7, L"Orvo File Writer"}, {9, L""}});
    }
    void TearDown() override { platform::UnregisterModuleResources(module); }
    HMODULE module = FakeModule(0x7000);
};

} // namespace

TEST_F(StringTable, CopiesTheTextCutToTheBufferLessOneAndTerminates) {
    wchar_t buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    EXPECT_EQ(LoadStringW(module, 1, buffer, 8), 3);
    EXPECT_STREQ(buffer, L"ORV");
    EXPECT_EQ(buffer[4], L'#');

    EXPECT_EQ(LoadStringW(module, 7, buffer, 5), 4);
    EXPECT_STREQ(buffer, L"Orvo");
    EXPECT_EQ(LoadStringW(module, 7, buffer, 1), 0);
    EXPECT_EQ(buffer[0], L'\0');
    EXPECT_EQ(LoadStringW(module, 7, buffer, 4), 3);
    EXPECT_STREQ(buffer, L"Orv");
    EXPECT_EQ(platform::StringTableLanguage(module), 0x0809);
}

TEST_F(StringTable, SizeZeroHandsBackTheStoredText) {
    const wchar_t* text = nullptr;
    EXPECT_EQ(LoadStringW(module, 7, reinterpret_cast<LPWSTR>(&text), 0), 16);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::wstring(text, 16), L"Orvo File Writer");
}

TEST_F(StringTable, MissingOrEmptyStringsAndUnknownModulesGiveZero) {
    wchar_t buffer[8] = L"keep";
    EXPECT_EQ(LoadStringW(module, 2, buffer, 8), 0);
    EXPECT_EQ(LoadStringW(module, 9, buffer, 8), 0);
    EXPECT_EQ(LoadStringW(FakeModule(0x7100), 1, buffer, 8), 0);
    EXPECT_EQ(LoadStringW(nullptr, 1, buffer, 8), 0);
    EXPECT_EQ(LoadStringW(module, 1, nullptr, 8), 0);
    EXPECT_EQ(platform::StringTableLanguage(FakeModule(0x7100)), 0);
}

TEST_F(StringTable, ReRegisteringReplacesAndUnregisteringWithdraws) {
    platform::RegisterStringTable(module, 0x0409, {{2, L"Bitmap IO"}});
    wchar_t buffer[16];
    EXPECT_EQ(LoadStringW(module, 1, buffer, 16), 0);
    EXPECT_EQ(LoadStringW(module, 2, buffer, 16), 9);
    EXPECT_EQ(platform::StringTableLanguage(module), 0x0409);
    platform::UnregisterModuleResources(module);
    EXPECT_EQ(LoadStringW(module, 2, buffer, 16), 0);
}
