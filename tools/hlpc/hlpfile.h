// A whole WinHelp 3.1 file from a checked help source: the internal files and the file system around them.
//
// File header: u32 0x00035F3F, u32 offset of the directory, u32 -1 (no free
// list), u32 file size. Each internal file: u32 reserved (= used + 9),
// u32 used, u8 4, then its bytes. The directory is an internal file holding
// a B+ tree of names ("|SYSTEM", ...) to the offsets of those headers; it
// comes last, the others in name order.
//
// Internal files written:
//   |SYSTEM    u16 0x036C, u16 21 (3.1), u16 1, u32 build time, u16 0 (no
//              compression, 4 KB topic blocks); records {u16 type,
//              u16 size, data}: 1 title, 2 copyright, 3 TOPICOFFSET of the
//              contents topic
//   |TOPIC     the topics (topic.h, paragraph.h)
//   |FONT      u16 faces, u16 descriptors, u16 8, u16 8 + 32 * faces, the
//              32-byte face names, 11-byte descriptors (u8 attributes,
//              u8 half points, u8 family, u16 face, u8[3] colour, u8[3]
//              background)
//   |CONTEXT   B+ tree of context hash to TOPICOFFSET, by signed hash
//   |CTXOMAP   u16 count, then {u32 context number, u32 TOPICOFFSET} by number
//   |TTLBTREE  B+ tree of TOPICOFFSET to title
//   |KWBTREE   B+ tree of keyword to {u16 count, u32 offset into |KWDATA},
//              without regard to case; |KWDATA the TOPICOFFSETs (u32 each).
//              Only when some topic has keywords.
#pragma once

#include <cstdint>
#include <string>

#include "tools/hlpc/bytes.h"
#include "tools/hlpc/source.h"

inline constexpr uint32_t kHelpFileMagic = 0x00035F3F;
inline constexpr size_t kHelpFileHeaderSize = 16;
inline constexpr size_t kInternalFileHeaderSize = 9;

// The B+ tree kinds of a help file.
inline constexpr uint16_t kDirectoryFlags = 0x0402;
inline constexpr uint16_t kDirectoryPageSize = 0x400;
inline constexpr uint16_t kTreeFlags = 0x0002;
inline constexpr uint16_t kTreePageSize = 0x800;

// Builds the file. buildTime (seconds since 1970) is stored in |SYSTEM.
// Returns false with *error set when the source cannot be laid out (which
// the limits source.h checks should rule out).
bool BuildHelpFile(const HelpSource& source, uint32_t buildTime, Bytes* out, std::string* error);
