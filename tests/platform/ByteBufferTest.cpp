#include <gtest/gtest.h>

#include <cstring>
#include <utility>

#include "platform/ByteBuffer.h"

// Small runs from the heap and large ones mapped, and room reserved for a reader that writes only
// parts of it: each keeps what is written where it was written, through a move, and reserved room
// reads as zero where nothing was written.
TEST(ByteBufferTest, BytesStayWhereTheyAreWrittenAndReservedRoomReadsAsZero) {
    for (const std::size_t size :
         {std::size_t{1000}, std::size_t{300 * 1024}, std::size_t{9 << 20}}) {
        SCOPED_TRACE(size);
        for (const bool reserved : {false, true}) {
            TByteBuffer buffer = reserved ? TByteBuffer::Reserve(size) : TByteBuffer(size);
            ASSERT_EQ(buffer.Size(), size);
            if (reserved) {
                EXPECT_EQ(buffer.Data()[size / 2], 0);
            }
            std::memset(buffer.Data() + size / 3, 0xA5, size / 3);
            const std::uint8_t* at = buffer.Data();
            TByteBuffer moved(std::move(buffer));
            EXPECT_EQ(moved.Data(), at);
            EXPECT_EQ(moved.Data()[size / 2], 0xA5);
            EXPECT_EQ(buffer.Size(), 0u);
        }
    }
}
