#include "platform/data/ChunkedArray.h"
#include "platform/data/ColumnStore.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

// A value of `n` bytes that differs from its neighbours: 'a' + seed cycling.
std::string Value(std::size_t n, int seed)
{
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>('a' + (seed + static_cast<int>(i)) % 26);
    return s;
}

// A column's text values read back, checked against what went in.
void ExpectValues(const TColumnData& c, const std::vector<std::string>& values)
{
    ASSERT_EQ(c.Length(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(c.Bytes(i), values[i]) << "row " << i << " of " << values.size();
}

} // namespace

TEST(ChunkedArray, ValuesSurviveGrowthAcrossChunksShrinkAndCopy)
{
    constexpr std::size_t kCount = 3 * TChunkedArray<std::int64_t>::kChunk + 17;
    TChunkedArray<std::int64_t> a;
    for (std::size_t i = 0; i < kCount; ++i)
        a.push_back(static_cast<std::int64_t>(i * 7919));
    ASSERT_EQ(a.size(), kCount);
    for (std::size_t i : {std::size_t{0}, TChunkedArray<std::int64_t>::kChunk - 1, TChunkedArray<std::int64_t>::kChunk,
                          kCount - 1})
        EXPECT_EQ(a[i], static_cast<std::int64_t>(i * 7919)) << i;
    // Nothing beyond one chunk of slack, and none once shrunk.
    EXPECT_LE(a.MemoryBytes(), (kCount + TChunkedArray<std::int64_t>::kChunk) * sizeof(std::int64_t) + 1024);
    a.shrink_to_fit();
    EXPECT_LE(a.MemoryBytes(), kCount * sizeof(std::int64_t) + 1024);

    // Appends after a shrink grow the short last chunk back.
    a.push_back(-1);
    a.push_back(-2);
    const TChunkedArray<std::int64_t> copy = a;
    a[0] = 42;
    EXPECT_EQ(copy.size(), kCount + 2);
    EXPECT_EQ(copy[0], 0);
    EXPECT_EQ(copy[kCount - 1], static_cast<std::int64_t>((kCount - 1) * 7919));
    EXPECT_EQ(copy[kCount + 1], -2);
}

TEST(ChunkedArray, ASmallArrayStaysSmall)
{
    TChunkedArray<std::int32_t> a;
    for (int i = 0; i < 3; ++i)
        a.push_back(i);
    EXPECT_LT(a.MemoryBytes(), 256u);
    a.shrink_to_fit();
    EXPECT_EQ(a[2], 2);
    TChunkedArray<std::int32_t> empty;
    empty.shrink_to_fit();
    EXPECT_EQ(empty.size(), 0u);
}

TEST(ByteArena, ValuesNeverSplitAcrossChunksAndLargeOnesGetTheirOwn)
{
    constexpr std::size_t kChunk = TByteArena::kChunk;
    TColumnData c(TStorageKind::Bytes);
    std::vector<std::string> values;
    const auto add = [&](std::string v) {
        c.AppendBytes(v);
        values.push_back(std::move(v));
    };
    // Fill the first chunk to a few bytes short, then a value that does not
    // fit in what is left: it starts the next chunk.
    add(Value(kChunk - 10, 1));
    add(Value(5, 2));
    add(Value(20, 3));
    add("");                           // empty values between
    add(Value(kChunk, 4));             // exactly one chunk
    add(Value(3 * kChunk + 123, 5));   // larger than a chunk
    add(Value(1, 6));
    add("");
    add(Value(kChunk - 1, 7));
    add(Value(2, 8));
    ExpectValues(c, values);

    // Copies (the in-memory dataset copies its source on every open) keep
    // every value, and so does giving back the spare room.
    const TColumnData copy = c;
    c.Shrink();
    ExpectValues(c, values);
    ExpectValues(copy, values);
    add(Value(100, 9));                // appends after a shrink
    ExpectValues(c, values);

    std::size_t total = 0;
    for (const std::string& v : values)
        total += v.size();
    // What a value could not use at the end of its chunk is lost, never
    // more than a chunk per value that skipped one.
    EXPECT_LE(c.MemoryBytes(), total + 4 * kChunk);
}

TEST(ByteArena, ManySmallValuesReadBackAcrossManyChunks)
{
    TColumnData c(TStorageKind::Text);
    std::vector<std::string> values;
    std::size_t total = 0;
    for (int i = 0; total < 5 * TByteArena::kChunk; ++i) {
        std::string v = i % 11 == 0 ? std::string() : Value(static_cast<std::size_t>(1 + (i * 37) % 300), i);
        total += v.size();
        c.AppendBytes(v);
        values.push_back(std::move(v));
    }
    ExpectValues(c, values);
    c.Shrink();
    EXPECT_LE(c.MemoryBytes(), total + values.size() * sizeof(std::uint32_t) + TByteArena::kChunk / 8);
}
