// A reader of help files for the tests.
#include "tests/hlpc/hlpreader.h"

#include <cstring>

namespace {

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return static_cast<uint32_t>(U16(p)) | (static_cast<uint32_t>(U16(p + 2)) << 16);
}

constexpr size_t kTreeHeader = 38;

// The internal file at offset: its data, after checking its header.
bool InternalFile(const FileBytes& file, uint32_t offset, FileBytes* data)
{
    if (offset + 9 > file.size())
        return false;
    const uint32_t reserved = U32(&file[offset]);
    const uint32_t used = U32(&file[offset + 4]);
    if (reserved != used + 9 || offset + reserved > file.size())
        return false;
    data->assign(file.begin() + offset + 9, file.begin() + offset + 9 + used);
    return true;
}

size_t NameKeySize(const uint8_t* p)
{
    return std::strlen(reinterpret_cast<const char*>(p)) + 1;
}

std::string Lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Compressed numbers as the viewer reads them.
unsigned CompressedShort(const uint8_t** p)
{
    if (**p & 1) {
        const unsigned v = U16(*p) / 2u;
        *p += 2;
        return v;
    }
    const unsigned v = **p / 2u;
    *p += 1;
    return v;
}

long CompressedLong(const uint8_t** p)
{
    if (**p & 1) {
        const long v = (static_cast<long>(U32(*p)) - 0x80000000L) / 2;
        *p += 4;
        return v;
    }
    const long v = (static_cast<long>(U16(*p)) - 0x8000) / 2;
    *p += 2;
    return v;
}

void SkipSignedShort(const uint8_t** p)
{
    *p += (**p & 1) ? 2 : 1;
}

// The text and jumps of a text record: each NUL of LinkData2 takes one code.
bool ReadText(const uint8_t* data1, const uint8_t* end1, const uint8_t* text, size_t textSize,
              ReadTopic* topic, std::string* error)
{
    const uint8_t* p = data1;
    CompressedLong(&p);
    if (CompressedShort(&p) != textSize) {
        *error = "text size field differs from LinkData2";
        return false;
    }
    p += 4;  // 00 80, u16 0
    const unsigned flags = U16(p);
    p += 2;
    for (unsigned bit : {0x02u, 0x04u, 0x08u, 0x10u, 0x20u, 0x40u})
        if (flags & bit)
            SkipSignedShort(&p);
    std::string plain;
    size_t i = 0;
    while (i < textSize) {
        const char* s = reinterpret_cast<const char*>(text + i);
        const size_t n = strnlen(s, textSize - i);
        plain.append(s, n);
        i += n + 1;
        if (i > textSize)
            break;
        if (p >= end1) {
            *error = "a NUL in the text without a code";
            return false;
        }
        const uint8_t code = *p++;
        if (code == 0xFF)
            break;
        if (code == 0x80)
            p += 2;
        else if (code == 0xE3) {
            topic->jumps.push_back(static_cast<int32_t>(U32(p)));
            p += 4;
        } else if (code != 0x82 && code != 0x89) {
            *error = "unknown formatting code";
            return false;
        }
    }
    topic->paragraphs.push_back(plain);
    return true;
}

}  // namespace

bool HlpReader::Open(const FileBytes& file, std::string* error)
{
    file_ = &file;
    if (file.size() < 16 || U32(&file[0]) != 0x00035F3F) {
        *error = "no help file header";
        return false;
    }
    if (U32(&file[12]) != file.size()) {
        *error = "size in the header differs from the file";
        return false;
    }
    if (U32(&file[8]) != 0xFFFFFFFF) {
        *error = "a free list";
        return false;
    }
    directory_ = U32(&file[4]);
    FileBytes dir;
    TreeInfo info;
    if (!InternalFile(file, directory_, &dir) || !Tree(dir, &info)) {
        *error = "no directory tree";
        return false;
    }
    if (info.flags != 0x0402 || info.pageSize != 0x400 || info.structure != "z4") {
        *error = "directory tree header";
        return false;
    }
    return true;
}

bool HlpReader::Tree(const FileBytes& tree, TreeInfo* info)
{
    if (tree.size() < kTreeHeader || U16(&tree[0]) != 0x293B)
        return false;
    info->flags = U16(&tree[2]);
    info->pageSize = U16(&tree[4]);
    info->structure = std::string(reinterpret_cast<const char*>(&tree[6]), strnlen(reinterpret_cast<const char*>(&tree[6]), 16));
    info->rootPage = U16(&tree[26]);
    info->totalPages = U16(&tree[30]);
    info->levels = U16(&tree[32]);
    info->totalEntries = U32(&tree[34]);
    return U16(&tree[28]) == 0xFFFF && info->pageSize > 0 &&
           tree.size() == kTreeHeader + static_cast<size_t>(info->pageSize) * info->totalPages &&
           info->rootPage < info->totalPages && info->levels >= 1;
}

