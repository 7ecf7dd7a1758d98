// Checks of our own preconditions. A failed check is a programming error:
// it reports "Assertion failed: COND, file FILE, line LINE" and ends the
// program. Never used on data from the network, the INI file or the user.
#pragma once

[[noreturn]] void KestrinAssertFailed(const char* condition, const char* file, int line);

// file and line name the check in the report, independent of the build.
#define KESTRIN_CHECK(expr, text, file, line) \
    ((expr) ? (void)0 : KestrinAssertFailed(text, file, line))
