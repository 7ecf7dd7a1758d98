// A reader of help files for the tests, written apart from the compiler: file system, B+ trees, topics.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

using FileBytes = std::vector<uint8_t>;

// What the reader found in one B+ tree.
struct TreeInfo {
    unsigned flags = 0, pageSize = 0, rootPage = 0, totalPages = 0, levels = 0;
    uint32_t totalEntries = 0;
    std::string structure;
};

struct ReadTopic {
    uint32_t offset = 0;      // TOPICOFFSET of its header, counted as the viewer counts
    uint32_t position = 0;    // TOPICPOS of its header
    std::string title;
    std::vector<std::string> paragraphs;  // text of each text record, codes removed
    std::vector<int32_t> jumps;           // context hashes of the jumps in its text
};

class HlpReader {
public:
    // Checks the file header and the directory; false with *error otherwise.
    bool Open(const FileBytes& file, std::string* error);

    // The data of an internal file found by searching the directory tree
    // from its root (not by a scan).
    bool File(const std::string& name, FileBytes* data) const;
    std::vector<std::string> FileNames() const;

    // The header of a tree file.
    static bool Tree(const FileBytes& tree, TreeInfo* info);
    // Searches a tree from its root. less(entry, key) and equal(entry, key)
    // compare a stored key with the key sought; keySize gives the size of a
    // stored key, leafSize of a whole leaf entry. Returns the leaf entry.
    using KeyCompare = std::function<int(const uint8_t* stored)>;  // <0, 0, >0 like stored - sought
    using EntrySize = std::function<size_t(const uint8_t* entry)>;
    static bool Search(const FileBytes& tree, const KeyCompare& compare, const EntrySize& keySize,
                       const EntrySize& leafSize, const uint8_t** leaf);
    // Every leaf entry, following the leaf chain from the leftmost leaf.
    static std::vector<const uint8_t*> Leaves(const FileBytes& tree, const EntrySize& leafSize);

    // The topics, following the record chain of |TOPIC from its first record.
    bool Topics(std::vector<ReadTopic>* topics, std::string* error) const;

    // What the viewer shows for a TOPICOFFSET: the topic with the largest
    // offset not above it.
    static const ReadTopic* TopicAt(const std::vector<ReadTopic>& topics, uint32_t offset);

    // |SYSTEM: version and records by type.
    bool System(unsigned* minor, std::map<unsigned, FileBytes>* records) const;
    // |CTXOMAP entries in file order.
    bool ContextMap(std::vector<std::pair<uint32_t, uint32_t>>* entries) const;
    // |CONTEXT searched for a hash.
    bool OffsetOfHash(int32_t hash, uint32_t* offset) const;
    // |TTLBTREE searched for an offset.
    bool TitleAt(uint32_t offset, std::string* title) const;
    // |KWBTREE searched for a keyword (case-insensitively), then |KWDATA.
    bool KeywordOffsets(const std::string& keyword, std::vector<uint32_t>* offsets) const;

private:
    const FileBytes* file_ = nullptr;
    uint32_t directory_ = 0;
};
