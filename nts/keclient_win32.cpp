// The NTS-KE client: TLS 1.3 to the key server with ALPN "ntske/1", the
// server's chain checked against the system's roots (and an extra file),
// the request and response records, and the two keys from the exporter.
// Every step is bounded by one deadline and the bytes it may receive.
#include <winsock.h>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mbedtls/ssl.h"
#include "mbedtls/x509_crt.h"
#include "nts/certdate.h"
#include "nts/keclient.h"
#include "nts/ntske.h"
#include "nts/tlsplatform.h"
#include "psa/crypto.h"

namespace {

const size_t kMaxTlsBytes = 256 * 1024;    // all the server may send
const size_t kMaxRootsFileBytes = 1 << 20;

void SetReason(char* reason, const char* text)
{
    std::snprintf(reason, KESTRIN_NTS_REASON_BYTES, "NTS: %s", text);
}

class Deadline {
public:
    explicit Deadline(DWORD ms) : start_(GetTickCount()), ms_(ms) {}
    // Milliseconds left; 0 once passed (GetTickCount wraps: differences only).
    DWORD Left() const
    {
        const DWORD spent = GetTickCount() - start_;
        return spent >= ms_ ? 0 : ms_ - spent;
    }

private:
    DWORD start_, ms_;
};

struct Connection {
    SOCKET socket = INVALID_SOCKET;
    const Deadline* deadline = nullptr;
    size_t received = 0;
    bool timedOut = false;
};

// Waits until s is readable (or writable) within the deadline.
bool WaitFor(Connection* c, bool write)
{
    const DWORD left = c->deadline->Left();
    if (left == 0) {
        c->timedOut = true;
        return false;
    }
    fd_set set, failed;
    FD_ZERO(&set);
    FD_ZERO(&failed);
    FD_SET(c->socket, &set);
    FD_SET(c->socket, &failed);
    timeval tv{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
    const int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &failed, &tv);
    if (n == 0)
        c->timedOut = true;
    return n > 0 && FD_ISSET(c->socket, &set);
}

int Send(void* ctx, const unsigned char* data, size_t size)
{
    Connection* c = static_cast<Connection*>(ctx);
    if (!WaitFor(c, true))
        return c->timedOut ? MBEDTLS_ERR_SSL_TIMEOUT : MBEDTLS_ERR_SSL_CONN_EOF;
    const int n = send(c->socket, reinterpret_cast<const char*>(data), static_cast<int>(size), 0);
    if (n > 0)
        return n;
    // Ready by select yet not by the socket: tried again, within the deadline.
    return WSAGetLastError() == WSAEWOULDBLOCK ? MBEDTLS_ERR_SSL_WANT_WRITE : MBEDTLS_ERR_SSL_CONN_EOF;
}

int Receive(void* ctx, unsigned char* data, size_t size)
{
    Connection* c = static_cast<Connection*>(ctx);
    if (c->received >= kMaxTlsBytes || !WaitFor(c, false))
        return c->timedOut ? MBEDTLS_ERR_SSL_TIMEOUT : MBEDTLS_ERR_SSL_CONN_EOF;
    if (size > kMaxTlsBytes - c->received)
        size = kMaxTlsBytes - c->received;
    const int n = recv(c->socket, reinterpret_cast<char*>(data), static_cast<int>(size), 0);
    if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK)
        return MBEDTLS_ERR_SSL_WANT_READ;
    if (n <= 0)
        return MBEDTLS_ERR_SSL_CONN_EOF;
    c->received += static_cast<size_t>(n);
    return n;
}

bool Connect(Connection* c, const char* host, uint16_t port, char* reason)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = inet_addr(host);
    if (to.sin_addr.s_addr == INADDR_NONE) {
        // The lookup blocks for the resolver's own time; it runs on the
        // exchange's thread, never the window's.
        const hostent* found = gethostbyname(host);
        if (found == nullptr || found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) {
            SetReason(reason, "key server not found");
            return false;
        }
        std::memcpy(&to.sin_addr, found->h_addr_list[0], sizeof to.sin_addr);
    }
    c->socket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    if (c->socket == INVALID_SOCKET || ioctlsocket(c->socket, FIONBIO, &nonBlocking) != 0) {
        SetReason(reason, "no socket");
        return false;
    }
    if (connect(c->socket, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK) {
        SetReason(reason, "key server unreachable");
        return false;
    }
    if (!WaitFor(c, true)) {
        SetReason(reason, c->timedOut ? "key exchange timed out" : "key server unreachable");
        return false;
    }
    return true;
}

