// Random bytes for keys, identifiers and nonces, from the system.
#pragma once

#include <cstddef>
#include <cstdint>

// Fills size bytes; false when the system has no cryptographic source.
bool SystemRandom(uint8_t* out, size_t size);
// The same as the TLS library's random callback (0 on success).
int TlsRandom(void* unused, unsigned char* out, size_t size);
