// |TOPIC layout from hand-checked examples: record addresses, text offsets, topic headers, block headers.
#include <gtest/gtest.h>

#include "tools/hlpc/topic.h"

namespace {

TopicRecord Header(const std::string& title)
{
    return {kRecordTopicHeader, Bytes(kTopicHeaderData1Size, 0), Bytes(title.begin(), title.end())};
}

TopicRecord Text(size_t data1, size_t data2)
{
    return {kRecordText, Bytes(data1, 0xAA), Bytes(data2, 'x')};
}

uint32_t U32At(const Bytes& b, size_t at)
{
    return GetU32(b.data() + at);
}

// Where record i's bytes begin in the file: its block's header comes first.
size_t FileOffset(uint32_t topicPos)
{
    const size_t block = (topicPos - 12) >> 14;
    return block * kTopicBlockSize + 12 + ((topicPos - 12) & 0x3FFF);
}

TEST(TopicLayout, AddressesAndTopicHeadersOfTwoSmallTopics)
{
    // Sizes: header 21 + 28 + 1 = 50; text 21 + 3 + 5 = 29 and 21 + 3 + 7 = 31.
    TopicLayout layout;
    ASSERT_TRUE(LayOutTopics({Header("T"), Text(3, 5), Header("U"), Text(3, 7), Header("")}, &layout));
    EXPECT_EQ(std::vector<uint32_t>({12, 62, 91, 141, 172}), layout.positions);
    // Offsets count only text: "U" starts after the 5 bytes of the first text.
    EXPECT_EQ(std::vector<uint32_t>({0, 0, 5, 5, 12}), layout.offsets);
    ASSERT_EQ(kTopicBlockSize, layout.file.size());

    const Bytes& f = layout.file;
    EXPECT_EQ(0xFFFFFFFFu, U32At(f, 0)) << "no record before block 0";
    EXPECT_EQ(12u, U32At(f, 4)) << "first record of block 0";
    EXPECT_EQ(0u, U32At(f, 8)) << "no topic header before block 0";

    struct {
        size_t record;
        uint32_t textBytes, number, firstText, nextTopic;
    } headers[] = {
        {0, 29, 0, 62, 91},
        {2, 31, 1, 141, 172},
        {4, 0, 2, 0xFFFFFFFF, 0xFFFFFFFF},
    };
    for (const auto& h : headers) {
        const size_t data1 = FileOffset(layout.positions[h.record]) + kRecordHeaderSize;
        EXPECT_EQ(h.textBytes, U32At(f, data1)) << h.record;
        EXPECT_EQ(0xFFFFFFFFu, U32At(f, data1 + 4)) << h.record;
        EXPECT_EQ(0xFFFFFFFFu, U32At(f, data1 + 8)) << h.record;
        EXPECT_EQ(h.number, U32At(f, data1 + 12)) << h.record;
        EXPECT_EQ(0xFFFFFFFFu, U32At(f, data1 + 16)) << h.record;
        EXPECT_EQ(h.firstText, U32At(f, data1 + 20)) << h.record;
        EXPECT_EQ(h.nextTopic, U32At(f, data1 + 24)) << h.record;
    }
    // The record header of the first text: size, LinkData2 size, previous,
    // next, 21 + LinkData1 size, type.
    const size_t r = FileOffset(62);
    EXPECT_EQ(29u, U32At(f, r));
    EXPECT_EQ(5u, U32At(f, r + 4));
    EXPECT_EQ(12u, U32At(f, r + 8));
    EXPECT_EQ(91u, U32At(f, r + 12));
    EXPECT_EQ(24u, U32At(f, r + 16));
    EXPECT_EQ(kRecordText, f[r + 20]);
}

TEST(TopicLayout, RecordWhoseHeadDoesNotFitStartsTheNextBlock)
{
    // The first text ends at 50 + 21 + 3 + 4000 = 4074; the next header
    // needs 49 bytes, which block 0 no longer has.
    TopicLayout layout;
    ASSERT_TRUE(LayOutTopics({Header("T"), Text(3, 4000), Header("U"), Text(3, 2), Header("")}, &layout));
    EXPECT_EQ(0x4000u + 12, layout.positions[2]);
    EXPECT_EQ(0x8000u, layout.offsets[2]) << "the text count starts again in each block";
    EXPECT_EQ(0x8000u + 2, layout.offsets[4]);
    ASSERT_EQ(2 * kTopicBlockSize, layout.file.size());
    EXPECT_EQ(62u, U32At(layout.file, 4096)) << "last record started before block 1";
    EXPECT_EQ(0x4000u + 12, U32At(layout.file, 4096 + 4));
    EXPECT_EQ(12u, U32At(layout.file, 4096 + 8)) << "last topic header before block 1";
}

TEST(TopicLayout, TextRunsOnIntoTheNextBlock)
{
    // The first text ends at 50 + 21 + 3 + 4030 = 4104: 20 bytes into block
    // 1, where the next record starts.
    TopicLayout layout;
    ASSERT_TRUE(LayOutTopics({Header("T"), Text(3, 4030), Header("U"), Text(3, 2), Header("")}, &layout));
    EXPECT_EQ(0x4000u + 12 + 20, layout.positions[2]);
    EXPECT_EQ(0x8000u, layout.offsets[2]);
    EXPECT_EQ(62u, U32At(layout.file, 4096));
    EXPECT_EQ(0x4000u + 12 + 20, U32At(layout.file, 4096 + 4));
    // The run-on bytes sit after block 1's header.
    EXPECT_EQ('x', layout.file[4096 + 12 + 19]);
    EXPECT_EQ(50u, U32At(layout.file, 4096 + 12 + 20)) << "the size of the topic header that follows";
}

TEST(TopicLayout, RefusesAHeadLargerThanABlock)
{
    TopicLayout layout;
    EXPECT_FALSE(LayOutTopics({Header("T"), Text(kTopicBlockDataSize, 1), Header("")}, &layout));
    EXPECT_FALSE(LayOutTopics({{kRecordTopicHeader, Bytes(4, 0), {}}}, &layout)) << "short topic header";
}

}  // namespace
