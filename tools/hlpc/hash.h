// The help viewer's hash of a topic's context string: how jumps name their target.
#pragma once

#include <cstdint>
#include <string_view>

// Characters a context string may hold: letters, digits, '.' and '_'.
// Viewers skip every other character, so two ids differing only there
// would be the same topic to them.
bool IsContextChar(char c);

// h = h * 43 + code(c) for each character, modulo 2^32, read as signed:
// 'A'..'Z' and 'a'..'z' are 17..42 (case does not count), '1'..'9' are
// 1..9, '0' is 10, '.' is 12 and '_' is 13. Characters outside that set
// add nothing. The empty string hashes to 0, which viewers take to mean
// the contents topic.
int32_t ContextHash(std::string_view id);
