// Fuzz target: NTS-KE responses through the record reader and the
// end-of-message finder.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "nts/ntske.h"

namespace {

void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static KeResponse r;
    ReadKeResponse(data, size, &r);
    const size_t whole = KeResponseLength(data, size);
    if (r.failure == KeFailure::None) {
        Require(whole == size, "an accepted response is one whole message");
        Require(r.cookieCount >= 1 && r.cookieCount <= kMaxCookies, "one to eight cookies");
        for (size_t i = 0; i < r.cookieCount; ++i)
            Require(r.cookies[i].size >= 1 && r.cookies[i].size <= kMaxCookieBytes, "cookie size");
        Require(r.port != 0, "a port");
        const size_t n = std::strlen(r.server);
        Require(n <= kMaxServerNameBytes, "server name bounded");
        for (size_t i = 0; i < n; ++i)
            Require(r.server[i] > 0x20 && r.server[i] < 0x7F, "server name printable");
    } else {
        Require(r.cookieCount == 0 && r.server[0] == '\0', "nothing of a refused response");
        Require(std::strlen(KeFailureText(r.failure)) > 0, "a reason");
    }
    if (whole != 0 && whole != SIZE_MAX) {
        Require(whole <= size, "the message ends within what was read");
        // What the reader would pass on once End of Message arrived.
        static KeResponse first;
        ReadKeResponse(data, whole, &first);
        Require(first.failure != KeFailure::Incomplete, "a found message is complete");
        Require(whole == size || r.failure != KeFailure::None, "bytes after the message refuse it");
    }
    if (size > kMaxResponseBytes)
        Require(whole == SIZE_MAX || (whole > 0 && whole <= kMaxResponseBytes), "the reader stops");
    return 0;
}
