// A topic's text as |TOPIC records.
#include "tools/hlpc/paragraph.h"

#include "tools/hlpc/hash.h"

namespace {

enum ParagraphFlag : unsigned {
    kSpaceAbove = 0x0002,
    kSpaceBelow = 0x0004,
    kLeftIndent = 0x0010,
};

constexpr unsigned kGapHalfPoints = 8;
constexpr unsigned kIndentHalfPoints = 40;

struct Style {
    unsigned font;
    unsigned flags;
};

constexpr Style kHeading{kFontHeading, kSpaceBelow};
constexpr Style kBody{kFontBody, kSpaceAbove};
constexpr Style kTerm{kFontTerm, kSpaceAbove};
constexpr Style kDescription{kFontBody, kLeftIndent};

// One paragraph in one text record.
TopicRecord TextRecord(const Style& style, const Text& text)
{
    Bytes codes, data2;
    PutU8(codes, 0x00);
    PutU8(codes, 0x80);
    PutU16(codes, 0);
    PutU16(codes, style.flags);
    if (style.flags & kSpaceAbove)
        PutCompressedSignedShort(codes, kGapHalfPoints);
    if (style.flags & kSpaceBelow)
        PutCompressedSignedShort(codes, kGapHalfPoints);
    if (style.flags & kLeftIndent)
        PutCompressedSignedShort(codes, kIndentHalfPoints);

    PutU8(data2, 0);
    PutU8(codes, 0x80);
    PutU16(codes, style.font);
    for (const Span& s : text) {
        if (s.target.empty()) {
            PutText(data2, s.text);
            continue;
        }
        PutU8(data2, 0);
        PutU8(codes, 0xE3);
        PutU32(codes, static_cast<uint32_t>(ContextHash(s.target)));
        PutText(data2, s.text);
        PutU8(data2, 0);
        PutU8(codes, 0x89);
    }
    PutU8(data2, 0);
    PutU8(codes, 0x82);
    PutU8(data2, 0);
    PutU8(codes, 0xFF);

    TopicRecord r{kRecordText, {}, std::move(data2)};
    PutCompressedLong(r.data1, static_cast<unsigned>(codes.size()));
    PutCompressedShort(r.data1, static_cast<unsigned>(r.data2.size()));
    PutBytes(r.data1, codes);
    return r;
}

// A row: its first cell as a term, the others as the indented description
// ("text (Column: value)" for columns past the second).
void AddRow(const Block& table, const TableRow& row, std::vector<TopicRecord>* out)
{
    out->push_back(TextRecord(kTerm, row.cells[0]));
    Text description;
    if (row.cells.size() > 1)
        description = row.cells[1];
    for (size_t c = 2; c < row.cells.size(); ++c) {
        if (row.cells[c].empty())
            continue;
        description.push_back({" (" + table.columns[c] + ": ", ""});
        description.insert(description.end(), row.cells[c].begin(), row.cells[c].end());
        description.push_back({")", ""});
    }
    if (!description.empty())
        out->push_back(TextRecord(kDescription, description));
}

}  // namespace

void PutCompressedShort(Bytes& out, unsigned value)
{
    if (value < 128) {
        PutU8(out, value * 2);
    } else {
        PutU8(out, (value % 128) * 2 + 1);
        PutU8(out, value / 128);
    }
}

void PutCompressedLong(Bytes& out, unsigned value)
{
    PutU16(out, (value + 0x4000) * 2);
}

void PutCompressedSignedShort(Bytes& out, unsigned value)
{
    PutU8(out, 0x80 + value * 2);
}

std::vector<TopicRecord> TopicRecords(const Topic& topic)
{
    std::vector<TopicRecord> records;
    TopicRecord header{kRecordTopicHeader, Bytes(kTopicHeaderData1Size, 0), {}};
    PutText(header.data2, topic.title);
    records.push_back(std::move(header));
    // The title as the first paragraph: every topic then has text, so no two
    // topics share an address.
    records.push_back(TextRecord(kHeading, {{topic.title, ""}}));
    for (const Block& b : topic.blocks) {
        if (!b.IsTable()) {
            records.push_back(TextRecord(kBody, b.paragraph));
            continue;
        }
        for (const TableRow& row : b.rows)
            AddRow(b, row, &records);
    }
    return records;
}
