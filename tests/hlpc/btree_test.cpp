// B+ tree pages from small hand-checked examples, and searches through them as a viewer searches.
#include <gtest/gtest.h>

#include "tests/hlpc/hlpreader.h"
#include "tools/hlpc/btree.h"

namespace {

// Keys 10, 20, 30 ... with the value key + 1: 8-byte leaf entries.
std::vector<BTreeEntry> Entries(unsigned count)
{
    std::vector<BTreeEntry> entries;
    for (unsigned i = 1; i <= count; ++i) {
        BTreeEntry e;
        PutU32(e.key, i * 10);
        e.leaf = e.key;
        PutU32(e.leaf, i * 10 + 1);
        entries.push_back(e);
    }
    return entries;
}

const uint8_t* Page(const Bytes& tree, unsigned pageSize, unsigned page)
{
    return tree.data() + kBTreeHeaderSize + static_cast<size_t>(page) * pageSize;
}

bool Find(const Bytes& tree, uint32_t key, uint32_t* value)
{
    const uint8_t* leaf = nullptr;
    const auto compare = [key](const uint8_t* stored) {
        const uint32_t k = GetU32(stored);
        return k < key ? -1 : k > key ? 1 : 0;
    };
    const auto four = [](const uint8_t*) { return size_t{4}; };
    const auto eight = [](const uint8_t*) { return size_t{8}; };
    if (!HlpReader::Search(tree, compare, four, eight, &leaf))
        return false;
    *value = GetU32(leaf + 4);
    return true;
}

TEST(BTree, SevenEntriesInThreeLeavesUnderOneIndexPage)
{
    // 32-byte pages: a leaf holds (32 - 8) / 8 = 3 entries, so the leaves
    // hold 3, 3 and 1; one index page above them is the root.
    Bytes tree;
    ASSERT_TRUE(BuildBTree({0x0002, 32, "L4"}, Entries(7), &tree));
    ASSERT_EQ(kBTreeHeaderSize + 4 * 32, tree.size());

    const uint8_t expectedHeader[kBTreeHeaderSize] = {
        0x3B, 0x29, 0x02, 0x00, 32, 0,            // magic, flags, page size
        'L', '4', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0,                                      // must be 0
        2, 0,                                      // page splits: 4 pages - 2 levels
        3, 0,                                      // root: the last page
        0xFF, 0xFF,
        4, 0,                                      // pages
        2, 0,                                      // levels
        7, 0, 0, 0,                                // entries
    };
    EXPECT_EQ(Bytes(expectedHeader, expectedHeader + kBTreeHeaderSize),
              Bytes(tree.begin(), tree.begin() + kBTreeHeaderSize));

    struct Leaf {
        unsigned unused, count, previous, next, firstKey;
    } leaves[] = {
        {0, 3, 0xFFFF, 1, 10},
        {0, 3, 0, 2, 40},
        {16, 1, 1, 0xFFFF, 70},
    };
    for (unsigned i = 0; i < 3; ++i) {
        const uint8_t* p = Page(tree, 32, i);
        EXPECT_EQ(leaves[i].unused, GetU16(p)) << i;
        EXPECT_EQ(leaves[i].count, GetU16(p + 2)) << i;
        EXPECT_EQ(leaves[i].previous, GetU16(p + 4)) << i;
        EXPECT_EQ(leaves[i].next, GetU16(p + 6)) << i;
        EXPECT_EQ(leaves[i].firstKey, GetU32(p + 8)) << i;
    }
    // Index: first child 0, then the lowest key of each further leaf.
    const uint8_t expectedIndex[32] = {
        14, 0, 2, 0, 0, 0,          // 32 - 6 - 2 * 6 unused, 2 entries, first child
        40, 0, 0, 0, 1, 0,          // key 40: page 1
        70, 0, 0, 0, 2, 0,          // key 70: page 2
    };
    const uint8_t* root = Page(tree, 32, 3);
    EXPECT_EQ(Bytes(expectedIndex, expectedIndex + 32), Bytes(root, root + 32));
}

TEST(BTree, EveryKeyIsFoundFromTheRootOfADeepTree)
{
    // 24-byte pages: 2 entries per leaf, 4 children per index page; 21
    // entries make 11 leaves, 3 index pages and a root: three levels.
    const std::vector<BTreeEntry> entries = Entries(21);
    Bytes tree;
    ASSERT_TRUE(BuildBTree({0x0002, 24, "L4"}, entries, &tree));
    TreeInfo info;
    ASSERT_TRUE(HlpReader::Tree(tree, &info));
    EXPECT_EQ(3u, info.levels);
    EXPECT_EQ(15u, info.totalPages);
    EXPECT_EQ(14u, info.rootPage);
    EXPECT_EQ(21u, info.totalEntries);

    for (uint32_t key = 5; key <= 215; key += 5) {
        uint32_t value = 0;
        const bool present = key % 10 == 0;
        EXPECT_EQ(present, Find(tree, key, &value)) << key;
        if (present) {
            EXPECT_EQ(key + 1, value) << key;
        }
    }
    // The leaf chain gives every entry once, in order.
    const auto all = HlpReader::Leaves(tree, [](const uint8_t*) { return size_t{8}; });
    ASSERT_EQ(21u, all.size());
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ((i + 1) * 10, GetU32(all[i]));
}

TEST(BTree, EmptyTreeIsOneEmptyLeaf)
{
    Bytes tree;
    ASSERT_TRUE(BuildBTree({0x0002, 64, "L4"}, {}, &tree));
    TreeInfo info;
    ASSERT_TRUE(HlpReader::Tree(tree, &info));
    EXPECT_EQ(1u, info.totalPages);
    EXPECT_EQ(1u, info.levels);
    EXPECT_EQ(0u, info.totalEntries);
    EXPECT_EQ(64 - kLeafHeaderSize, GetU16(Page(tree, 64, 0)));
    uint32_t value = 0;
    EXPECT_FALSE(Find(tree, 10, &value));
}

TEST(BTree, RefusesAnEntryLargerThanAPage)
{
    BTreeEntry big;
    big.key = Bytes(4, 1);
    big.leaf = Bytes(57, 1);  // 8 + 57 > 64
    Bytes tree = {1, 2, 3};
    EXPECT_FALSE(BuildBTree({0x0002, 64, "L4"}, {big}, &tree));
    EXPECT_EQ(Bytes({1, 2, 3}), tree) << "output untouched";
}

}  // namespace