// The system's roots (the ROOT store) and those of the extra file; a root
// the library cannot parse is left out.
bool LoadRoots(mbedtls_x509_crt* roots, const char* file, char* reason)
{
    size_t count = 0;
    HCERTSTORE store = CertOpenSystemStoreA(0, "ROOT");
    if (store != nullptr) {
        PCCERT_CONTEXT cert = nullptr;
        // Bounded by the store; a store of more than 10,000 roots is cut.
        for (int i = 0; i < 10000 && (cert = CertEnumCertificatesInStore(store, cert)) != nullptr; ++i) {
            if (mbedtls_x509_crt_parse_der(roots, cert->pbCertEncoded, cert->cbCertEncoded) == 0)
                ++count;
        }
        if (cert != nullptr)
            CertFreeCertificateContext(cert);
        CertCloseStore(store, 0);
    }
    if (file != nullptr && file[0] != '\0') {
        FILE* f = std::fopen(file, "rb");
        unsigned char* text = static_cast<unsigned char*>(std::malloc(kMaxRootsFileBytes + 1));
        size_t size = 0;
        if (f != nullptr && text != nullptr)
            size = std::fread(text, 1, kMaxRootsFileBytes + 1, f);
        if (f != nullptr)
            std::fclose(f);
        bool ok = f != nullptr && text != nullptr && size > 0 && size <= kMaxRootsFileBytes;
        if (ok) {
            text[size] = '\0';
            const mbedtls_x509_crt* last = roots;
            size_t before = 0;
            for (; last != nullptr && last->raw.len > 0; last = last->next)
                ++before;
            // Returns the number of certificates it could not parse.
            ok = mbedtls_x509_crt_parse(roots, text, size + 1) >= 0;
            size_t after = 0;
            for (last = roots; last != nullptr && last->raw.len > 0; last = last->next)
                ++after;
            ok = ok && after > before;
            count = after;
        }
        std::free(text);
        if (!ok) {
            SetReason(reason, "root certificate file unreadable");
            return false;
        }
    }
    if (count == 0) {
        SetReason(reason, "no trusted root certificates");
        return false;
    }
    return true;
}

// With a floor, each certificate's end is checked against it and its start
// not at all (a certificate newer than the program is no fault); without
// one the library's check against the clock stands.
int CheckDates(void* ctx, mbedtls_x509_crt* crt, int, uint32_t* flags)
{
    const long long floor = *static_cast<const long long*>(ctx);
    if (floor <= 0)
        return 0;
    *flags &= ~static_cast<uint32_t>(MBEDTLS_X509_BADCERT_EXPIRED | MBEDTLS_X509_BADCERT_FUTURE);
    const mbedtls_x509_time& end = crt->valid_to;
    if (CivilBefore(CivilTime{end.year, end.mon, end.day, end.hour, end.min, end.sec}, CivilFromEpoch(floor)))
        *flags |= MBEDTLS_X509_BADCERT_EXPIRED;
    return 0;
}

void CertificateReason(uint32_t flags, char* reason)
{
    if (flags & MBEDTLS_X509_BADCERT_NOT_TRUSTED)
        SetReason(reason, "certificate not trusted");
    else if (flags & MBEDTLS_X509_BADCERT_CN_MISMATCH)
        SetReason(reason, "certificate for another name");
    else if (flags & MBEDTLS_X509_BADCERT_EXPIRED)
        SetReason(reason, "certificate expired");
    else if (flags & MBEDTLS_X509_BADCERT_FUTURE)
        SetReason(reason, "certificate not yet valid");
    else
        SetReason(reason, "certificate refused");
}

class Tls {
public:
    Tls()
    {
        mbedtls_ssl_init(&ssl);
        mbedtls_ssl_config_init(&conf);
        mbedtls_x509_crt_init(&roots);
    }
    ~Tls()
    {
        mbedtls_ssl_free(&ssl);
        mbedtls_ssl_config_free(&conf);
        mbedtls_x509_crt_free(&roots);
    }
    mbedtls_ssl_context ssl;
    mbedtls_ssl_config conf;
    mbedtls_x509_crt roots;
};

const char* kAlpn[] = {"ntske/1", nullptr};

bool ReadResponse(Tls* tls, const Connection* c, uint8_t* response, KeResponse* out, char* reason);

