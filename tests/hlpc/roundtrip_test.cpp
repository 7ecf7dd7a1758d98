// Compiled help files read back by the tests' own reader: every topic by context number, hash, title and keyword.
#include <gtest/gtest.h>

#include "tests/hlpc/expectedtexts.h"
#include "tests/hlpc/hlpreader.h"
#include "tests/hlpc/kestrinhelp.h"
#include "tools/hlpc/hash.h"
#include "tools/hlpc/hlpfile.h"

namespace {

struct Compiled {
    HelpSource source;
    Bytes file;
    HlpReader reader;
    std::vector<ReadTopic> topics;
};

// Builds and reads back a parsed source; fails the test on any error.
void Build(Compiled* c)
{
    std::string error;
    ASSERT_TRUE(BuildHelpFile(c->source, 0, &c->file, &error)) << error;
    ASSERT_TRUE(c->reader.Open(c->file, &error)) << error;
    ASSERT_TRUE(c->reader.Topics(&c->topics, &error)) << error;
}

void Compile(const std::string& text, const IdTable& ids, Compiled* c)
{
    std::vector<SourceError> errors;
    ASSERT_TRUE(ParseHelpSource(text, ids, &c->source, &errors))
        << errors[0].line << ": " << errors[0].message;
    Build(c);
}

// Every topic of the source is in the file: in order with its text, under
// its hash, title, context numbers and keywords, as the viewer finds them.
void ExpectEveryTopic(const Compiled& c)
{
    // The records end with an empty topic header.
    ASSERT_EQ(c.source.topics.size() + 1, c.topics.size());
    EXPECT_EQ("", c.topics.back().title);
    std::vector<std::pair<uint32_t, uint32_t>> map;
    ASSERT_TRUE(c.reader.ContextMap(&map));
    for (size_t i = 0; i < c.source.topics.size(); ++i) {
        const Topic& t = c.source.topics[i];
        const ReadTopic& read = c.topics[i];
        EXPECT_EQ(t.title, read.title) << t.id;
        EXPECT_EQ(ExpectedTexts(t), read.paragraphs) << t.id;

        uint32_t offset = 0;
        ASSERT_TRUE(c.reader.OffsetOfHash(ContextHash(t.id), &offset)) << t.id;
        EXPECT_EQ(read.offset, offset) << t.id;
        std::string title;
        ASSERT_TRUE(c.reader.TitleAt(offset, &title)) << t.id;
        EXPECT_EQ(t.title, title) << t.id;
        for (uint32_t n : t.numbers) {
            const auto at = std::find_if(map.begin(), map.end(), [n](const auto& e) { return e.first == n; });
            ASSERT_NE(map.end(), at) << t.id << " " << n;
            const ReadTopic* shown = HlpReader::TopicAt(c.topics, at->second);
            ASSERT_NE(nullptr, shown);
            EXPECT_EQ(t.title, shown->title) << t.id << " " << n;
        }
        for (const std::string& k : t.keywords) {
            std::vector<uint32_t> offsets;
            ASSERT_TRUE(c.reader.KeywordOffsets(k, &offsets)) << k;
            EXPECT_EQ(std::vector<uint32_t>({read.offset}), offsets) << k;
        }
        for (int32_t hash : read.jumps) {
            uint32_t target = 0;
            EXPECT_TRUE(c.reader.OffsetOfHash(hash, &target)) << t.id << " jumps to hash " << hash;
        }
    }
    // Distinct topics have distinct addresses.
    for (size_t i = 1; i < c.topics.size(); ++i)
        EXPECT_LT(c.topics[i - 1].offset, c.topics[i].offset) << i;
}

TEST(HelpFile, SmallSourceReadsBack)
{
    Compiled c;
    Compile(".file Small Help\n.copyright (C) us\n"
            ".topic first\n.title First\n.map 300 20\n.keywords one; Uno\nText of the first.\n\n"
            ".topic second\n.title Second\n.contents\n.map 7\nSee [the first](first).\n"
            ".table Key | Meaning | Default\n.row K | what k does | 5\n.row L | | \n",
            {}, &c);
    ExpectEveryTopic(c);

    EXPECT_EQ(std::vector<std::string>({"|CONTEXT", "|CTXOMAP", "|FONT", "|KWBTREE", "|KWDATA", "|SYSTEM",
                                        "|TOPIC", "|TTLBTREE"}),
              c.reader.FileNames());
    // |CTXOMAP lists the numbers in ascending order, whatever the source's.
    std::vector<std::pair<uint32_t, uint32_t>> map;
    ASSERT_TRUE(c.reader.ContextMap(&map));
    ASSERT_EQ(3u, map.size());
    EXPECT_EQ(7u, map[0].first);
    EXPECT_EQ(20u, map[1].first);
    EXPECT_EQ(300u, map[2].first);
    EXPECT_EQ(c.topics[1].offset, map[0].second);
    EXPECT_EQ(c.topics[0].offset, map[1].second);

    unsigned minor = 0;
    std::map<unsigned, FileBytes> records;
    ASSERT_TRUE(c.reader.System(&minor, &records));
    EXPECT_EQ(21u, minor);
    EXPECT_EQ(FileBytes({'S', 'm', 'a', 'l', 'l', ' ', 'H', 'e', 'l', 'p', 0}), records[1]);
    ASSERT_EQ(4u, records[3].size());
    EXPECT_EQ(c.topics[1].offset, GetU32(records[3].data())) << "the contents topic";
    // "L" has neither description nor default: its term stands alone.
    EXPECT_EQ(std::vector<std::string>({"Second", "See the first.", "K", "what k does (Default: 5)", "L"}),
              c.topics[1].paragraphs);
    EXPECT_EQ(std::vector<int32_t>({ContextHash("first")}), c.topics[1].jumps);
}

TEST(HelpFile, NoKeywordsMeansNoKeywordFiles)
{
    Compiled c;
    Compile(".topic a\n.title A\n", {}, &c);
    FileBytes data;
    EXPECT_FALSE(c.reader.File("|KWBTREE", &data));
    EXPECT_FALSE(c.reader.File("|KWDATA", &data));
    EXPECT_TRUE(c.reader.File("|CTXOMAP", &data)) << "an empty map, still there";
}

TEST(HelpFile, LongestParagraphsAndManyTopicsReadBack)
{
    // 400 topics with paragraphs of the longest length: |TOPIC runs over
    // hundreds of blocks, |CONTEXT and |TTLBTREE over several pages.
    std::string text;
    for (int i = 0; i < 400; ++i) {
        const std::string n = std::to_string(i);
        text += ".topic t" + n + "\n.title Topic " + n + "\n.map " + std::to_string(1000 - i) +
                "\n.keywords word " + n + "\n" + std::string(kMaxParagraphBytes - n.size(), static_cast<char>('a' + i % 26)) +
                n + "\n";
    }
    Compiled c;
    Compile(text, {}, &c);
    ExpectEveryTopic(c);
    FileBytes context;
    ASSERT_TRUE(c.reader.File("|CONTEXT", &context));
    TreeInfo info;
    ASSERT_TRUE(HlpReader::Tree(context, &info));
    EXPECT_EQ(2u, info.levels) << "400 entries of 8 bytes need two 2 KB leaves and a root";
}

TEST(HelpFile, KestrinHelpReadsBackWithEveryCommandMapped)
{
    Compiled c;
    std::vector<SourceError> errors;
    ASSERT_TRUE(ParseKestrinHelp(&c.source, &errors)) << errors[0].line << ": " << errors[0].message;
    Build(&c);
    ExpectEveryTopic(c);
    EXPECT_EQ("contents", c.source.topics[c.source.contents].id);

    // The commands the program answers with context help, and what it
    // shows for each.
    const struct {
        uint32_t number;
        const char* title;
    } commands[] = {
        {24381, "Help > Contents"}, {24389, "Help > About..."}, {101, "Stats..."},
        {102, "Set Time"},          {103, "Set TZ..."},
    };
    std::vector<std::pair<uint32_t, uint32_t>> map;
    ASSERT_TRUE(c.reader.ContextMap(&map));
    for (const auto& command : commands) {
        const auto at = std::find_if(map.begin(), map.end(),
                                     [&command](const auto& e) { return e.first == command.number; });
        ASSERT_NE(map.end(), at) << command.number;
        EXPECT_EQ(command.title, HlpReader::TopicAt(c.topics, at->second)->title) << command.number;
    }
}

}  // namespace