bool HlpReader::Search(const FileBytes& tree, const KeyCompare& compare, const EntrySize& keySize,
                       const EntrySize& leafSize, const uint8_t** leaf)
{
    TreeInfo info;
    if (!Tree(tree, &info))
        return false;
    const uint8_t* pages = tree.data() + kTreeHeader;
    unsigned page = info.rootPage;
    for (unsigned level = info.levels; level > 1; --level) {
        const uint8_t* p = pages + static_cast<size_t>(page) * info.pageSize;
        const unsigned count = U16(p + 2);
        unsigned child = U16(p + 4);
        const uint8_t* e = p + 6;
        for (unsigned i = 0; i < count; ++i) {
            if (compare(e) > 0)
                break;
            const size_t k = keySize(e);
            child = U16(e + k);
            e += k + 2;
        }
        if (child >= info.totalPages)
            return false;
        page = child;
    }
    const uint8_t* p = pages + static_cast<size_t>(page) * info.pageSize;
    const unsigned count = U16(p + 2);
    const uint8_t* e = p + 8;
    for (unsigned i = 0; i < count; ++i) {
        const int c = compare(e);
        if (c == 0) {
            *leaf = e;
            return true;
        }
        if (c > 0)
            return false;
        e += leafSize(e);
    }
    return false;
}

std::vector<const uint8_t*> HlpReader::Leaves(const FileBytes& tree, const EntrySize& leafSize)
{
    std::vector<const uint8_t*> entries;
    TreeInfo info;
    if (!Tree(tree, &info))
        return entries;
    const uint8_t* pages = tree.data() + kTreeHeader;
    unsigned page = info.rootPage;
    for (unsigned level = info.levels; level > 1; --level)
        page = U16(pages + static_cast<size_t>(page) * info.pageSize + 4);
    for (unsigned visited = 0; page != 0xFFFF && visited < info.totalPages; ++visited) {
        const uint8_t* p = pages + static_cast<size_t>(page) * info.pageSize;
        const uint8_t* e = p + 8;
        for (unsigned i = 0; i < U16(p + 2); ++i) {
            entries.push_back(e);
            e += leafSize(e);
        }
        page = U16(p + 6);
    }
    return entries;
}

bool HlpReader::File(const std::string& name, FileBytes* data) const
{
    FileBytes dir;
    if (!InternalFile(*file_, directory_, &dir))
        return false;
    const uint8_t* leaf = nullptr;
    const auto compare = [&name](const uint8_t* stored) {
        return std::strcmp(reinterpret_cast<const char*>(stored), name.c_str());
    };
    const auto leafSize = [](const uint8_t* e) { return NameKeySize(e) + 4; };
    if (!Search(dir, compare, NameKeySize, leafSize, &leaf))
        return false;
    return InternalFile(*file_, U32(leaf + name.size() + 1), data);
}

std::vector<std::string> HlpReader::FileNames() const
{
    FileBytes dir;
    std::vector<std::string> names;
    if (!InternalFile(*file_, directory_, &dir))
        return names;
    for (const uint8_t* e : Leaves(dir, [](const uint8_t* p) { return NameKeySize(p) + 4; }))
        names.emplace_back(reinterpret_cast<const char*>(e));
    return names;
}

bool HlpReader::Topics(std::vector<ReadTopic>* topics, std::string* error) const
{
    FileBytes topic;
    if (!File("|TOPIC", &topic) || topic.empty() || topic.size() % 4096 != 0) {
        *error = "|TOPIC missing or not whole 4 KB blocks";
        return false;
    }
    // The data of all blocks as one stream, as the viewer joins them.
    FileBytes stream;
    for (size_t b = 0; b < topic.size(); b += 4096)
        stream.insert(stream.end(), topic.begin() + static_cast<long>(b + 12), topic.begin() + static_cast<long>(b + 4096));
    topics->clear();
    uint32_t pos = 12;
    size_t lastBlock = 0;
    uint32_t textInBlock = 0;
    for (unsigned guard = 0; pos != 0xFFFFFFFF; ++guard) {
        const size_t block = (pos - 12) >> 14, offset = (pos - 12) & 0x3FFF;
        const size_t at = block * 4084 + offset;
        if (guard > 100000 || offset >= 4084 || at + 21 > stream.size()) {
            *error = "record address out of range";
            return false;
        }
        if (block != lastBlock)
            textInBlock = 0;
        lastBlock = block;
        const uint8_t* r = &stream[at];
        const uint32_t size = U32(r), len2 = U32(r + 4), len1 = U32(r + 16);
        if (size != len1 + len2 || len1 < 21 || at + size > stream.size() || offset + len1 > 4084) {
            *error = "record sizes";
            return false;
        }
        if (r[20] == 0x02) {
            ReadTopic t;
            t.offset = static_cast<uint32_t>(block * 0x8000 + textInBlock);
            t.position = pos;
            t.title.assign(reinterpret_cast<const char*>(r + len1), len2);
            topics->push_back(t);
        } else if (r[20] == 0x20) {
            if (topics->empty()) {
                *error = "text before the first topic header";
                return false;
            }
            if (!ReadText(r + 21, r + len1, r + len1, len2, &topics->back(), error))
                return false;
            textInBlock += len2;
        } else {
            *error = "unknown record type";
            return false;
        }
        pos = U32(r + 12);
    }
    return true;
}

