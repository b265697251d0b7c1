#include "kiv/data/List.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

struct Wide {
    double d;
    int64_t i;
};

}  // namespace

TEST(List, UnsortedAddAppendsAndReturnsThePreviousCount)
{
    T_List<int> list;
    EXPECT_EQ(list.Add("one", 1), 0);
    EXPECT_EQ(list.Add("two", 2), 1);
    EXPECT_EQ(list.Add("three", 3), 2);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_STREQ(list.GetName(0), "one");
    EXPECT_STREQ(list.GetName(2), "three");
    EXPECT_EQ(*list.GetValue(1), 2);
    EXPECT_EQ(list.GetName(3), nullptr);
    EXPECT_EQ(list.GetValue(-1), nullptr);
}

TEST(List, SortedAddOrdersNamesIgnoringCase)
{
    T_List<int> list(true);
    EXPECT_EQ(list.Add("beta", 1), 0);
    EXPECT_EQ(list.Add("Alpha", 2), 0);
    EXPECT_EQ(list.Add("gamma", 3), 2);
    EXPECT_STREQ(list.GetName(0), "Alpha");
    EXPECT_STREQ(list.GetName(1), "beta");
    EXPECT_STREQ(list.GetName(2), "gamma");
    // Equal names go after the ones already there.
    EXPECT_EQ(list.Add("BETA", 4), 2);
    EXPECT_EQ(*list.GetValue(2), 4);
    EXPECT_EQ(list.Add("zeta", 5), 4);
    EXPECT_STREQ(list.GetName(4), "zeta");
}

TEST(List, SortedInsertBeforeTheCursorKeepsIndexesRight)
{
    T_List<int> list(true);
    list.Add("b", 2);
    list.Add("d", 4);
    list.Add("f", 6);
    EXPECT_EQ(*list.GetValue(2), 6);  // cursor rests on "f"
    list.Add("a", 1);                 // goes in before it
    EXPECT_STREQ(list.GetName(2), "d");
    EXPECT_STREQ(list.GetName(3), "f");
    list.Add("e", 5);
    for (int i = 0; i < list.GetCount(); ++i)
        EXPECT_EQ(list.GetName(i)[0], "abdef"[i]) << i;
    // Appending after the cursor leaves it valid.
    EXPECT_STREQ(list.GetName(1), "b");
    list.Add("z", 26);
    EXPECT_STREQ(list.GetName(2), "d");
    EXPECT_EQ(*list.GetValue(5), 26);
}

TEST(List, ValuesAfterNamesOfAnyLengthAreAligned)
{
    T_List<Wide> list;
    std::string name;
    for (int len = 0; len < 20; ++len) {
        list.Add(name.c_str(), Wide{len * 0.5, len});
        name += 'n';
    }
    for (int i = 0; i < list.GetCount(); ++i) {
        Wide* value = list.GetValue(i);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(value) % alignof(Wide), 0u) << i;
        EXPECT_EQ(value->i, i);
        EXPECT_EQ(value->d, i * 0.5);
        EXPECT_EQ(std::string(list.GetName(i)).size(), static_cast<size_t>(i));
    }
}

TEST(List, NamesTooLongForTheirSizeAreRefused)
{
    T_List<int> list;
    std::string huge(0x10000, 'h');
    EXPECT_EQ(list.Add(huge.c_str(), 1), -1);
    EXPECT_EQ(list.GetCount(), 0);
    huge.resize(0xFFFE);
    EXPECT_EQ(list.Add(huge.c_str(), 1), 0);
    EXPECT_EQ(list.Add(nullptr, 2), 1);
    EXPECT_STREQ(list.GetName(1), "");
}
