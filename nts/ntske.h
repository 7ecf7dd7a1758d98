// NTS-KE messages: the client's request and the reader of a server's
// response (records of a critical bit, a 15-bit type and a 16-bit body
// length, ending with End of Message).
//
//    0                   1                   2                   3
//    0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |C|         Record Type         |          Body Length          |
//   +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//   |                     Body (Body Length bytes)                  |
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t kKeRecordEnd = 0;
inline constexpr uint16_t kKeRecordNextProtocol = 1;
inline constexpr uint16_t kKeRecordError = 2;
inline constexpr uint16_t kKeRecordWarning = 3;
inline constexpr uint16_t kKeRecordAead = 4;
inline constexpr uint16_t kKeRecordCookie = 5;
inline constexpr uint16_t kKeRecordServer = 6;
inline constexpr uint16_t kKeRecordPort = 7;

inline constexpr uint16_t kProtocolNtpV4 = 0;
inline constexpr uint16_t kAeadAesSivCmac256 = 15;
inline constexpr uint16_t kDefaultNtpPort = 123;

inline constexpr size_t kMaxCookies = 8;        // the pool keeps no more
inline constexpr size_t kMaxCookieBytes = 256;  // larger ones are refused
inline constexpr size_t kMaxServerNameBytes = 255;
inline constexpr size_t kMaxResponseBytes = 16384;  // the whole response

// The request: Next Protocol (NTPv4) and AEAD algorithm (AES-SIV-CMAC-256),
// both critical, then End of Message. Returns the bytes written to out
// (kKeRequestBytes).
inline constexpr size_t kKeRequestBytes = 4 + 2 + 4 + 2 + 4;
size_t WriteKeRequest(uint8_t out[kKeRequestBytes]);

// Why a response was refused; each has a text (KeFailureText).
enum class KeFailure {
    None,
    Incomplete,        // ended inside a record or before End of Message
    TooLong,           // more than kMaxResponseBytes, or bytes after End of Message
    ServerError,       // an Error record (errorCode says which)
    ServerWarning,     // a Warning record: no warning code is known, so each one refuses
    UnknownCritical,   // a record of an unknown type with the critical bit
    BadRecord,         // a known record with a body of the wrong size or a missing critical bit
    Repeated,          // a record that may appear once appeared twice
    NoProtocol,        // Next Protocol missing, or not exactly NTPv4
    NoAead,            // AEAD algorithm missing, or not exactly AES-SIV-CMAC-256
    NoCookie,          // not a single cookie
    BadCookie,         // a cookie empty or longer than kMaxCookieBytes
    BadServer,         // a server name empty, too long or not printable ASCII
};
const char* KeFailureText(KeFailure failure);

struct KeCookie {
    uint16_t size;  // bytes of data used
    uint8_t data[kMaxCookieBytes];
};

// What a server's response gave: the first kMaxCookies cookies (more are
// dropped), and where to send NTP (an empty server: the NTS-KE server's own
// address).
struct KeResponse {
    KeFailure failure;
    uint16_t errorCode;  // of an Error or Warning record
    size_t cookieCount;
    KeCookie cookies[kMaxCookies];
    char server[kMaxServerNameBytes + 1];
    uint16_t port;
};

// How much of size bytes read so far is one complete response: the length
// up to and including End of Message, 0 while more is needed, or SIZE_MAX
// once the bytes cannot become a response (too long, a record past the
// limit). Lets the reader stop at the end of the message without waiting
// for the server to close.
size_t KeResponseLength(const uint8_t* data, size_t size);

// The keys: the TLS exporter with this label, 32 bytes each, and a context
// of the protocol (NTPv4), the AEAD algorithm and 0 for the client-to-server
// key or 1 for the server-to-client key.
inline constexpr char kExporterLabel[] = "EXPORTER-network-time-security";
inline constexpr size_t kExporterContextBytes = 5;
void WriteExporterContext(uint8_t out[kExporterContextBytes], bool serverToClient);

// Splits a configured key server, "host" or "host:port" (an IPv4 address
// or name; port 1..65535), into host (hostSize bytes) and port (4460 when
// none is given). Returns false for an empty host, a bad port or a host
// that does not fit.
inline constexpr uint16_t kDefaultKePort = 4460;
bool SplitKeServer(const char* text, char* host, size_t hostSize, uint16_t* port);

// Reads a whole response (up to and including End of Message). Every field
// of out is set; out->failure is None only for a response the client may
// use.
void ReadKeResponse(const uint8_t* data, size_t size, KeResponse* out);
