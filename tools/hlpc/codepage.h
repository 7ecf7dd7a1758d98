// UTF-8 source text to the Windows ANSI code page 1252 that help files are written in.
#pragma once

#include <string>

// Converts utf8 into code page 1252. Returns false when the text is not
// valid UTF-8 or holds a character the code page lacks; *bad then names
// the first such character ("U+0100", or "an invalid UTF-8 sequence").
bool Utf8ToCp1252(const std::string& utf8, std::string* out, std::string* bad);
