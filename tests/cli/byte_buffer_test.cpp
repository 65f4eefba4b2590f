#include "cli/byte_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

TEST(ByteBuffer, AppendsAcrossGrowthAndKeepsEveryByte)
{
    byte_buffer buffer;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        std::string piece(static_cast<std::size_t>(i % 17), static_cast<char>('a' + i % 26));
        ASSERT_TRUE(buffer.append(piece));
        expected += piece;
    }
    EXPECT_EQ(buffer.view(), expected);
}

TEST(ByteBuffer, RefusedGrowthKeepsTheBytes)
{
    byte_buffer buffer;
    ASSERT_TRUE(buffer.append("kept"));
    // No allocator can give this much: the buffer says so and keeps its text.
    EXPECT_FALSE(buffer.reserve(SIZE_MAX / 2));
    EXPECT_FALSE(buffer.resize(SIZE_MAX / 2));
    EXPECT_EQ(buffer.view(), "kept");
    EXPECT_TRUE(buffer.append("!"));
    EXPECT_EQ(buffer.view(), "kept!");
}

TEST(ByteBuffer, AppendThatWouldWrapTheSizeIsRefused)
{
    byte_buffer buffer;
    ASSERT_TRUE(buffer.append("ab"));
    std::string_view too_long(buffer.data(), SIZE_MAX - 1);
    EXPECT_FALSE(buffer.append(too_long));
    EXPECT_EQ(buffer.view(), "ab");
}

TEST(ByteBuffer, MovedBufferOwnsTheBytesAndLeavesTheSourceEmpty)
{
    byte_buffer first;
    ASSERT_TRUE(first.append("project"));
    byte_buffer second(std::move(first));
    EXPECT_TRUE(first.empty());
    EXPECT_EQ(second.view(), "project");
    byte_buffer third;
    third = std::move(second);
    EXPECT_EQ(third.view(), "project");
    EXPECT_TRUE(second.empty());
}

}  // namespace
