// Failed-check report for builds without a user interface: standard error.
#include "time/kassert.h"

#include <cstdio>
#include <cstdlib>

void KestrinAssertFailed(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", condition, file, line);
    std::abort();
}