bool Exchange(const NtsKeParams& p, Connection* c, KeOutcome* out, char* reason)
{
    Tls tls;
    if (!LoadRoots(&tls.roots, p.rootsFile, reason))
        return false;
    long long floor = p.floorEpochSeconds;
    mbedtls_ssl_config& conf = tls.conf;
    if (psa_crypto_init() != PSA_SUCCESS ||
        mbedtls_ssl_config_defaults(&conf, MBEDTLS_SSL_IS_CLIENT, MBEDTLS_SSL_TRANSPORT_STREAM,
                                    MBEDTLS_SSL_PRESET_DEFAULT) != 0) {
        SetReason(reason, "TLS set-up failed");
        return false;
    }
    mbedtls_ssl_conf_min_tls_version(&conf, MBEDTLS_SSL_VERSION_TLS1_3);
    mbedtls_ssl_conf_max_tls_version(&conf, MBEDTLS_SSL_VERSION_TLS1_3);
    mbedtls_ssl_conf_authmode(&conf, MBEDTLS_SSL_VERIFY_REQUIRED);
    mbedtls_ssl_conf_ca_chain(&conf, &tls.roots, nullptr);
    mbedtls_ssl_conf_rng(&conf, TlsRandom, nullptr);
    mbedtls_ssl_conf_verify(&conf, CheckDates, &floor);
    if (mbedtls_ssl_conf_alpn_protocols(&conf, kAlpn) != 0 || mbedtls_ssl_setup(&tls.ssl, &conf) != 0 ||
        mbedtls_ssl_set_hostname(&tls.ssl, p.host) != 0) {
        SetReason(reason, "TLS set-up failed");
        return false;
    }
    mbedtls_ssl_set_bio(&tls.ssl, c, Send, Receive, nullptr);

    int r;
    while ((r = mbedtls_ssl_handshake(&tls.ssl)) != 0) {
        if (r == MBEDTLS_ERR_SSL_WANT_READ || r == MBEDTLS_ERR_SSL_WANT_WRITE)
            continue;  // bounded: Send and Receive fail once the deadline passes
        const uint32_t flags = mbedtls_ssl_get_verify_result(&tls.ssl);
        if (r == MBEDTLS_ERR_X509_CERT_VERIFY_FAILED || (flags != 0 && flags != 0xFFFFFFFFu))
            CertificateReason(flags, reason);
        else
            SetReason(reason, c->timedOut ? "key exchange timed out" : "TLS handshake failed");
        return false;
    }
    const char* alpn = mbedtls_ssl_get_alpn_protocol(&tls.ssl);
    if (alpn == nullptr || std::strcmp(alpn, kAlpn[0]) != 0) {
        SetReason(reason, "server does not offer NTS-KE");
        return false;
    }
    uint8_t context[kExporterContextBytes];
    WriteExporterContext(context, false);
    r = mbedtls_ssl_export_keying_material(&tls.ssl, out->c2sKey, sizeof out->c2sKey, kExporterLabel,
                                           sizeof kExporterLabel - 1, context, sizeof context, 1);
    WriteExporterContext(context, true);
    if (r == 0)
        r = mbedtls_ssl_export_keying_material(&tls.ssl, out->s2cKey, sizeof out->s2cKey, kExporterLabel,
                                               sizeof kExporterLabel - 1, context, sizeof context, 1);
    if (r != 0) {
        SetReason(reason, "key export failed");
        return false;
    }

    uint8_t request[kKeRequestBytes];
    const size_t requestSize = WriteKeRequest(request);
    size_t sent = 0;
    while (sent < requestSize) {
        r = mbedtls_ssl_write(&tls.ssl, request + sent, requestSize - sent);
        if (r == MBEDTLS_ERR_SSL_WANT_READ || r == MBEDTLS_ERR_SSL_WANT_WRITE)
            continue;
        if (r <= 0) {
            SetReason(reason, c->timedOut ? "key exchange timed out" : "request not sent");
            return false;
        }
        sent += static_cast<size_t>(r);
    }

    uint8_t* response = static_cast<uint8_t*>(std::malloc(kMaxResponseBytes));
    if (response == nullptr) {
        SetReason(reason, "out of memory");
        return false;
    }
    const bool ok = ReadResponse(&tls, c, response, &out->response, reason);
    std::free(response);
    if (ok)
        mbedtls_ssl_close_notify(&tls.ssl);  // courtesy only; the deadline bounds it
    return ok;
}

// Reads records until End of Message (at most kMaxResponseBytes).
bool ReadResponse(Tls* tls, const Connection* c, uint8_t* response, KeResponse* out, char* reason)
{
    size_t got = 0, whole = 0;
    while (whole == 0) {
        const int r = mbedtls_ssl_read(&tls->ssl, response + got, kMaxResponseBytes - got);
        if (r == MBEDTLS_ERR_SSL_WANT_READ || r == MBEDTLS_ERR_SSL_WANT_WRITE)
            continue;
        if (r <= 0) {
            SetReason(reason, c->timedOut ? "key exchange timed out" : "response cut short");
            return false;
        }
        got += static_cast<size_t>(r);
        whole = KeResponseLength(response, got);
        if (whole == 0 && got == kMaxResponseBytes)
            whole = SIZE_MAX;
    }
    if (whole == SIZE_MAX) {
        SetReason(reason, "response too long");
        return false;
    }
    ReadKeResponse(response, got, out);
    if (out->failure != KeFailure::None) {
        SetReason(reason, KeFailureText(out->failure));
        return false;
    }
    return true;
}

}  // namespace

bool RunKeyExchange(const NtsKeParams& params, KeOutcome* out, char reason[KESTRIN_NTS_REASON_BYTES])
{
    std::memset(out, 0, sizeof *out);
    reason[0] = '\0';
    if (params.host == nullptr || params.host[0] == '\0' || params.port == 0) {
        SetReason(reason, "no key server");
        return false;
    }
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(1, 1), &wsa) != 0) {
        SetReason(reason, "no network");
        return false;
    }
    const Deadline deadline(params.timeoutMs);
    Connection c;
    c.deadline = &deadline;
    const bool ok = Connect(&c, params.host, params.port, reason) && Exchange(params, &c, out, reason);
    if (c.socket != INVALID_SOCKET)
        closesocket(c.socket);
    WSACleanup();
    if (!ok)
        std::memset(out, 0, sizeof *out);
    return ok;
}
