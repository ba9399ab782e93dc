#include "max.h"

#include <gtest/gtest.h>

TEST(Tab, ElementAccessOutsideTheTableThrowsTheRangeException) {
    Tab<int*> table;
    EXPECT_EQ(table.Count(), 0);
    for (int index : {0, -1, 1}) {
        try {
            (void)table[index];
            ADD_FAILURE() << "no exception for index " << index;
        } catch (const MaxSDK::Util::OutOfRangeException& error) {
            EXPECT_STREQ(error.GetMessage(),
                         L"Invalid index passed into a Max SDK Tab::operator[]");
            EXPECT_NE(dynamic_cast<const MaxSDK::Util::TabOutOfRangeException*>(&error), nullptr);
        }
    }
    int values[3] = {10, 20, 30};
    int* pointers[3] = {&values[0], &values[1], &values[2]};
    EXPECT_EQ(table.Append(3, pointers), 0);
    EXPECT_EQ(*table[2], 30);
    EXPECT_THROW((void)table[3], MaxSDK::Util::TabOutOfRangeException);
    EXPECT_EQ(table.Delete(0, 1), 2);
    EXPECT_EQ(*table[0], 20);
    table.ZeroCount();
    EXPECT_THROW((void)table[0], MaxSDK::Util::Exception);
}

TEST(InterfaceServers, StartEmptyAndRangeCheckTheirLists) {
    struct Server : BaseInterfaceServer {};
    Server server;
    EXPECT_EQ(server.NumInterfaces(), 0);
    EXPECT_EQ(server.GetInterface(Interface_ID(1, 2)), nullptr);
    EXPECT_THROW(server.GetInterfaceAt(0), MaxSDK::Util::TabOutOfRangeException);
}

TEST(WStr, KeepsTextAndNeverHandsOutNull) {
    WStr empty;
    EXPECT_STREQ(empty.data(), L"");
    WStr fromNull(nullptr);
    EXPECT_EQ(fromNull.Length(), 0);
    WStr name(L"Material #25");
    WStr copy = name;
    name = L"changed";
    EXPECT_STREQ(copy.data(), L"Material #25");
    EXPECT_EQ(copy.Length(), 12);
    EXPECT_FALSE(copy == name);
}
