#include "kiv/data/Data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using kiv::data;

// The leak checker of the sanitizer builds catches a block that is let go.
TEST(Data, OwnedBlocksAreFreedOnceAndBorrowedOnesNever)
{
    data block;
    EXPECT_FALSE(block.Alloc(0));
    EXPECT_FALSE(block.Alloc(-5));
    ASSERT_TRUE(block.Alloc(16));
    EXPECT_EQ(block.GetBytes()[15], 0);
    ASSERT_TRUE(block.Alloc(8));  // the first block is released, not leaked

    uint8_t outside[4] = {1, 2, 3, 4};
    block.Borrow(outside, 4);
    EXPECT_FALSE(block.IsOwned());
    block.Free();
    EXPECT_EQ(block.GetBytes(), nullptr);
    EXPECT_EQ(outside[3], 4);
}

TEST(Data, CopiesOwnTheirBytesAndMovesTransferThem)
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
    EXPECT_EQ(assigned.GetBytes()[1], 8);

    data target;
    target.Alloc(10);
    target = std::move(copy);
    EXPECT_EQ(copy.GetBytes(), nullptr);
    EXPECT_EQ(target.GetSize(), 3);
    EXPECT_TRUE(target.IsOwned());
}
