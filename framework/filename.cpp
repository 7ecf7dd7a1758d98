// The file name within a Windows path.
#include "framework/filename.h"

const char* FileNameOf(const char* path)
{
    const char* name = path;
    for (const char* p = path; p != nullptr && *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    }
    return name;
}
