// Where the help file lies: "kestrin.hlp" in the folder of the running program.
#include "ui/helppath.h"

#include <cstring>

#include "framework/filename.h"

void HelpPathBeside(const char* modulePath, char* out, size_t size)
{
    if (out == nullptr || size == 0)
        return;
    // Up to and including the last separator.
    size_t folderLength =
        modulePath != nullptr ? static_cast<size_t>(FileNameOf(modulePath) - modulePath) : 0;
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
