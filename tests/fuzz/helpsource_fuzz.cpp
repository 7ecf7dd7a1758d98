// Fuzz target: help sources (and id headers) through the help compiler: a
// source it accepts compiles, and the file reads back with every topic.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/hlpc/expectedtexts.h"
#include "tests/hlpc/hlpreader.h"
#include "tools/hlpc/hash.h"
#include "tools/hlpc/hlpfile.h"
#include "tools/hlpc/readme.h"
#include "tools/hlpc/source.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

void CheckFile(const HelpSource& source)
{
    Bytes file;
    std::string error;
    Require(BuildHelpFile(source, 0, &file, &error), "an accepted source compiles");
    HlpReader reader;
    std::vector<ReadTopic> topics;
    Require(reader.Open(file, &error), "the file opens");
    Require(reader.Topics(&topics, &error), "the topics read back");
    Require(topics.size() == source.topics.size() + 1, "every topic, then the closing header");
    std::vector<std::pair<uint32_t, uint32_t>> map;
    Require(reader.ContextMap(&map), "the context map reads back");
    for (size_t i = 0; i < source.topics.size(); ++i) {
        const Topic& t = source.topics[i];
        Require(topics[i].title == t.title, "title reads back");
        Require(topics[i].paragraphs == ExpectedTexts(t), "text reads back");
        uint32_t offset = 0;
        Require(reader.OffsetOfHash(ContextHash(t.id), &offset) && offset == topics[i].offset,
                "the topic is found by its id");
        for (uint32_t n : t.numbers) {
            const auto at = std::find_if(map.begin(), map.end(), [n](const auto& e) { return e.first == n; });
            Require(at != map.end(), "context number mapped");
            const ReadTopic* shown = HlpReader::TopicAt(topics, at->second);
            Require(shown != nullptr && shown->title == t.title, "context number shows its topic");
        }
        for (const std::string& k : t.keywords) {
            std::vector<uint32_t> offsets;
            Require(reader.KeywordOffsets(k, &offsets) && offsets == std::vector<uint32_t>{topics[i].offset},
                    "keyword leads to its topic");
        }
        for (int32_t hash : topics[i].jumps)
            Require(reader.OffsetOfHash(hash, &offset), "every jump has a target");
    }
}

// CR LF line ends only, the last line ended too.
void CheckReadme(const std::string& readme)
{
    Require(readme.size() >= 2 && readme.compare(readme.size() - 2, 2, "\r\n") == 0, "readme ends a line");
    for (size_t i = 0; i < readme.size(); ++i) {
        if (readme[i] == '\n')
            Require(i > 0 && readme[i - 1] == '\r', "LF only after CR");
        if (readme[i] == '\r')
            Require(i + 1 < readme.size() && readme[i + 1] == '\n', "CR only before LF");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    // The same bytes as an id header: its names serve the .map lines.
    IdTable ids{{"CM_HELPCONTENTS", 24381}};
    ReadIdHeader(text, &ids);

    HelpSource source;
    std::vector<SourceError> errors;
    const bool accepted = ParseHelpSource(text, ids, &source, &errors);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (size_t i = 0; i < errors.size(); ++i) {
        Require(errors[i].line >= 1 && errors[i].line <= lines, "error names a line of the source");
        Require(i == 0 || errors[i - 1].line <= errors[i].line, "errors in line order");
        Require(!errors[i].message.empty(), "error has a message");
    }
    Require(accepted == errors.empty(), "accepted exactly when there is no error");
    if (!accepted)
        return 0;
    Require(!source.topics.empty() && source.contents < source.topics.size(), "contents is a topic");
    CheckFile(source);
    CheckReadme(RenderReadme(source));
    return 0;
}
