#pragma once

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/crypto/QVCpuFeatures.h"

// Independent references for the program's cryptography: OpenSSL's SHA-2 and AES-128-CFB, and
// the checksum computed bit by bit. Only the test groups that link OpenSSL include this.
namespace Oracle {

// A digest fed in pieces.
class TDigest {
public:
    explicit TDigest(const EVP_MD* md) : FContext(EVP_MD_CTX_new()) {
        EVP_DigestInit_ex(FContext, md, nullptr);
    }
    ~TDigest() { EVP_MD_CTX_free(FContext); }
    TDigest(const TDigest&) = delete;
    TDigest& operator=(const TDigest&) = delete;
    TDigest& Update(std::string_view bytes) {
        EVP_DigestUpdate(FContext, bytes.data(), bytes.size());
        return *this;
    }
    std::string Final() {
        unsigned char out[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_DigestFinal_ex(FContext, out, &size);
        return std::string(reinterpret_cast<const char*>(out), size);
    }

private:
    EVP_MD_CTX* FContext;
};

inline std::string Sha256(std::string_view message) {
    return TDigest(EVP_sha256()).Update(message).Final();
}
inline std::string Sha512(std::string_view message) {
    return TDigest(EVP_sha512()).Update(message).Final();
}

// AES-128 in CFB mode with 128-bit feedback; `key` and `iv` are 16 bytes each.
inline std::string AesCfb(std::string_view key, std::string_view iv, std::string_view in,
                          bool encrypt) {
    std::string out(in.size() + 16, '\0');
    auto* bytes = reinterpret_cast<unsigned char*>(out.data());
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int n = 0, m = 0;
    EVP_CipherInit_ex(context, EVP_aes_128_cfb128(), nullptr,
                      reinterpret_cast<const unsigned char*>(key.data()),
                      reinterpret_cast<const unsigned char*>(iv.data()), encrypt ? 1 : 0);
    EVP_CipherUpdate(context, bytes, &n, reinterpret_cast<const unsigned char*>(in.data()),
                     static_cast<int>(in.size()));
    EVP_CipherFinal_ex(context, bytes + n, &m);
    EVP_CIPHER_CTX_free(context);
    out.resize(static_cast<std::size_t>(n + m));
    return out;
}

// The body of a protected container decrypted: after its head of `head` bytes comes the
// protection block of 40 bytes, with the IV from its second byte, then the body.
inline std::string PlainBody(std::string_view bytes, std::size_t head, std::string password) {
    password.resize(16, '\0');
    return AesCfb(password, bytes.substr(head + 1, 16), bytes.substr(head + 40), false);
}

// The program's checksum: reflected, polynomial 0xEDB88320, register starting at 0, no final
// inversion (unlike the common CRC-32).
inline std::uint32_t Crc(std::string_view bytes) {
    std::uint32_t r = 0;
    for (const unsigned char b : bytes) {
        r ^= b;
        for (int bit = 0; bit < 8; ++bit)
            r = (r >> 1) ^ (0xEDB88320u & (0u - (r & 1u)));
    }
    return r;
}

} // namespace Oracle

// Runs `check` on the path the processor takes, then again with the portable code forced, so the
// portable answers are checked on every machine.
template <class Check> void OnBothPaths(Check check) {
    const bool was = QVCpu::PortableForced();
    for (const bool portable : {false, true}) {
        SCOPED_TRACE(portable ? "portable code" : "processor's path");
        QVCpu::ForcePortable(portable || was);
        check();
    }
    QVCpu::ForcePortable(was);
}
