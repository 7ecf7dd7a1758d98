// B+ trees as help files store them: the directory, |CONTEXT, |TTLBTREE and |KWBTREE.
//
// Layout: a 38-byte header, then pages of pageSize bytes, numbered from 0.
//   header: u16 0x293B, u16 flags, u16 pageSize, char[16] structure,
//           u16 0, u16 pageSplits, u16 rootPage, u16 0xFFFF,
//           u16 totalPages, u16 levels, u32 totalEntries
//   leaf:   u16 unusedBytes, u16 entryCount, i16 previousPage, i16 nextPage
//           (-1 at the ends), the entries, zero padding
//   index:  u16 unusedBytes, u16 entryCount, u16 firstChildPage, then
//           entryCount x {key, u16 childPage}: childPage holds the keys
//           from key up to the next entry's key; firstChildPage those below
//           the first key.
// Leaves are written first, in key order, then each index level; the root
// is the last page.
#pragma once

#include <cstdint>

#include "tools/hlpc/bytes.h"

struct BTreeSpec {
    uint16_t flags;
    uint16_t pageSize;       // bytes per page
    const char* structure;   // up to 16 characters describing the entries
};

// One entry: its key as index pages store it, and the whole leaf entry
// (which begins with the same key).
struct BTreeEntry {
    Bytes key;
    Bytes leaf;
};

inline constexpr uint16_t kBTreeMagic = 0x293B;
inline constexpr size_t kBTreeHeaderSize = 38;
inline constexpr size_t kLeafHeaderSize = 8;
inline constexpr size_t kIndexHeaderSize = 6;

// Builds the tree of entries, which must already be in the tree's key
// order. Returns false (out untouched) when an entry or index key cannot
// fit a page, or the tree would need more than 65535 pages.
bool BuildBTree(const BTreeSpec& spec, const std::vector<BTreeEntry>& sorted, Bytes* out);