const ReadTopic* HlpReader::TopicAt(const std::vector<ReadTopic>& topics, uint32_t offset)
{
    const ReadTopic* found = nullptr;
    for (const ReadTopic& t : topics)
        if (t.offset <= offset && (found == nullptr || found->offset < t.offset))
            found = &t;
    return found;
}

bool HlpReader::System(unsigned* minor, std::map<unsigned, FileBytes>* records) const
{
    FileBytes s;
    if (!File("|SYSTEM", &s) || s.size() < 12 || U16(&s[0]) != 0x036C || U16(&s[4]) != 1)
        return false;
    *minor = U16(&s[2]);
    for (size_t p = 12; p + 4 <= s.size();) {
        const unsigned type = U16(&s[p]), size = U16(&s[p + 2]);
        if (p + 4 + size > s.size())
            return false;
        (*records)[type].assign(s.begin() + static_cast<long>(p + 4), s.begin() + static_cast<long>(p + 4 + size));
        p += 4 + size;
    }
    return true;
}

bool HlpReader::ContextMap(std::vector<std::pair<uint32_t, uint32_t>>* entries) const
{
    FileBytes m;
    if (!File("|CTXOMAP", &m) || m.size() < 2 || m.size() != 2 + 8u * U16(&m[0]))
        return false;
    for (size_t i = 0; i < U16(&m[0]); ++i)
        entries->emplace_back(U32(&m[2 + 8 * i]), U32(&m[6 + 8 * i]));
    return true;
}

bool HlpReader::OffsetOfHash(int32_t hash, uint32_t* offset) const
{
    FileBytes tree;
    const uint8_t* leaf = nullptr;
    const auto compare = [hash](const uint8_t* stored) {
        const auto h = static_cast<int32_t>(U32(stored));
        return h < hash ? -1 : h > hash ? 1 : 0;
    };
    if (!File("|CONTEXT", &tree) ||
        !Search(tree, compare, [](const uint8_t*) { return size_t{4}; },
                [](const uint8_t*) { return size_t{8}; }, &leaf))
        return false;
    *offset = U32(leaf + 4);
    return true;
}

bool HlpReader::TitleAt(uint32_t offset, std::string* title) const
{
    FileBytes tree;
    const uint8_t* leaf = nullptr;
    const auto compare = [offset](const uint8_t* stored) {
        const uint32_t o = U32(stored);
        return o < offset ? -1 : o > offset ? 1 : 0;
    };
    if (!File("|TTLBTREE", &tree) ||
        !Search(tree, compare, [](const uint8_t*) { return size_t{4}; },
                [](const uint8_t* e) { return 4 + NameKeySize(e + 4); }, &leaf))
        return false;
    *title = reinterpret_cast<const char*>(leaf + 4);
    return true;
}

bool HlpReader::KeywordOffsets(const std::string& keyword, std::vector<uint32_t>* offsets) const
{
    FileBytes tree, data;
    const uint8_t* leaf = nullptr;
    const std::string sought = Lower(keyword);
    const auto compare = [&sought](const uint8_t* stored) {
        return Lower(reinterpret_cast<const char*>(stored)).compare(sought);
    };
    if (!File("|KWBTREE", &tree) || !File("|KWDATA", &data) ||
        !Search(tree, compare, NameKeySize, [](const uint8_t* e) { return NameKeySize(e) + 6; }, &leaf))
        return false;
    const size_t k = NameKeySize(leaf);
    const unsigned count = U16(leaf + k);
    const uint32_t at = U32(leaf + k + 2);
    if (at + 4u * count > data.size())
        return false;
    for (unsigned i = 0; i < count; ++i)
        offsets->push_back(U32(&data[at + 4 * i]));
    return true;
}
