// Where the help file lies: "kestrin.hlp" in the folder of the running program.
#include "ui/helppath.h"

#include <cstring>

void HelpPathBeside(const char* modulePath, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    size_t folderLength = 0;  // up to and including the last separator
    if (modulePath != nullptr) {
        for (size_t i = 0; modulePath[i] != '\0'; ++i) {
            const char c = modulePath[i];
            if (c == '\\' || c == '/' || c == ':')
                folderLength = i + 1;
        }
    }
    const size_t nameLength = sizeof kHelpFileName - 1;
    if (folderLength + nameLength + 1 > size) {
        folderLength = 0;
        if (nameLength + 1 > size) {
            out[0] = '\0';
            return;
        }
    }
    if (folderLength > 0)
        std::memcpy(out, modulePath, folderLength);
    std::memcpy(out + folderLength, kHelpFileName, nameLength + 1);
}
