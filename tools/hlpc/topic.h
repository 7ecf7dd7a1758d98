// The |TOPIC file: records laid into 4 KB blocks, and the two kinds of address into them.
//
// A block is a 12-byte header (i32 last record starting in an earlier
// block or -1, i32 first record starting in this block or -1, i32 last topic
// header starting in an earlier block or 0) and 4084 data bytes. The records
// run through the data of consecutive blocks as one stream; a record's
// 21-byte header and LinkData1 always lie in one block, its LinkData2 may
// run on into the next.
//
// Record header: u32 size (21 + LinkData1 + LinkData2), u32 LinkData2 size,
// u32 previous record, u32 next record (TOPICPOS, -1 at the ends),
// u32 21 + LinkData1 size, u8 type.
//
// TOPICPOS, where a record starts: block * 0x4000 + 12 + offset in the
// block's data. TOPICOFFSET, what jumps and maps name: block * 0x8000 +
// the LinkData2 bytes of the text records that start earlier in the same
// block (topic headers do not count).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/hlpc/bytes.h"

inline constexpr size_t kTopicBlockSize = 4096;
inline constexpr size_t kTopicBlockHeaderSize = 12;
inline constexpr size_t kTopicBlockDataSize = kTopicBlockSize - kTopicBlockHeaderSize;
inline constexpr size_t kRecordHeaderSize = 21;
inline constexpr size_t kTopicHeaderData1Size = 28;

inline constexpr uint8_t kRecordTopicHeader = 0x02;
inline constexpr uint8_t kRecordText = 0x20;

struct TopicRecord {
    uint8_t type;
    Bytes data1;  // LinkData1; 28 bytes for a topic header, filled in by the layout
    Bytes data2;  // LinkData2: a topic header's title, a text record's text
};

struct TopicLayout {
    Bytes file;                      // the blocks, the last one padded
    std::vector<uint32_t> positions; // TOPICPOS of each record
    std::vector<uint32_t> offsets;   // TOPICOFFSET of each record
};

// Lays out records in order and fills in the LinkData1 of each topic header:
// u32 size of its text records, -1, -1 (no browse sequence), u32 topic
// number, -1 (no non-scrolling region), TOPICPOS of its first text record
// (or -1), TOPICPOS of the next topic header (or -1). Returns false when a
// record's header and LinkData1 would not fit one block, when a topic header
// lacks its 28 bytes, or when the file would pass the addressable size.
bool LayOutTopics(std::vector<TopicRecord> records, TopicLayout* out);
