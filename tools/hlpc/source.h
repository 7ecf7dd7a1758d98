// The help source markup: topics with a title, keywords, context numbers, paragraphs and tables.
//
// A source is UTF-8 text, read line by line (it is written in code page
// 1252, so every character must exist there):
//   # ...                    a comment (only in the first column)
//   .file TEXT               the help file's title
//   .copyright TEXT          its copyright line
//   .readmetitle TEXT        the first line of the plain-text readme
//   .topic ID                starts a topic; ID is its context string
//                            (letters, digits, '.', '_')
//   .title TEXT              the topic's title (required)
//   .keywords A; B           index entries leading to the topic
//   .map N NAME ...          context numbers of the topic: decimal, 0x hex,
//                            or names from the id headers
//   .contents                the topic the file opens at (else the first)
//   .readme                  the topic also goes into the plain-text readme
//   .table H1 | H2 ...       a table's column headers; .row lines follow
//   .row C1 | C2 ...         one row, as many cells as headers
//   other lines              text; consecutive lines make one paragraph,
//                            a blank line or a directive ends it
// In text and cells, [words](ID) is a jump to topic ID.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A run of text; with a target it is a jump to the topic of that id.
struct Span {
    std::string text;    // code page 1252
    std::string target;  // empty: plain text
};
using Text = std::vector<Span>;

struct TableRow {
    int line;
    std::vector<Text> cells;
};

// A paragraph, or a table when columns is not empty.
struct Block {
    int line;
    Text paragraph;
    std::vector<std::string> columns;
    std::vector<TableRow> rows;
    bool IsTable() const { return !columns.empty(); }
};

struct Topic {
    int line = 0;  // of its .topic
    std::string id;
    std::string title;
    std::vector<std::string> keywords;
    std::vector<uint32_t> numbers;
    std::vector<Block> blocks;
    bool readme = false;
};

struct HelpSource {
    std::string title;
    std::string copyright;
    std::string readmeTitle;
    std::vector<Topic> topics;
    size_t contents = 0;  // index into topics
};

struct SourceError {
    int line;  // 1-based
    std::string message;
};

// Symbolic context numbers, name to value.
using IdTable = std::map<std::string, uint32_t>;

// The longest text of one paragraph or table row in bytes: it fits one
// 4 KB topic block, so the record runs into the next block at most once.
inline constexpr size_t kMaxParagraphBytes = 4000;
inline constexpr size_t kMaxTitleBytes = 127;
inline constexpr size_t kMaxKeywordBytes = 255;

// Adds the names defined in a C header ("#define NAME 123" and enumerator
// lines "NAME = 123,", comments after them allowed) to ids.
void ReadIdHeader(const std::string& header, IdTable* ids);

// The text without its jump markup.
std::string PlainText(const Text& text);

// Parses and checks a whole source. Returns true and fills *out when it is
// sound; otherwise returns false with every error found, in line order.
bool ParseHelpSource(const std::string& utf8, const IdTable& ids, HelpSource* out,
                     std::vector<SourceError>* errors);
