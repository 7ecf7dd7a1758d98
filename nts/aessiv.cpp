// AES-SIV (deterministic AEAD) on AES-128-CMAC and AES-128-CTR.
#include "nts/aessiv.h"

#include <cstring>

#include "mbedtls/aes.h"
#include "mbedtls/cipher.h"
#include "mbedtls/cmac.h"

namespace {

const size_t kBlock = 16;
const size_t kMaxStrings = 126;  // S2V takes at most 127 with the plaintext

// Doubling in GF(2^128) with the polynomial x^128 + x^7 + x^2 + x + 1.
void Double(uint8_t block[kBlock])
{
    const uint8_t carry = static_cast<uint8_t>(block[0] >> 7);
    for (size_t i = 0; i + 1 < kBlock; ++i)
        block[i] = static_cast<uint8_t>((block[i] << 1) | (block[i + 1] >> 7));
    block[kBlock - 1] = static_cast<uint8_t>((block[kBlock - 1] << 1) ^ (carry * 0x87));
}

void Xor(uint8_t* into, const uint8_t* with, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        into[i] ^= with[i];
}

class Cmac {
public:
    explicit Cmac(const uint8_t* key)
    {
        mbedtls_cipher_init(&ctx_);
        const mbedtls_cipher_info_t* info = mbedtls_cipher_info_from_type(MBEDTLS_CIPHER_AES_128_ECB);
        ok_ = info != nullptr && mbedtls_cipher_setup(&ctx_, info) == 0 &&
              mbedtls_cipher_cmac_starts(&ctx_, key, 128) == 0;
    }
    ~Cmac() { mbedtls_cipher_free(&ctx_); }
    Cmac(const Cmac&) = delete;
    Cmac& operator=(const Cmac&) = delete;

    void Update(const uint8_t* data, size_t size)
    {
        if (ok_ && size > 0)
            ok_ = mbedtls_cipher_cmac_update(&ctx_, data, size) == 0;
    }
    // Ends this MAC into out and starts the next under the same key.
    void Finish(uint8_t out[kBlock])
    {
        if (ok_)
            ok_ = mbedtls_cipher_cmac_finish(&ctx_, out) == 0 && mbedtls_cipher_cmac_reset(&ctx_) == 0;
    }
    bool ok() const { return ok_; }

private:
    mbedtls_cipher_context_t ctx_;
    bool ok_ = false;
};

// S2V: D = CMAC(0); D = dbl(D) ^ CMAC(Si) for each string; then the last
// string (the plaintext) is xored onto D's end when it is a block or longer,
// else padded (10*) and xored with dbl(D); V = CMAC of that.
bool S2v(const uint8_t* macKey, const ByteSpan* ad, size_t adCount, const uint8_t* last,
         size_t lastSize, uint8_t v[kBlock])
{
    Cmac mac(macKey);
    uint8_t d[kBlock] = {0};
    uint8_t t[kBlock];
    mac.Update(d, kBlock);
    mac.Finish(d);
    for (size_t i = 0; i < adCount; ++i) {
        Double(d);
        mac.Update(ad[i].data, ad[i].size);
        mac.Finish(t);
        Xor(d, t, kBlock);
    }
    if (lastSize >= kBlock) {
        mac.Update(last, lastSize - kBlock);
        std::memcpy(t, last + lastSize - kBlock, kBlock);
        Xor(t, d, kBlock);
    } else {
        Double(d);
        std::memset(t, 0, kBlock);
        if (lastSize > 0)
            std::memcpy(t, last, lastSize);
        t[lastSize] = 0x80;
        Xor(t, d, kBlock);
    }
    mac.Update(t, kBlock);
    mac.Finish(v);
    return mac.ok();
}

// CTR from V with the two top bits of its last two 32-bit words cleared,
// so that a 32-bit counter never carries into the rest.
bool Ctr(const uint8_t* ctrKey, const uint8_t v[kBlock], const uint8_t* in, size_t size, uint8_t* out)
{
    uint8_t counter[kBlock];
    uint8_t stream[kBlock];
    std::memcpy(counter, v, kBlock);
    counter[8] &= 0x7F;
    counter[12] &= 0x7F;
    size_t offset = 0;
    mbedtls_aes_context aes;
    mbedtls_aes_init(&aes);
    const bool ok = mbedtls_aes_setkey_enc(&aes, ctrKey, 128) == 0 &&
                    (size == 0 || mbedtls_aes_crypt_ctr(&aes, size, &offset, counter, stream, in, out) == 0);
    mbedtls_aes_free(&aes);
    return ok;
}

}  // namespace

bool SivSeal(const uint8_t key[kSivKeyBytes], const ByteSpan* ad, size_t adCount,
             const uint8_t* plain, size_t size, uint8_t* out)
{
    if (adCount > kMaxStrings)
        return false;
    uint8_t v[kBlock];
    if (!S2v(key, ad, adCount, plain, size, v))
        return false;
    std::memcpy(out, v, kBlock);
    return Ctr(key + kBlock, v, plain, size, out + kBlock);
}

bool SivOpen(const uint8_t key[kSivKeyBytes], const ByteSpan* ad, size_t adCount,
             const uint8_t* sealed, size_t sealedSize, uint8_t* plain)
{
    if (sealedSize < kSivTagBytes || adCount > kMaxStrings)
        return false;
    const size_t size = sealedSize - kSivTagBytes;
    uint8_t v[kBlock];
    bool ok = Ctr(key + kBlock, sealed, sealed + kBlock, size, plain) &&
              S2v(key, ad, adCount, plain, size, v);
    // Compared in full whatever differs, so the time taken says nothing.
    uint8_t diff = 0;
    for (size_t i = 0; i < kBlock; ++i)
        diff = static_cast<uint8_t>(diff | (v[i] ^ sealed[i]));
    ok = ok && diff == 0;
    if (!ok && size > 0)
        std::memset(plain, 0, size);
    return ok;
}
