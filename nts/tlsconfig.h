// The TLS library's build configuration: only what NTS needs. Natively the
// crypto part alone (AES and CMAC for AES-SIV); with KESTRIN_NTS_TLS the TLS
// 1.3 client of the NTS DLL: ALPN, the key exporter, X.509 chains with RSA
// (PKCS#1 v1.5 and PSS) and ECDSA on P-256, P-384 and P-521 (what the roots
// of a Windows store use; SHA-1 only to parse old roots), X25519 and the
// NIST curves for the key share, AES-GCM and SHA-2.
#pragma once

#define MBEDTLS_AES_C
#define MBEDTLS_CIPHER_C
#define MBEDTLS_CIPHER_MODE_CTR
#define MBEDTLS_CMAC_C
#define MBEDTLS_AES_FEWER_TABLES

#if defined(KESTRIN_NTS_TLS)
#define MBEDTLS_PLATFORM_C
#define MBEDTLS_HAVE_TIME
#define MBEDTLS_HAVE_TIME_DATE
// msvcrt's time() and gmtime() end in 2038 and old msvcrt lacks the safe
// printf family: the DLL gives its own (tlsplatform.cpp).
#define MBEDTLS_PLATFORM_TIME_TYPE_MACRO long long
#define MBEDTLS_PLATFORM_TIME_MACRO KestrinTlsTime
#define MBEDTLS_PLATFORM_GMTIME_R_ALT
#define MBEDTLS_PLATFORM_SNPRINTF_MACRO KestrinTlsSnprintf
#define MBEDTLS_PLATFORM_VSNPRINTF_MACRO KestrinTlsVsnprintf
#include <stdarg.h>
#include <stddef.h>
#ifdef __cplusplus
extern "C" {
#endif
int KestrinTlsSnprintf(char* out, size_t size, const char* format, ...);
int KestrinTlsVsnprintf(char* out, size_t size, const char* format, va_list args);
long long KestrinTlsTime(long long* out);  // seconds since 1970 UTC, 64-bit
#ifdef __cplusplus
}
#endif

// Random numbers come from the system (CryptGenRandom), not from an
// entropy pool of the library's own.
#define MBEDTLS_PSA_CRYPTO_C
#define MBEDTLS_PSA_CRYPTO_EXTERNAL_RNG

#define MBEDTLS_MD_C
#define MBEDTLS_SHA1_C
#define MBEDTLS_SHA224_C
#define MBEDTLS_SHA256_C
#define MBEDTLS_SHA384_C
#define MBEDTLS_SHA512_C
#define MBEDTLS_HKDF_C
#define MBEDTLS_GCM_C

#define MBEDTLS_BIGNUM_C
#define MBEDTLS_ECP_C
#define MBEDTLS_ECDH_C
#define MBEDTLS_ECDSA_C
#define MBEDTLS_ECP_DP_SECP256R1_ENABLED
#define MBEDTLS_ECP_DP_SECP384R1_ENABLED
#define MBEDTLS_ECP_DP_SECP521R1_ENABLED
#define MBEDTLS_ECP_DP_CURVE25519_ENABLED
#define MBEDTLS_ECP_NIST_OPTIM
#define MBEDTLS_RSA_C
#define MBEDTLS_PKCS1_V15
#define MBEDTLS_PKCS1_V21

#define MBEDTLS_ASN1_PARSE_C
#define MBEDTLS_ASN1_WRITE_C
#define MBEDTLS_OID_C
#define MBEDTLS_BASE64_C
#define MBEDTLS_PEM_PARSE_C
#define MBEDTLS_PK_C
#define MBEDTLS_PK_PARSE_C
#define MBEDTLS_X509_USE_C
#define MBEDTLS_X509_CRT_PARSE_C
#define MBEDTLS_X509_RSASSA_PSS_SUPPORT

#define MBEDTLS_SSL_TLS_C
#define MBEDTLS_SSL_CLI_C
#define MBEDTLS_SSL_PROTO_TLS1_3
#define MBEDTLS_SSL_TLS1_3_KEY_EXCHANGE_MODE_EPHEMERAL_ENABLED
#define MBEDTLS_SSL_TLS1_3_COMPATIBILITY_MODE
#define MBEDTLS_SSL_ALPN
#define MBEDTLS_SSL_SERVER_NAME_INDICATION
#define MBEDTLS_SSL_KEYING_MATERIAL_EXPORT
#define MBEDTLS_SSL_KEEP_PEER_CERTIFICATE
// Servers send records of up to 16 KiB (the certificate chain); ours are
// one small request.
#define MBEDTLS_SSL_IN_CONTENT_LEN 16384
#define MBEDTLS_SSL_OUT_CONTENT_LEN 4096
#endif
