// Help sources the compiler must refuse, each with the line it names, and the text it must convert.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tools/hlpc/source.h"

namespace {

std::string Topic(const std::string& body)
{
    return ".topic a\n.title A\n" + body;
}

TEST(HelpSource, RefusesBadSourcesNamingTheLine)
{
    const std::string line2000(2000, 'w');
    const struct {
        const char* name;
        std::string source;
        int line;
        const char* message;
    } cases[] = {
        {"topic without a title", ".topic a\ntext\n", 1, "topic 'a' has no .title"},
        {"empty title", ".topic a\n.title\n", 2, ".title needs a text"},
        {"duplicate context numbers", Topic(".map 5\n.topic b\n.title B\n.map 7 5\n"), 6,
         "context number 5 is already mapped at line 3"},
        {"empty source", "", 1, "no topic"},
        {"only comments", "# nothing\n\n", 1, "no topic"},
        {"paragraph past 4000 bytes", Topic(line2000 + "\n" + line2000 + "\n"), 3,
         "a paragraph of 4001 bytes; at most 4000"},
        {"character outside code page 1252", Topic("Ma\xC4\x80x\n"), 3,
         "U+0100 cannot be written in code page 1252"},
        {"character outside code page 1252 in a title", ".topic a\n.title \xE2\x86\x92\n", 2, "U+2192"},
        {"invalid UTF-8", Topic("caf\xC3\n"), 3, "invalid UTF-8"},
        {"overlong UTF-8", Topic("\xC0\xAF\n"), 3, "invalid UTF-8"},
        {"control character", Topic(std::string("x\x01y\n")), 3, "control character"},
        {"jump to an unknown topic", Topic("see [b](nowhere)\n"), 3, "jump to unknown topic 'nowhere'"},
        {"jump from a table cell", Topic(".table X | Y\n.row [b](gone) | y\n"), 4, "unknown topic 'gone'"},
        {"topic id used twice", Topic(".topic A\n.title B\n"), 3, "topic id 'A' is already used at line 1"},
        {"id with a hyphen", ".topic a-b\n.title A\n", 1, ".topic needs an id"},
        {"unknown directive", Topic(".bold x\n"), 3, "unknown directive .bold"},
        {"row of too few cells", Topic(".table X | Y\n.row 1\n"), 4, "a row of 1 cells in a table of 2 columns"},
        {"row without a table", Topic(".row 1 | 2\n"), 3, ".row outside a table"},
        {"row after the table ended", Topic(".table X | Y\n.row 1 | 2\n\n.row 3 | 4\n"), 6, ".row outside a table"},
        {"keyword of two topics", Topic(".keywords k\n.topic b\n.title B\n.keywords K\n"), 6,
         "keyword 'K' is already given at line 3"},
        {"unknown context name", Topic(".map NOPE\n"), 3, "unknown context number 'NOPE'"},
        {"context number past 32 bits", Topic(".map 4294967296\n"), 3, "unknown context number"},
        {"text before the first topic", "hello\n" + Topic(""), 1, "text before the first .topic"},
        {"two contents topics", Topic(".contents\n.topic b\n.title B\n.contents\n"), 6, "a second .contents"},
        {"title too long", ".topic a\n.title " + std::string(128, 't') + "\n", 2, "at most 127"},
    };
    IdTable ids;
    for (const auto& c : cases) {
        HelpSource source;
        std::vector<SourceError> errors;
        EXPECT_FALSE(ParseHelpSource(c.source, ids, &source, &errors)) << c.name;
        ASSERT_FALSE(errors.empty()) << c.name;
        bool named = false;
        for (const SourceError& e : errors)
            named = named || (e.line == c.line && e.message.find(c.message) != std::string::npos);
        EXPECT_TRUE(named) << c.name << ": first error at line " << errors[0].line << ": "
                           << errors[0].message;
    }
}

TEST(HelpSource, ConvertsToCodePage1252)
{
    HelpSource source;
    std::vector<SourceError> errors;
    ASSERT_TRUE(ParseHelpSource(".topic a\n.title Caf\xC3\xA9 \xE2\x82\xAC 5\n\xE2\x80\x9Cq\xE2\x80\x9D\tx\n", {},
                                &source, &errors));
    EXPECT_EQ("Caf\xE9 \x80 5", source.topics[0].title);
    EXPECT_EQ("\x93q\x94 x", PlainText(source.topics[0].blocks[0].paragraph)) << "tab becomes a blank";
}

TEST(HelpSource, SplitsJumpsFromText)
{
    HelpSource source;
    std::vector<SourceError> errors;
    ASSERT_TRUE(ParseHelpSource(Topic("See [the b topic](b) and [not a jump](x y) [].\n.topic b\n.title B\n"),
                                {}, &source, &errors));
    const Text& t = source.topics[0].blocks[0].paragraph;
    ASSERT_EQ(3u, t.size());
    EXPECT_EQ("See ", t[0].text);
    EXPECT_EQ("the b topic", t[1].text);
    EXPECT_EQ("b", t[1].target);
    EXPECT_EQ(" and [not a jump](x y) [].", t[2].text);
    EXPECT_EQ("", t[2].target);
}

TEST(HelpSource, ReadsContextNamesFromHeaders)
{
    IdTable ids;
    ReadIdHeader("#define CM_A 24381 /* a menu command */\n"
                 "#define KESTRIN_H\n"
                 "enum : UINT {\n"
                 "    IDC_B = 101,        // a button\n"
                 "    IDC_C = 0x66u,\n"
                 "};\n",
                 &ids);
    EXPECT_EQ((IdTable{{"CM_A", 24381}, {"IDC_B", 101}, {"IDC_C", 102}}), ids);

    HelpSource source;
    std::vector<SourceError> errors;
    ASSERT_TRUE(ParseHelpSource(Topic(".map CM_A IDC_C 7\n"), ids, &source, &errors));
    EXPECT_EQ(std::vector<uint32_t>({24381, 102, 7}), source.topics[0].numbers);
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(HelpCompiler, ReportsErrorsAsFileAndLineAndWritesNoFile)
{
    const std::string dir = ::testing::TempDir();
    const std::string source = dir + "hlpc_bad.hlpsrc", out = dir + "hlpc_bad.hlp", log = dir + "hlpc_bad.log";
    std::ofstream(source, std::ios::binary) << ".topic a\n.title A\n.map 1\n.topic b\n.map 1\n";
    std::remove(out.c_str());
    const std::string cmd = std::string(HLPC_EXE) + " " + source + " " + out + " 2>" + log;
    EXPECT_NE(0, std::system(cmd.c_str()));
    const std::string errors = ReadAll(log);
    EXPECT_NE(std::string::npos, errors.find(source + ":4: topic 'b' has no .title")) << errors;
    EXPECT_NE(std::string::npos, errors.find(source + ":5: context number 1 is already mapped at line 3"))
        << errors;
    EXPECT_FALSE(std::ifstream(out).good());
}

}  // namespace
