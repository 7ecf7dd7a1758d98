// Where the help file lies: "kestrin.hlp" in the folder of the running program.
#pragma once

#include <cstddef>

inline constexpr char kHelpFileName[] = "kestrin.hlp";

// Writes the path of the help file beside the program whose full path is
// modulePath ("C:\dir\kestrin.exe" gives "C:\dir\kestrin.hlp"; '\\', '/' and
// a drive's ':' end the folder). Falls back to the bare name when
// modulePath is null or empty, or when the result would not fit into size
// bytes. out is always NUL-terminated (size > 0).
void HelpPathBeside(const char* modulePath, char* out, size_t size);
