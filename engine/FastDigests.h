#pragma once

// Hash classes with the library's interface over faster code: OpenSSL's
// libcrypto (assembly for Whirlpool, MD5, SHA-512 and the Keccak
// permutation, chosen at run time from the processor's features, and its C
// code of BLAKE2b) and libdeflate (CRC32 and Adler32 with carry-less
// multiplication). Each class names its Reference, the library class whose
// bytes it must give, so that the tests and the benchmark reach both;
// HMAC<T> and every other user of the library's HashTransformation take
// them as they are.
#include <cryptopp/adler32.h>
#include <cryptopp/blake2.h>
#include <cryptopp/crc.h>
#include <cryptopp/cryptlib.h>
#include <cryptopp/keccak.h>
#include <cryptopp/md5.h>
#include <cryptopp/misc.h>
#include <cryptopp/sha.h>
#include <cryptopp/sha3.h>
#include <cryptopp/whrlpool.h>
#include <libdeflate.h>
#if VEXORIN_WITH_OPENSSL
#include <openssl/md5.h>
#include <openssl/sha.h>
#include <openssl/whrlpool.h>
#endif

#include <cstdint>
#include <string>
#include <type_traits>

// libcrypto's own headers of Keccak and BLAKE2 (their functions are in the
// library, their declarations only in its tree) and its processor-feature
// table, which the assembly reads on every call.
#if VEXORIN_WITH_OPENSSL
extern "C" {
#include "internal/sha3.h"
#include "prov/blake2.h"
void OPENSSL_cpuid_setup(void);
extern unsigned int OPENSSL_ia32cap_P[4];
}
#endif

namespace fast_digests {

using CryptoPP::byte;

// Reads the processor's features into libcrypto's table, once; every back
// end calls it before its first use (libcrypto's own start-up, which would
// do it, is not linked).
void EnsureCpuFeatures();

// Back end B (Context, Init, Update, Final, kDigest, kBlock) as a library
// hash class that gives the bytes of TReference.
template <class B, class TReference>
class Adapter : public CryptoPP::HashTransformation {
 public:
  using Reference = TReference;
  static const char* Library() { return B::Library(); }
  CRYPTOPP_CONSTANT(DIGESTSIZE = B::kDigest);
  CRYPTOPP_CONSTANT(BLOCKSIZE = B::kBlock);
  static_assert(unsigned(DIGESTSIZE) == unsigned(TReference::DIGESTSIZE),
                "digest length of the reference");
  static std::string StaticAlgorithmName() { return TReference::StaticAlgorithmName(); }

  Adapter() { Restart(); }
  ~Adapter() { CryptoPP::SecureWipeBuffer(reinterpret_cast<byte*>(&m_context), sizeof m_context); }

  void Update(const byte* pInput, size_t nLength) override {
    if (nLength != 0) B::Update(m_context, pInput, nLength);
  }
  void TruncatedFinal(byte* pDigest, size_t nSize) override {
    ThrowIfInvalidTruncatedSize(nSize);
    byte full[DIGESTSIZE];
    B::Final(m_context, full);
    std::memcpy(pDigest, full, nSize);
    Restart();
  }
  void Restart() override {
    EnsureCpuFeatures();
    B::Init(m_context);
  }
  unsigned int DigestSize() const override { return DIGESTSIZE; }
  unsigned int BlockSize() const override { return BLOCKSIZE; }
  unsigned int OptimalBlockSize() const override { return BLOCKSIZE; }
  std::string AlgorithmName() const override { return StaticAlgorithmName(); }

