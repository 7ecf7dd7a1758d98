// Command-line switches: the copy of the command line and the scans of the application and the main dialog.
#pragma once

#include <cstddef>
#include <cstdint>

#include "service/svcswitch.h"

// The application's copy of the command-line tail: at most 79 characters.
inline constexpr size_t kCommandLineSize = 80;

// Copies tail (null counts as empty) into cmdLine, stopping at its NUL or
// after 79 characters, and NUL-terminates.
void CopyCommandLine(const char* tail, char (&cmdLine)[kCommandLineSize]);

// A switch is '-' or '/' followed by its letter, in either case, anywhere in
// the text; only the one character after the switch character counts, and
// the scan resumes at that character (so "--h" counts, and of "-hv" only h).

// Switches of the application object: h (start hidden), v (start shown).
struct AppSwitches {
    int32_t startHidden = 0;
    int32_t startShown = 0;
};
AppSwitches ScanAppSwitches(const char* cmdLine);

inline constexpr int32_t kDefaultStartDelaySeconds = 30;
inline constexpr int32_t kMaxStartDelaySeconds = 65;

// Switches of the main dialog: b, i, s and u for the time service, and d.
struct DialogSwitches {
    ServiceSwitches service;   // b, i, s, u
    int32_t delayedStart = 0;  // d
    int32_t startDelay = 0;    // seconds; 30 with d, or the count after it
};

// d may be followed (after optional blanks) by a count of seconds, "-d 10"
// or "-d10": the count is bounded to 0..65; without a readable count (or
// with one outside the 32-bit range) the delay is 30 seconds. The last d wins.
DialogSwitches ScanDialogSwitches(const char* cmdLine);
