// A whole WinHelp 3.1 file from a checked help source.
#include "tools/hlpc/hlpfile.h"

#include <algorithm>
#include <map>

#include "tools/hlpc/btree.h"
#include "tools/hlpc/hash.h"
#include "tools/hlpc/paragraph.h"
#include "tools/hlpc/topic.h"

namespace {

using InternalFiles = std::map<std::string, Bytes>;  // std::map: in name (strcmp) order

Bytes SystemFile(const HelpSource& source, uint32_t buildTime, uint32_t contentsOffset)
{
    Bytes f;
    PutU16(f, 0x036C);
    PutU16(f, 21);
    PutU16(f, 1);
    PutU32(f, buildTime);
    PutU16(f, 0);
    auto record = [&f](unsigned type, const Bytes& data) {
        PutU16(f, type);
        PutU16(f, static_cast<unsigned>(data.size()));
        PutBytes(f, data);
    };
    Bytes title, copyright, contents;
    PutZ(title, source.title);
    record(1, title);
    if (!source.copyright.empty()) {
        PutZ(copyright, source.copyright);
        record(2, copyright);
    }
    PutU32(contents, contentsOffset);
    record(3, contents);
    return f;
}

Bytes FontFile()
{
    constexpr char kFace[32] = "Arial";
    constexpr unsigned kSwiss = 3;
    struct Descriptor {
        unsigned attributes;  // 1 bold
        unsigned halfPoints;
    };
    constexpr Descriptor kFonts[kFontCount] = {{0, 20}, {1, 20}, {1, 28}};
    Bytes f;
    PutU16(f, 1);
    PutU16(f, kFontCount);
    PutU16(f, 8);
    PutU16(f, 8 + 32);
    f.insert(f.end(), kFace, kFace + sizeof kFace);
    for (const Descriptor& d : kFonts) {
        PutU8(f, d.attributes);
        PutU8(f, d.halfPoints);
        PutU8(f, kSwiss);
        PutU16(f, 0);
        for (int i = 0; i < 6; ++i)
            PutU8(f, 0);  // black on the window's background
    }
    return f;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool AddTrees(const HelpSource& source, const std::vector<uint32_t>& offsets, InternalFiles* files)
{
    std::vector<BTreeEntry> context, titles, keywords;
    std::vector<std::pair<uint32_t, uint32_t>> map;  // context number, TOPICOFFSET
    std::vector<std::pair<std::string, uint32_t>> words;
    for (size_t t = 0; t < source.topics.size(); ++t) {
        const Topic& topic = source.topics[t];
        BTreeEntry c;
        PutU32(c.key, static_cast<uint32_t>(ContextHash(topic.id)));
        c.leaf = c.key;
        PutU32(c.leaf, offsets[t]);
        context.push_back(c);
        BTreeEntry title;
        PutU32(title.key, offsets[t]);
        title.leaf = title.key;
        PutZ(title.leaf, topic.title);
        titles.push_back(title);
        for (uint32_t n : topic.numbers)
            map.emplace_back(n, offsets[t]);
        for (const std::string& k : topic.keywords)
            words.emplace_back(k, offsets[t]);
    }
    // The viewer searches |CONTEXT in order and stops at the first larger
    // hash, comparing the hashes as signed values.
    std::sort(context.begin(), context.end(), [](const BTreeEntry& a, const BTreeEntry& b) {
        return static_cast<int32_t>(GetU32(a.key.data())) < static_cast<int32_t>(GetU32(b.key.data()));
    });
    std::sort(titles.begin(), titles.end(), [](const BTreeEntry& a, const BTreeEntry& b) {
        return GetU32(a.key.data()) < GetU32(b.key.data());
    });
    std::sort(map.begin(), map.end());
    std::sort(words.begin(), words.end(), [](const auto& a, const auto& b) {
        const std::string la = Lower(a.first), lb = Lower(b.first);
        return la != lb ? la < lb : a.first < b.first;
    });
    if (map.size() > 0xFFFF)
        return false;

    const BTreeSpec contextSpec{kTreeFlags, kTreePageSize, "L4"};
    const BTreeSpec titleSpec{kTreeFlags, kTreePageSize, "Lz"};
    if (!BuildBTree(contextSpec, context, &(*files)["|CONTEXT"]) ||
        !BuildBTree(titleSpec, titles, &(*files)["|TTLBTREE"]))
        return false;

    Bytes& ctxomap = (*files)["|CTXOMAP"];
    PutU16(ctxomap, static_cast<unsigned>(map.size()));
    for (const auto& [number, offset] : map) {
        PutU32(ctxomap, number);
        PutU32(ctxomap, offset);
    }

    if (words.empty())
        return true;
    Bytes data;
    for (const auto& [word, offset] : words) {
        BTreeEntry e;
        PutZ(e.key, word);
        e.leaf = e.key;
        PutU16(e.leaf, 1);
        PutU32(e.leaf, static_cast<uint32_t>(data.size()));
        PutU32(data, offset);
        keywords.push_back(e);
    }
    (*files)["|KWDATA"] = data;
    const BTreeSpec keywordSpec{kTreeFlags, kTreePageSize, "z24"};
    return BuildBTree(keywordSpec, keywords, &(*files)["|KWBTREE"]);
}

void PutInternalFile(Bytes& out, const Bytes& data)
{
    PutU32(out, static_cast<uint32_t>(data.size() + kInternalFileHeaderSize));
    PutU32(out, static_cast<uint32_t>(data.size()));
    PutU8(out, 4);
    PutBytes(out, data);
}

bool Container(const InternalFiles& files, Bytes* out)
{
    Bytes file(kHelpFileHeaderSize, 0);
    std::vector<BTreeEntry> directory;
    for (const auto& [name, data] : files) {
        BTreeEntry e;
        PutZ(e.key, name);
        e.leaf = e.key;
        PutU32(e.leaf, static_cast<uint32_t>(file.size()));
        directory.push_back(e);
        PutInternalFile(file, data);
    }
    Bytes tree;
    if (!BuildBTree({kDirectoryFlags, kDirectoryPageSize, "z4"}, directory, &tree))
        return false;
    const auto directoryOffset = static_cast<uint32_t>(file.size());
    PutInternalFile(file, tree);
    SetU32(file, 0, kHelpFileMagic);
    SetU32(file, 4, directoryOffset);
    SetU32(file, 8, 0xFFFFFFFF);
    SetU32(file, 12, static_cast<uint32_t>(file.size()));
    *out = std::move(file);
    return true;
}

}  // namespace

bool BuildHelpFile(const HelpSource& source, uint32_t buildTime, Bytes* out, std::string* error)
{
    std::vector<TopicRecord> records;
    std::vector<size_t> headers;  // index of each topic's header record
    for (const Topic& t : source.topics) {
        headers.push_back(records.size());
        std::vector<TopicRecord> more = TopicRecords(t);
        records.insert(records.end(), more.begin(), more.end());
    }
    // An empty topic header closes the list.
    records.push_back({kRecordTopicHeader, Bytes(kTopicHeaderData1Size, 0), {}});

    TopicLayout layout;
    if (!LayOutTopics(records, &layout)) {
        *error = "the topics do not fit the topic blocks";
        return false;
    }
    std::vector<uint32_t> offsets;
    for (size_t h : headers)
        offsets.push_back(layout.offsets[h]);

    InternalFiles files;
    files["|SYSTEM"] = SystemFile(source, buildTime, offsets[source.contents]);
    files["|FONT"] = FontFile();
    files["|TOPIC"] = std::move(layout.file);
    if (!AddTrees(source, offsets, &files) || !Container(files, out)) {
        *error = "an index does not fit its pages";
        return false;
    }
    return true;
}
