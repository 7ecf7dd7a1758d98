// Command-line switches: the copy of the command line and the scans of the application and the main dialog.
#include "ui/switches.h"

#include "settings/numtext.h"

namespace {

bool IsSwitchChar(char c)
{
    return c == '-' || c == '/';
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The delay that -d asks for, from the text after its letter.
int32_t StartDelayAfter(const char* text)
{
    int32_t count = 0;
    if (ScanNumberText(text, &count) != NumberText::Number)
        return kDefaultStartDelaySeconds;
    if (count < 0)
        return 0;
    return count > kMaxStartDelaySeconds ? kMaxStartDelaySeconds : count;
}

}  // namespace

void CopyCommandLine(const char* tail, char (&cmdLine)[kCommandLineSize])
{
    size_t n = 0;
    for (; tail != nullptr && n + 1 < kCommandLineSize && tail[n] != '\0'; ++n)
        cmdLine[n] = tail[n];
    cmdLine[n] = '\0';
}

AppSwitches ScanAppSwitches(const char* cmdLine)
{
    AppSwitches found;
    for (const char* p = cmdLine; p != nullptr && *p != '\0'; ++p) {
        if (!IsSwitchChar(*p))
            continue;
        switch (Lower(p[1])) {
        case 'h': found.startHidden = 1; break;
        case 'v': found.startShown = 1; break;
        default: break;
        }
        // The loop's ++p resumes at the letter, which may itself be '-' or '/'.
    }
    return found;
}

DialogSwitches ScanDialogSwitches(const char* cmdLine)
{
    DialogSwitches found;
    for (const char* p = cmdLine; p != nullptr && *p != '\0'; ++p) {
        if (!IsSwitchChar(*p))
            continue;
        switch (Lower(p[1])) {
        case 'b': found.service.acceptAnySource = 1; break;
        case 'd':
            found.delayedStart = 1;
            found.startDelay = StartDelayAfter(p + 2);
            break;
        case 'i': found.service.ignoreLimit = 1; break;
        case 's': found.service.closeAfterSet = 1; break;
        case 'u': found.service.acceptUnsynced = 1; break;
        default: break;
        }
    }
    return found;
}
