// NTS-KE records: the request on the wire and the reading of responses.
#include "nts/ntske.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

const uint16_t C = 0x8000;  // the critical bit

Bytes Record(uint16_t typeAndBit, Bytes body)
{
    body.insert(body.begin(), {static_cast<uint8_t>(typeAndBit >> 8), static_cast<uint8_t>(typeAndBit),
                               static_cast<uint8_t>(body.size() >> 8), static_cast<uint8_t>(body.size())});
    return body;
}
Bytes U16(uint16_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
Bytes Text(const char* s) { return Bytes(s, s + std::strlen(s)); }
Bytes Cookie(size_t size, uint8_t fill) { return Record(5, Bytes(size, fill)); }

const Bytes kProtocol = Record(C | 1, U16(0));
const Bytes kAead = Record(C | 4, U16(15));
const Bytes kEnd = Record(C | 0, {});

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(NtsKe, RequestAsksForNtpV4WithAesSivCritically)
{
    uint8_t out[kKeRequestBytes];
    ASSERT_EQ(kKeRequestBytes, WriteKeRequest(out));
    EXPECT_EQ(Join({kProtocol, kAead, kEnd}), Bytes(out, out + sizeof out));
    KeResponse r;
    ReadKeResponse(out, sizeof out, &r);
    EXPECT_EQ(KeFailure::NoCookie, r.failure);  // parses as a response without cookies
}

TEST(NtsKe, ReadsResponses)
{
    Bytes eleven;
    for (uint8_t i = 0; i < 11; ++i) {
        const Bytes c = Cookie(100, i);
        eleven.insert(eleven.end(), c.begin(), c.end());
    }
    const struct {
        const char* what;
        Bytes response;
        KeFailure failure;
        size_t cookies;
        const char* server;
        uint16_t port;
    } cases[] = {
        {"well formed", Join({kProtocol, kAead, Cookie(100, 0), kEnd}), KeFailure::None, 1, "", 123},
        {"server, port and a non-critical AEAD record",
         Join({kProtocol, Record(4, U16(15)), Record(C | 6, Text("ntp.example")), Record(7, U16(1234)),
               Cookie(64, 0), Cookie(64, 1), kEnd}),
         KeFailure::None, 2, "ntp.example", 1234},
        {"more than eight cookies: the first eight", Join({kProtocol, kAead, eleven, kEnd}),
         KeFailure::None, 8, "", 123},
        {"unknown record, not critical: skipped",
         Join({kProtocol, Record(0x4000, Bytes(9, 7)), kAead, Cookie(4, 0), kEnd}), KeFailure::None, 1,
         "", 123},
        {"cookie of the largest size", Join({kProtocol, kAead, Cookie(kMaxCookieBytes, 0), kEnd}),
         KeFailure::None, 1, "", 123},
        // short
        {"empty", {}, KeFailure::Incomplete, 0, "", 123},
        {"no End of Message", Join({kProtocol, kAead, Cookie(8, 1)}), KeFailure::Incomplete, 0, "", 123},
        {"cut inside a header", Join({kProtocol, kAead, Cookie(8, 1), Bytes{0x80}}),
         KeFailure::Incomplete, 0, "", 123},
        {"cut inside a body", Join({kProtocol, kAead, Bytes{0, 5, 0, 8, 1, 2}}), KeFailure::Incomplete,
         0, "", 123},
        // long
        {"bytes after End of Message", Join({kProtocol, kAead, Cookie(8, 1), kEnd, Bytes{0}}),
         KeFailure::TooLong, 0, "", 123},
        {"cookie past the limit", Join({kProtocol, kAead, Cookie(kMaxCookieBytes + 1, 1), kEnd}),
         KeFailure::BadCookie, 0, "", 123},
        {"empty cookie", Join({kProtocol, kAead, Cookie(0, 1), kEnd}), KeFailure::BadCookie, 0, "", 123},
        {"server name past the limit",
         Join({kProtocol, kAead, Record(6, Bytes(kMaxServerNameBytes + 1, 'a')), Cookie(8, 1), kEnd}),
         KeFailure::BadServer, 0, "", 123},
        {"server name with a space", Join({kProtocol, kAead, Record(6, Text("a b")), Cookie(8, 1), kEnd}),
         KeFailure::BadServer, 0, "", 123},
        {"End of Message with a body", Join({kProtocol, kAead, Cookie(8, 1), Record(C | 0, {0, 0})}),
         KeFailure::BadRecord, 0, "", 123},
        {"port of three bytes", Join({kProtocol, kAead, Record(7, {0, 1, 2}), Cookie(8, 1), kEnd}),
         KeFailure::BadRecord, 0, "", 123},
        {"port 0", Join({kProtocol, kAead, Record(7, U16(0)), Cookie(8, 1), kEnd}), KeFailure::BadRecord,
         0, "", 123},
        // unknown critical
        {"unknown record, critical", Join({kProtocol, kAead, Record(C | 8, {}), Cookie(8, 1), kEnd}),
         KeFailure::UnknownCritical, 0, "", 123},
        {"private-use record, critical", Join({kProtocol, kAead, Record(C | 0x4000, {}), Cookie(8, 1), kEnd}),
         KeFailure::UnknownCritical, 0, "", 123},
        {"Next Protocol without the critical bit", Join({Record(1, U16(0)), kAead, Cookie(8, 1), kEnd}),
         KeFailure::BadRecord, 0, "", 123},
        {"End of Message without the critical bit", Join({kProtocol, kAead, Cookie(8, 1), Record(0, {})}),
         KeFailure::BadRecord, 0, "", 123},
        // repeated
        {"Next Protocol twice", Join({kProtocol, kProtocol, kAead, Cookie(8, 1), kEnd}),
         KeFailure::Repeated, 0, "", 123},
        {"AEAD twice", Join({kProtocol, kAead, kAead, Cookie(8, 1), kEnd}), KeFailure::Repeated, 0, "", 123},
        {"port twice", Join({kProtocol, kAead, Record(7, U16(5)), Record(7, U16(6)), Cookie(8, 1), kEnd}),
         KeFailure::Repeated, 0, "", 123},
        {"server twice",
         Join({kProtocol, kAead, Record(6, Text("a")), Record(6, Text("b")), Cookie(8, 1), kEnd}),
         KeFailure::Repeated, 0, "", 123},
        // missing or not agreed
        {"no Next Protocol", Join({kAead, Cookie(8, 1), kEnd}), KeFailure::NoProtocol, 0, "", 123},
        {"empty Next Protocol", Join({Record(C | 1, {}), kAead, Cookie(8, 1), kEnd}), KeFailure::NoProtocol,
         0, "", 123},
        {"a protocol not asked for", Join({Record(C | 1, U16(0x8001)), kAead, Cookie(8, 1), kEnd}),
         KeFailure::NoProtocol, 0, "", 123},
        {"two protocols", Join({Record(C | 1, {0, 0, 0, 0}), kAead, Cookie(8, 1), kEnd}),
         KeFailure::NoProtocol, 0, "", 123},
        {"no AEAD", Join({kProtocol, Cookie(8, 1), kEnd}), KeFailure::NoAead, 0, "", 123},
        {"an AEAD not asked for", Join({kProtocol, Record(C | 4, U16(16)), Cookie(8, 1), kEnd}),
         KeFailure::NoAead, 0, "", 123},
        {"no cookie", Join({kProtocol, kAead, kEnd}), KeFailure::NoCookie, 0, "", 123},
        // the server says no
        {"error record", Join({Record(C | 2, U16(1)), kEnd}), KeFailure::ServerError, 0, "", 123},
        {"warning record", Join({kProtocol, kAead, Record(C | 3, U16(7)), Cookie(8, 1), kEnd}),
         KeFailure::ServerWarning, 0, "", 123},
        {"error record without the critical bit", Join({Record(2, U16(1)), kEnd}), KeFailure::BadRecord,
         0, "", 123},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KeResponse r;
        std::memset(&r, 0x5A, sizeof r);
        ReadKeResponse(c.response.data(), c.response.size(), &r);
        EXPECT_EQ(c.failure, r.failure) << KeFailureText(r.failure);
        EXPECT_EQ(c.cookies, r.cookieCount);
        EXPECT_STREQ(c.server, r.server);
        EXPECT_EQ(c.port, c.failure == KeFailure::None ? r.port : 123);
        for (size_t i = 0; i < r.cookieCount; ++i)
            EXPECT_EQ(i, r.cookies[i].data[0]);  // in the order sent
    }
}

TEST(NtsKe, ErrorCodeIsKept)
{
    const Bytes response = Join({Record(C | 2, U16(2)), kEnd});
    KeResponse r;
    ReadKeResponse(response.data(), response.size(), &r);
    EXPECT_EQ(KeFailure::ServerError, r.failure);
    EXPECT_EQ(2, r.errorCode);
}

TEST(NtsKe, ResponseLengthStopsAtEndOfMessage)
{
    const Bytes whole = Join({kProtocol, kAead, Cookie(100, 1), kEnd});
    for (size_t size = 0; size < whole.size(); ++size)
        EXPECT_EQ(0u, KeResponseLength(whole.data(), size)) << size;
    EXPECT_EQ(whole.size(), KeResponseLength(whole.data(), whole.size()));
    Bytes more = whole;
    more.push_back(0);
    EXPECT_EQ(whole.size(), KeResponseLength(more.data(), more.size()));

    // A body announced past the limit, and a run of records that reaches
    // the limit without ending: the reader can stop at once.
    const Bytes huge = Join({kProtocol, Bytes{0, 5, 0xFF, 0xFF}});
    EXPECT_EQ(SIZE_MAX, KeResponseLength(huge.data(), huge.size()));
    Bytes endless;
    while (endless.size() < kMaxResponseBytes) {
        const Bytes c = Cookie(200, 1);
        endless.insert(endless.end(), c.begin(), c.end());
    }
    EXPECT_EQ(SIZE_MAX, KeResponseLength(endless.data(), endless.size()));
}

TEST(NtsKe, ExporterContextNamesProtocolAeadAndDirection)
{
    uint8_t c2s[kExporterContextBytes], s2c[kExporterContextBytes];
    WriteExporterContext(c2s, false);
    WriteExporterContext(s2c, true);
    EXPECT_EQ(Bytes({0, 0, 0, 15, 0}), Bytes(c2s, c2s + 5));
    EXPECT_EQ(Bytes({0, 0, 0, 15, 1}), Bytes(s2c, s2c + 5));
    EXPECT_EQ(std::string("EXPORTER-network-time-security"), kExporterLabel);
}

}  // namespace

namespace {

TEST(NtsKe, SplitsKeyServerAndPort)
{
    const struct {
        const char* text;
        bool ok;
        const char* host;
        uint16_t port;
    } cases[] = {
        {"nts.example", true, "nts.example", 4460},
        {"nts.example:4461", true, "nts.example", 4461},
        {"192.0.2.1:123", true, "192.0.2.1", 123},
        {"host:65535", true, "host", 65535},
        {"", false, "", 0},
        {":4460", false, "", 0},
        {"host:", false, "", 0},
        {"host:0", false, "", 0},
        {"host:65536", false, "", 0},
        {"host:99999999999", false, "", 0},
        {"host:12a", false, "", 0},
        {"host:1:2", false, "", 0},
    };
    for (const auto& c : cases) {
        char host[16] = "";
        uint16_t port = 0;
        EXPECT_EQ(c.ok, SplitKeServer(c.text, host, sizeof host, &port)) << c.text;
        if (c.ok) {
            EXPECT_STREQ(c.host, host);
            EXPECT_EQ(c.port, port);
        }
    }
    char tiny[4];
    uint16_t port;
    EXPECT_FALSE(SplitKeServer("long.example", tiny, sizeof tiny, &port)) << "a host that does not fit";
}

}  // namespace
