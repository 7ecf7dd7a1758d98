// The file name within a Windows path.
#pragma once

// The part of path after its folder: after the last '\\', '/' or a drive's
// ':'; path itself when it names no folder. Null gives null.
const char* FileNameOf(const char* path);
