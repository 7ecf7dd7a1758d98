// B+ trees as help files store them, built bottom-up from sorted entries.
#include "tools/hlpc/btree.h"

#include <algorithm>
#include <cstring>

namespace {

struct PageRef {
    uint16_t page;
    const Bytes* firstKey;  // the lowest key under the page; null for an empty tree
};

struct Pages {
    uint16_t size;
    std::vector<Bytes> list;

    size_t Add()
    {
        list.emplace_back();
        list.back().reserve(size);
        return list.size() - 1;
    }
};

// Pads a page to its full size and writes its free-byte count first.
void ClosePage(Bytes* page, uint16_t pageSize)
{
    const size_t used = page->size();
    page->resize(pageSize, 0);
    page->at(0) = static_cast<uint8_t>((pageSize - used) & 0xFF);
    page->at(1) = static_cast<uint8_t>((pageSize - used) >> 8);
}

void SetU16At(Bytes* page, size_t offset, unsigned value)
{
    page->at(offset) = static_cast<uint8_t>(value & 0xFF);
    page->at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

bool LayLeaves(const std::vector<BTreeEntry>& sorted, Pages* pages, std::vector<PageRef>* level)
{
    size_t current = pages->Add();
    auto startLeaf = [&](size_t page) {
        Bytes& p = pages->list[page];
        PutU16(p, 0);       // free bytes, set when closed
        PutU16(p, 0);       // entry count
        PutU16(p, 0xFFFF);  // previous page, set below
        PutU16(p, 0xFFFF);  // next page, set below
    };
    startLeaf(current);
    level->push_back({static_cast<uint16_t>(current), sorted.empty() ? nullptr : &sorted[0].key});
    unsigned count = 0;
    for (const BTreeEntry& e : sorted) {
        if (kLeafHeaderSize + e.leaf.size() > pages->size)
            return false;
        if (pages->list[current].size() + e.leaf.size() > pages->size) {
            if (pages->list.size() >= 0xFFFF)
                return false;
            SetU16At(&pages->list[current], 2, count);
            current = pages->Add();
            startLeaf(current);
            level->push_back({static_cast<uint16_t>(current), &e.key});
            count = 0;
        }
        PutBytes(pages->list[current], e.leaf);
        ++count;
    }
    SetU16At(&pages->list[current], 2, count);
    for (size_t i = 0; i < level->size(); ++i) {
        Bytes& p = pages->list[(*level)[i].page];
        SetU16At(&p, 4, i == 0 ? 0xFFFF : (*level)[i - 1].page);
        SetU16At(&p, 6, i + 1 == level->size() ? 0xFFFF : (*level)[i + 1].page);
        ClosePage(&p, pages->size);
    }
    return true;
}

// One index level above children; false when a key cannot fit a page.
bool LayIndexLevel(const std::vector<PageRef>& children, Pages* pages, std::vector<PageRef>* parents)
{
    size_t current = 0;
    unsigned count = 0;
    auto finish = [&]() {
        SetU16At(&pages->list[current], 2, count);
        ClosePage(&pages->list[current], pages->size);
    };
    for (size_t i = 0; i < children.size(); ++i) {
        const PageRef& child = children[i];
        const size_t entrySize = child.firstKey->size() + 2;
        if (kIndexHeaderSize + entrySize > pages->size)
            return false;
        if (i == 0 || pages->list[current].size() + entrySize > pages->size) {
            if (i != 0)
                finish();
            current = pages->Add();
            Bytes& p = pages->list[current];
            PutU16(p, 0);  // free bytes
            PutU16(p, 0);  // entry count
            PutU16(p, child.page);
            parents->push_back({static_cast<uint16_t>(current), child.firstKey});
            count = 0;
            continue;
        }
        Bytes& p = pages->list[current];
        PutBytes(p, *child.firstKey);
        PutU16(p, child.page);
        ++count;
    }
    finish();
    return true;
}

}  // namespace

bool BuildBTree(const BTreeSpec& spec, const std::vector<BTreeEntry>& sorted, Bytes* out)
{
    Pages pages{spec.pageSize, {}};
    std::vector<PageRef> level;
    if (!LayLeaves(sorted, &pages, &level))
        return false;
    unsigned levels = 1;
    while (level.size() > 1) {
        std::vector<PageRef> parents;
        if (!LayIndexLevel(level, &pages, &parents))
            return false;
        level.swap(parents);
        ++levels;
        if (pages.list.size() > 0xFFFF)
            return false;
    }

    Bytes tree;
    PutU16(tree, kBTreeMagic);
    PutU16(tree, spec.flags);
    PutU16(tree, spec.pageSize);
    char structure[16] = {};
    std::memcpy(structure, spec.structure, std::min(std::strlen(spec.structure), sizeof structure));
    tree.insert(tree.end(), structure, structure + sizeof structure);
    PutU16(tree, 0);
    // Each split of a full page added one page; each new root one page and
    // one level.
    PutU16(tree, static_cast<unsigned>(pages.list.size() - levels));
    PutU16(tree, level[0].page);
    PutU16(tree, 0xFFFF);
    PutU16(tree, static_cast<unsigned>(pages.list.size()));
    PutU16(tree, levels);
    PutU32(tree, static_cast<uint32_t>(sorted.size()));
    for (const Bytes& p : pages.list)
        PutBytes(tree, p);
    *out = std::move(tree);
    return true;
}
