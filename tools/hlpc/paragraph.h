// A topic's text as |TOPIC records: the title heading, paragraphs, and tables as term and description pairs.
//
// A text record's LinkData2 is the text with a NUL wherever a formatting
// code applies; LinkData1 holds, in order, the codes the NULs consume:
//   80 u16 font      switch to a font of |FONT
//   E3 i32 hash      start a jump to the topic of that context hash
//   89               end the jump
//   82               end of paragraph
//   FF               end of the record
// before them: compressed-long size of the rest of LinkData1, compressed
// short size of LinkData2, 00 80 00 00, u16 paragraph flags and the
// values the flags announce (space above 0x02, space below 0x04, left
// indent 0x10; compressed signed shorts in half points).
#pragma once

#include <vector>

#include "tools/hlpc/source.h"
#include "tools/hlpc/topic.h"

// The fonts the records use, as |FONT lists them.
enum HelpFont : unsigned {
    kFontBody = 0,
    kFontTerm = 1,     // bold
    kFontHeading = 2,  // larger, bold
    kFontCount = 3,
};

// Compressed numbers as LinkData1 stores them. Shorts take values below
// 32768; longs, in the one 2-byte form every reader agrees on, below 16384;
// signed shorts, in their 1-byte form, 0 to 63.
void PutCompressedShort(Bytes& out, unsigned value);
void PutCompressedLong(Bytes& out, unsigned value);
void PutCompressedSignedShort(Bytes& out, unsigned value);

// The topic header (LinkData1 left for the layout) and the text records of
// topic, in order.
std::vector<TopicRecord> TopicRecords(const Topic& topic);
