#include <gtest/gtest.h>

#include <cstring>

#include "platform/ByteBuffer.h"

namespace {

bool AllAre(const TByteBuffer& buffer, std::size_t from, std::size_t to, std::uint8_t value) {
    for (std::size_t i = from; i < to; ++i)
        if (buffer.Data()[i] != value)
            return false;
    return true;
}

} // namespace

// A reader moving forward hands back only bytes it has passed, all of them by the end, and a
// buffer on the heap keeps its bytes.
TEST(ByteBufferTest, ReleaseHandsBackOnlyWhatTheReaderHasPassed) {
    const struct {
        std::size_t Size, Step;
    } cases[] = {{1000, 300}, {9 * 1024 * 1024 + 123, 700 * 1024}, {300 * 1024, 100 * 1024}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Size);
        TByteBuffer buffer(c.Size);
        std::memset(buffer.Data(), 0xA5, c.Size);
        std::size_t held = 0;
        for (std::size_t to = c.Step;; to += c.Step) {
            const std::size_t end = std::min(to, c.Size);
            const std::size_t next = buffer.Release(held, end);
            ASSERT_GE(next, held);
            ASSERT_TRUE(AllAre(buffer, end, c.Size, 0xA5)) << "a byte ahead of the reader changed";
            ASSERT_TRUE(AllAre(buffer, held, std::min(next, end), 0)) << "a page was kept";
            held = next;
            if (end == c.Size)
                break;
        }
        // A mapped run goes back whole, a heap run not at all.
        EXPECT_TRUE(AllAre(buffer, 0, c.Size, c.Size < 256 * 1024 ? 0xA5 : 0));
        EXPECT_EQ(buffer.Release(0, 0), 0u);
    }
}
