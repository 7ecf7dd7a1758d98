// The plain-text readme's layout, and README.md holding the help's tables of switches, keys and status texts word for word.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "service/versionpick.h"
#include "tests/hlpc/kestrinhelp.h"
#include "tools/hlpc/readme.h"

namespace {

HelpSource Parse(const std::string& text)
{
    HelpSource source;
    std::vector<SourceError> errors;
    EXPECT_TRUE(ParseHelpSource(text, {}, &source, &errors));
    return source;
}

TEST(Readme, RendersReadmeTopicsAsFilledText)
{
    const HelpSource source = Parse(
        ".readmetitle Demo 1.0\n"
        ".topic a\n.title Only in the help\nNot in the readme.\n"
        ".topic b\n.title Switches\n.readme\n"
        "A first paragraph that is long enough to be filled onto a second line of the readme, "
        "with a [jump](a) that shows only its words.\n\n"
        ".table Key | Meaning | Default\n"
        ".row -x | does x | 1\n"
        ".row --longer-than-fourteen | goes on a line of its own | \n");
    EXPECT_EQ("Demo 1.0\r\n"
              "========\r\n"
              "\r\n"
              "Switches\r\n"
              "--------\r\n"
              "\r\n"
              // Exactly 72 columns: the word "of" still fits.
              "A first paragraph that is long enough to be filled onto a second line of\r\n"
              "the readme, with a jump that shows only its words.\r\n"
              "\r\n"
              "  -x              does x (Default: 1)\r\n"
              "  --longer-than-fourteen\r\n"
              "                  goes on a line of its own\r\n",
              RenderReadme(source));
}

using Table = std::vector<std::vector<std::string>>;  // header row first

std::string Trim(const std::string& s)
{
    const size_t a = s.find_first_not_of(' ');
    return a == std::string::npos ? "" : s.substr(a, s.find_last_not_of(' ') - a + 1);
}

// The Markdown tables of a document, cells trimmed and without backticks.
std::vector<Table> MarkdownTables(const std::string& markdown)
{
    std::vector<Table> tables;
    std::istringstream in(markdown);
    std::string line;
    bool inTable = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] != '|') {
            inTable = false;
            continue;
        }
        if (line.find("---") != std::string::npos)
            continue;  // the rule under the header
        std::vector<std::string> cells;
        std::string cell;
        for (size_t i = 1; i < line.size(); ++i) {
            if (line[i] == '|') {
                cells.push_back(Trim(cell));
                cell.clear();
            } else if (line[i] != '`') {
                cell += line[i];
            }
        }
        if (!inTable)
            tables.emplace_back();
        inTable = true;
        tables.back().push_back(cells);
    }
    return tables;
}

TEST(Readme, ReadmeMarkdownHoldsTheHelpTablesWordForWord)
{
    HelpSource help;
    std::vector<SourceError> errors;
    ASSERT_TRUE(ParseKestrinHelp(&help, &errors));
    const std::vector<Table> markdown = MarkdownTables(ReadAll(KESTRIN_SOURCE_DIR "/README.md"));
    unsigned compared = 0;
    for (const Topic& t : help.topics) {
        if (t.id != "switches" && t.id != "settings" && t.id != "status_texts")
            continue;
        for (const Block& b : t.blocks) {
            if (!b.IsTable())
                continue;
            Table expected = {b.columns};
            for (const TableRow& r : b.rows) {
                expected.emplace_back();
                for (const Text& cell : r.cells)
                    expected.back().push_back(PlainText(cell));
            }
            const auto found = std::find_if(markdown.begin(), markdown.end(),
                                            [&expected](const Table& m) { return m[0] == expected[0]; });
            ASSERT_NE(markdown.end(), found) << "README.md lacks the table of " << t.id;
            EXPECT_EQ(expected, *found) << "README.md and help/kestrin.hlpsrc differ in " << t.id;
            ++compared;
        }
    }
    EXPECT_EQ(4u, compared);
}

// The help once named 1, 3, 4 and auto and said any other value is taken as
// 1, while 2 sends version 2: the values it names are those the program takes.
TEST(Readme, HelpNamesTheNtpVersionsTheProgramTakes)
{
    HelpSource help;
    std::vector<SourceError> errors;
    ASSERT_TRUE(ParseKestrinHelp(&help, &errors));
    std::string meaning;
    for (const Topic& t : help.topics)
        for (const Block& b : t.blocks)
            for (const TableRow& r : b.rows)
                if (t.id == "settings" && r.cells.size() > 1 && PlainText(r.cells[0]) == "NTPVersion")
                    meaning = PlainText(r.cells[1]);
    // "protocol version of requests: 1, 2, 3, 4, or auto (see ...)".
    const size_t from = meaning.find(':');
    const size_t to = meaning.find(" (");
    ASSERT_TRUE(from != std::string::npos && to != std::string::npos && from < to) << meaning;
    std::istringstream list(meaning.substr(from + 1, to - from - 1));
    std::set<std::string> named;
    for (std::string word; list >> word;) {
        if (!word.empty() && word.back() == ',')
            word.pop_back();
        if (word != "or")
            named.insert(word);
    }
    std::set<std::string> taken;
    for (const char* value : {"0", "1", "2", "3", "4", "5", "9", "auto"}) {
        VersionSetting setting = kDefaultVersionSetting;
        if (ParseVersionSetting(value, &setting))
            taken.insert(value);
    }
    EXPECT_EQ(taken, named) << meaning;
}

TEST(Readme, ReadmeMarkdownNamesThePackagesOfTheOneVersion)
{
    std::string version = ReadAll(KESTRIN_SOURCE_DIR "/VERSION");
    version.erase(version.find_last_not_of("\r\n") + 1);
    const std::string markdown = ReadAll(KESTRIN_SOURCE_DIR "/README.md");
    for (const char* suffix : {"-win32.zip", "-setup.exe"}) {
        const std::string name = "kestrin-" + version + suffix;
        EXPECT_NE(std::string::npos, markdown.find(name)) << name;
        // Any other package name is one of an older version.
        for (size_t at = markdown.find(suffix); at != std::string::npos; at = markdown.find(suffix, at + 1))
            EXPECT_EQ(name, markdown.substr(at + std::strlen(suffix) - name.size(), name.size()))
                << markdown.substr(at > 40 ? at - 40 : 0, 60);
    }
}

}  // namespace
