// NTS extension fields of NTP messages: the client's request (Unique
// Identifier, a cookie, cookie placeholders, Authenticator and Encrypted
// Extension Fields) and the check of a server's reply.
//
// After the 48-byte header, each field:
//   +-------------------------------+-------------------------------+
//   |          Field Type           |  Length (whole field, x 4)    |
//   +-------------------------------+-------------------------------+
//   |                  Body, zero-padded to 4 bytes                 |
// The Authenticator's body:
//   | Nonce Length | Ciphertext Length | Nonce (padded) | Ciphertext (padded) |
// where the ciphertext (AES-SIV, tag first) authenticates every byte before
// the Authenticator field and holds encrypted fields (new cookies).
#pragma once

#include <cstddef>
#include <cstdint>

#include "nts/aessiv.h"
#include "nts/ntske.h"

inline constexpr uint16_t kEfUniqueId = 0x0104;
inline constexpr uint16_t kEfCookie = 0x0204;
inline constexpr uint16_t kEfPlaceholder = 0x0304;
inline constexpr uint16_t kEfAuthenticator = 0x0404;

inline constexpr size_t kNtpHeaderBytes = 48;
inline constexpr size_t kUniqueIdBytes = 32;
inline constexpr size_t kNonceBytes = 16;
// A request or reply with eight of the largest cookies fits.
inline constexpr size_t kMaxNtsDatagram = 2304;

struct NtsRequestInput {
    const uint8_t* uniqueId;  // kUniqueIdBytes, random, new for each request
    const KeCookie* cookie;   // sent once, then forgotten
    size_t placeholders;      // cookies asked for beyond the one returned
    const uint8_t* nonce;     // kNonceBytes, random
    const uint8_t* c2sKey;    // kSivKeyBytes
};

// Appends the NTS fields to the 48-byte header already in packet (which
// holds capacity bytes). Returns the datagram's length, or 0 when it does
// not fit or sealing failed.
size_t WriteNtsRequest(uint8_t* packet, size_t capacity, const NtsRequestInput& in);

enum class NtsVerdict {
    Authentic,     // authenticated; the new cookies are in cookies[]
    Malformed,     // fields that do not parse, or a field repeated
    WrongId,       // no Unique Identifier, or not the request's
    NotAuthentic,  // no Authenticator, or it does not verify
    Nak,           // a kiss NTSN answering our request: the cookie was refused
};
const char* NtsVerdictText(NtsVerdict verdict);

struct NtsReply {
    NtsVerdict verdict;
    size_t cookieCount;  // cookies from the encrypted fields, at most kMaxCookies
    KeCookie cookies[kMaxCookies];
};

// Checks size bytes of a reply against the request's unique identifier and
// the server-to-client key. Every field of out is set; cookies only for an
// Authentic reply.
void ReadNtsReply(const uint8_t* packet, size_t size, const uint8_t uniqueId[kUniqueIdBytes],
                  const uint8_t s2cKey[kSivKeyBytes], NtsReply* out);

// One extension field found by NextField: its type and body (padding
// included).
struct ExtensionField {
    uint16_t type;
    const uint8_t* body;
    size_t size;
};
// Reads the field at *at of size bytes and moves *at past it. Returns false
// at a field that does not fit, is shorter than 16 bytes or not a multiple
// of 4.
bool NextField(const uint8_t* data, size_t size, size_t* at, ExtensionField* field);
