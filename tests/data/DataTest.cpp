#include "kiv/data/Data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using kiv::data;

TEST(Data, AllocOwnsZeroedBytesAndRejectsEmptySizes)
{
    data block;
    EXPECT_FALSE(block.Alloc(0));
    EXPECT_FALSE(block.Alloc(-5));
    EXPECT_EQ(block.GetBytes(), nullptr);

    ASSERT_TRUE(block.Alloc(16));
    EXPECT_TRUE(block.IsOwned());
    EXPECT_EQ(block.GetSize(), 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(block.GetBytes()[i], 0);

    // A second Alloc lets the first block go (the leak checker sees the rest).
    ASSERT_TRUE(block.Alloc(8));
    EXPECT_EQ(block.GetSize(), 8);
    block.Free();
    EXPECT_EQ(block.GetBytes(), nullptr);
    EXPECT_EQ(block.GetSize(), 0);
    EXPECT_FALSE(block.IsOwned());
}

TEST(Data, BorrowedBytesAreNeverFreed)
{
    uint8_t outside[4] = {1, 2, 3, 4};
    {
        data view(outside, 4);
        EXPECT_FALSE(view.IsOwned());
        EXPECT_EQ(view.GetBytes(), outside);
        view.Free();
        EXPECT_EQ(view.GetBytes(), nullptr);
        view.Borrow(outside, 2);
        EXPECT_EQ(view.GetSize(), 2);
    }
    EXPECT_EQ(outside[3], 4);

    data owned;
    ASSERT_TRUE(owned.Alloc(32));
    owned.Borrow(outside, 4);  // the owned block is released, not leaked
    EXPECT_FALSE(owned.IsOwned());
}

TEST(Data, CopiesOwnTheirBytesAndMovesTransferOwnership)
{
    uint8_t outside[3] = {7, 8, 9};
    data borrowed(outside, 3);
    data copy(borrowed);
    ASSERT_TRUE(copy.IsOwned());
    EXPECT_NE(copy.GetBytes(), outside);
    EXPECT_EQ(memcmp(copy.GetBytes(), outside, 3), 0);

    data assigned;
    assigned.Alloc(100);
    assigned = copy;
    EXPECT_EQ(assigned.GetSize(), 3);
    EXPECT_NE(assigned.GetBytes(), copy.GetBytes());
    const data& self = assigned;
    assigned = self;
    EXPECT_EQ(assigned.GetSize(), 3);

    data moved(std::move(copy));
    EXPECT_EQ(copy.GetBytes(), nullptr);
    EXPECT_EQ(moved.GetBytes()[2], 9);
    data target;
    target.Alloc(10);
    target = std::move(moved);
    EXPECT_EQ(target.GetSize(), 3);
    EXPECT_TRUE(target.IsOwned());

    data empty;
    data emptyCopy(empty);
    EXPECT_EQ(emptyCopy.GetBytes(), nullptr);
}
