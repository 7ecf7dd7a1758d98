// The |TOPIC file: records laid into 4 KB blocks.
#include "tools/hlpc/topic.h"

#include <algorithm>

namespace {

constexpr uint32_t kNone = 0xFFFFFFFF;
constexpr size_t kMaxBlocks = 0x20000;  // TOPICOFFSET's block field is 17 bits wide

struct Place {
    size_t block;
    size_t offset;  // in the block's data
};

uint32_t Position(const Place& p)
{
    return static_cast<uint32_t>(p.block * 0x4000 + kTopicBlockHeaderSize + p.offset);
}

// Topic header fields, from each header to the next one.
void FillTopicHeaders(std::vector<TopicRecord>* records, const std::vector<uint32_t>& positions)
{
    uint32_t number = 0;
    for (size_t i = 0; i < records->size(); ++i) {
        TopicRecord& header = (*records)[i];
        if (header.type != kRecordTopicHeader)
            continue;
        uint32_t textBytes = 0;
        size_t next = i + 1;
        for (; next < records->size() && (*records)[next].type != kRecordTopicHeader; ++next) {
            const TopicRecord& r = (*records)[next];
            textBytes += static_cast<uint32_t>(kRecordHeaderSize + r.data1.size() + r.data2.size());
        }
        Bytes& d = header.data1;
        SetU32(d, 0, textBytes);
        SetU32(d, 4, kNone);
        SetU32(d, 8, kNone);
        SetU32(d, 12, number++);
        SetU32(d, 16, kNone);
        SetU32(d, 20, next > i + 1 ? positions[i + 1] : kNone);
        SetU32(d, 24, next < records->size() ? positions[next] : kNone);
    }
}

}  // namespace

bool LayOutTopics(std::vector<TopicRecord> records, TopicLayout* out)
{
    std::vector<Place> places;
    std::vector<uint32_t> positions, offsets;
    Place at{0, 0};
    size_t textBytesInBlock = 0;  // LinkData2 of text records started in this block
    for (const TopicRecord& r : records) {
        if (r.type == kRecordTopicHeader && r.data1.size() != kTopicHeaderData1Size)
            return false;
        const size_t head = kRecordHeaderSize + r.data1.size();
        if (head > kTopicBlockDataSize)
            return false;
        if (at.offset + head > kTopicBlockDataSize) {
            ++at.block;
            at.offset = 0;
            textBytesInBlock = 0;
        }
        places.push_back(at);
        positions.push_back(Position(at));
        offsets.push_back(static_cast<uint32_t>(at.block * 0x8000 + textBytesInBlock));
        if (r.type != kRecordTopicHeader)
            textBytesInBlock += r.data2.size();
        const size_t end = at.offset + head + r.data2.size();
        if (end >= kTopicBlockDataSize) {
            at.block += end / kTopicBlockDataSize;
            at.offset = end % kTopicBlockDataSize;
            textBytesInBlock = 0;
        } else {
            at.offset = end;
        }
        if (at.block >= kMaxBlocks || textBytesInBlock >= 0x8000)
            return false;
    }
    FillTopicHeaders(&records, positions);

    // The data stream of all blocks, then the block headers around it.
    const size_t blocks = at.block + (at.offset > 0 ? 1 : 0) + (records.empty() ? 1 : 0);
    Bytes stream(blocks * kTopicBlockDataSize, 0);
    for (size_t i = 0; i < records.size(); ++i) {
        const TopicRecord& r = records[i];
        Bytes rec;
        PutU32(rec, static_cast<uint32_t>(kRecordHeaderSize + r.data1.size() + r.data2.size()));
        PutU32(rec, static_cast<uint32_t>(r.data2.size()));
        PutU32(rec, i == 0 ? kNone : positions[i - 1]);
        PutU32(rec, i + 1 == records.size() ? kNone : positions[i + 1]);
        PutU32(rec, static_cast<uint32_t>(kRecordHeaderSize + r.data1.size()));
        PutU8(rec, r.type);
        PutBytes(rec, r.data1);
        PutBytes(rec, r.data2);
        const size_t start = places[i].block * kTopicBlockDataSize + places[i].offset;
        std::copy(rec.begin(), rec.end(), stream.begin() + static_cast<std::ptrdiff_t>(start));
    }

    Bytes file;
    size_t next = 0;  // first record not yet started
    uint32_t lastRecord = kNone, lastHeader = 0;
    for (size_t b = 0; b < blocks; ++b) {
        uint32_t first = kNone;
        if (next < records.size() && places[next].block == b)
            first = positions[next];
        PutU32(file, lastRecord);
        PutU32(file, first);
        PutU32(file, lastHeader);
        file.insert(file.end(), stream.begin() + static_cast<std::ptrdiff_t>(b * kTopicBlockDataSize),
                    stream.begin() + static_cast<std::ptrdiff_t>((b + 1) * kTopicBlockDataSize));
        for (; next < records.size() && places[next].block == b; ++next) {
            lastRecord = positions[next];
            if (records[next].type == kRecordTopicHeader)
                lastHeader = positions[next];
        }
    }
    out->file = std::move(file);
    out->positions = std::move(positions);
    out->offsets = std::move(offsets);
    return true;
}