 private:
  typename B::Context m_context;
};

#if VEXORIN_WITH_OPENSSL
// libcrypto's digests that keep the usual Init, Update, Final shape.
template <class C, int (*pfnInit)(C*), int (*pfnUpdate)(C*, const void*, size_t),
          int (*pfnFinal)(unsigned char*, C*), unsigned kDigestBytes, unsigned kBlockBytes>
struct OpenSsl {
  using Context = C;
  static const char* Library() { return "OpenSSL"; }
  static const unsigned kDigest = kDigestBytes;
  static const unsigned kBlock = kBlockBytes;
  static void Init(C& c) { pfnInit(&c); }
  static void Update(C& c, const byte* p, size_t n) { pfnUpdate(&c, p, n); }
  static void Final(C& c, byte* pOut) { pfnFinal(pOut, &c); }
};

// Keccak under either padding: 0x01 for the original submission, 0x06 for
// FIPS 202.
template <unsigned kBits, unsigned char kPad>
struct OpenSslKeccak {
  using Context = KECCAK1600_CTX;
  static const char* Library() { return "OpenSSL"; }
  static const unsigned kDigest = kBits / 8;
  static const unsigned kBlock = 200 - 2 * kDigest;
  static void Init(Context& c) { ossl_sha3_init(&c, kPad, kBits); }
  static void Update(Context& c, const byte* p, size_t n) { ossl_sha3_update(&c, p, n); }
  static void Final(Context& c, byte* pOut) { ossl_sha3_final(pOut, &c); }
};

// BLAKE2b of the full length, unkeyed (HMAC<T> keys it the usual way): the
// C code under libcrypto's provider. It works on 64-bit words, so only the
// 64-bit build takes it; the 32-bit build keeps the library's SSE4.1 code,
// which measured faster there.
struct OpenSslBlake2b {
  using Context = BLAKE2B_CTX;
  static const char* Library() { return "OpenSSL"; }
  static const unsigned kDigest = BLAKE2B_DIGEST_LENGTH;
  static const unsigned kBlock = BLAKE2B_BLOCKBYTES;
  static void Init(Context& c) {
    BLAKE2B_PARAM param;
    ossl_blake2b_param_init(&param);
    ossl_blake2b_init(&c, &param);
  }
  static void Update(Context& c, const byte* p, size_t n) { ossl_blake2b_update(&c, p, n); }
  static void Final(Context& c, byte* pOut) { ossl_blake2b_final(pOut, &c); }
};

#endif

// libdeflate's checksums: the function, the value a run starts from, and
// the library's byte order (CRC32 low byte first, Adler32 high byte first).
template <uint32_t (*pfnUpdate)(uint32_t, const void*, size_t), uint32_t kStart, bool kHighFirst>
struct Deflate {
  using Context = uint32_t;
  static const char* Library() { return "libdeflate"; }
  static const unsigned kDigest = 4;
  static const unsigned kBlock = 1;
  static void Init(Context& c) { c = kStart; }
  static void Update(Context& c, const byte* p, size_t n) { c = pfnUpdate(c, p, n); }
  static void Final(Context& c, byte* pOut) {
    for (int i = 0; i < 4; ++i) pOut[i] = static_cast<byte>(c >> (kHighFirst ? 24 - 8 * i : 8 * i));
  }
};

// clang-format off
using Crc32     = Adapter<Deflate<libdeflate_crc32, 0, false>, CryptoPP::CRC32>;
using Adler32   = Adapter<Deflate<libdeflate_adler32, 1, true>, CryptoPP::Adler32>;
#if VEXORIN_WITH_OPENSSL
using MD5       = Adapter<OpenSsl<MD5_CTX, MD5_Init, MD5_Update, MD5_Final, 16, 64>, CryptoPP::Weak::MD5>;
using SHA384    = Adapter<OpenSsl<SHA512_CTX, SHA384_Init, SHA384_Update, SHA384_Final, 48, 128>, CryptoPP::SHA384>;
using SHA512    = Adapter<OpenSsl<SHA512_CTX, SHA512_Init, SHA512_Update, SHA512_Final, 64, 128>, CryptoPP::SHA512>;
using Keccak224 = Adapter<OpenSslKeccak<224, 0x01>, CryptoPP::Keccak_224>;
using Keccak256 = Adapter<OpenSslKeccak<256, 0x01>, CryptoPP::Keccak_256>;
using Keccak384 = Adapter<OpenSslKeccak<384, 0x01>, CryptoPP::Keccak_384>;
using Keccak512 = Adapter<OpenSslKeccak<512, 0x01>, CryptoPP::Keccak_512>;
using SHA3_224  = Adapter<OpenSslKeccak<224, 0x06>, CryptoPP::SHA3_224>;
using SHA3_256  = Adapter<OpenSslKeccak<256, 0x06>, CryptoPP::SHA3_256>;
using SHA3_384  = Adapter<OpenSslKeccak<384, 0x06>, CryptoPP::SHA3_384>;
using SHA3_512  = Adapter<OpenSslKeccak<512, 0x06>, CryptoPP::SHA3_512>;
#else
// A build without libcrypto keeps the library's own classes.
using MD5       = CryptoPP::Weak::MD5;
using SHA384    = CryptoPP::SHA384;
using SHA512    = CryptoPP::SHA512;
using Keccak224 = CryptoPP::Keccak_224;
using Keccak256 = CryptoPP::Keccak_256;
using Keccak384 = CryptoPP::Keccak_384;
using Keccak512 = CryptoPP::Keccak_512;
using SHA3_224  = CryptoPP::SHA3_224;
using SHA3_256  = CryptoPP::SHA3_256;
using SHA3_384  = CryptoPP::SHA3_384;
using SHA3_512  = CryptoPP::SHA3_512;
#endif
// Measured per target: in the 32-bit build libcrypto's Whirlpool (MMX) and
// BLAKE2b (C) are slower than the library's own code.
#if VEXORIN_WITH_OPENSSL && defined(__x86_64__)
using Whirlpool = Adapter<OpenSsl<WHIRLPOOL_CTX, WHIRLPOOL_Init, WHIRLPOOL_Update, WHIRLPOOL_Final, 64, 64>, CryptoPP::Whirlpool>;
using BLAKE2b   = Adapter<OpenSslBlake2b, CryptoPP::BLAKE2b>;
#else
using Whirlpool = CryptoPP::Whirlpool;
using BLAKE2b   = CryptoPP::BLAKE2b;
#endif
// clang-format on

// The library class a hash class must agree with: its Reference, or itself.
template <class H, class = void>
struct ReferenceOf {
  using type = H;
};
template <class H>
struct ReferenceOf<H, std::void_t<typename H::Reference>> {
  using type = typename H::Reference;
};

// Whether H runs code of its own rather than the library's.
template <class H>
constexpr bool IsFast() {
  return !std::is_same<typename ReferenceOf<H>::type, H>::value;
}

template <class H>
const char* LibraryOf() {
  if constexpr (IsFast<H>())
    return H::Library();
  else
    return "Crypto++";
}

// The library whose code computes entry nAlgorithm ("Crypto++", "OpenSSL",
// "libdeflate"); null outside the catalogue.
const char* DigestLibrary(unsigned nAlgorithm);

}  // namespace fast_digests
