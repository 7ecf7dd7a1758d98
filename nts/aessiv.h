// AEAD_AES_SIV_CMAC_256: deterministic authenticated encryption (S2V over
// AES-128-CMAC, then AES-128-CTR) built on the TLS library's AES and CMAC.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kSivKeyBytes = 32;  // CMAC key, then CTR key
inline constexpr size_t kSivTagBytes = 16;  // the synthetic IV in front of the ciphertext

struct ByteSpan {
    const uint8_t* data;
    size_t size;
};

// Seals size bytes of plain under key, authenticating the adCount strings of
// ad (for the AEAD form: the associated data, then the nonce). out receives
// the 16-byte tag and then the ciphertext: size + 16 bytes. Returns false
// only if the library fails (or more than 126 strings are given).
bool SivSeal(const uint8_t key[kSivKeyBytes], const ByteSpan* ad, size_t adCount,
             const uint8_t* plain, size_t size, uint8_t* out);

// Opens what SivSeal made: sealedSize bytes (tag first) into plain
// (sealedSize - 16 bytes). Returns false, with plain zeroed, when the tag
// does not match the ad strings, the key or the ciphertext.
bool SivOpen(const uint8_t key[kSivKeyBytes], const ByteSpan* ad, size_t adCount,
             const uint8_t* sealed, size_t sealedSize, uint8_t* plain);
