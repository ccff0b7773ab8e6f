#pragma once

// The digest objects of the catalogue's entries: the three ways an entry
// turns bytes into a digest, each over a hash class with the library's
// interface (Hash: the library's own, or a faster one of FastDigests.h), so
// that whatever reads the catalogue can reach the bare class too.
#include <cryptopp/adler32.h>
#include <cryptopp/blake2.h>
#include <cryptopp/crc.h>
#include <cryptopp/hmac.h>
#include <cryptopp/keccak.h>
#include <cryptopp/md2.h>
#include <cryptopp/md4.h>
#include <cryptopp/md5.h>
#include <cryptopp/misc.h>
#include <cryptopp/panama.h>
#include <cryptopp/ripemd.h>
#include <cryptopp/sha.h>
#include <cryptopp/sha3.h>
#include <cryptopp/tiger.h>
#include <cryptopp/whrlpool.h>

#include <cstring>
#include <functional>
#include <string>

#include "engine/FastDigests.h"
#include "engine/Hasher.h"

namespace digest_forms {

using CryptoPP::byte;

inline const byte* Bytes(const std::string& s) { return reinterpret_cast<const byte*>(s.data()); }

// The three ways an entry turns bytes into a digest. Each one is set up once
// with the key and flag, then fed once (a string) or chunk by chunk (a file).

// CRC32 and Adler32: no keyed form; key and flag never enter the result.
template <class H, bool kReversedText>
class Checksum {
 public:
  using Hash = H;
  static const unsigned kSize = H::DIGESTSIZE;
  Checksum(const std::string&, int) {}
  void Update(const byte* p, size_t n) { m_hash.Update(p, n); }
  void Final(byte* pOut) { m_hash.TruncatedFinal(pOut, kSize); }
  static std::string Text(const byte* pDigest, int upper) {
    return kReversedText ? Hasher::Crc32ToHex(pDigest, upper)
                         : Hasher::DigestToHex(pDigest, kSize, upper);
  }

 private:
  H m_hash;
};

// Entries with the library's HMAC: keyed only when the flag is set and the
// key holds at least one byte.
template <class H>
class LibraryHmac {
 public:
  using Hash = H;
  static const unsigned kSize = H::DIGESTSIZE;
  LibraryHmac(const std::string& key, int hmac) : m_active(m_hash) {
    if (hmac != 0 && !key.empty()) {
      m_mac.SetKey(Bytes(key), key.size());
      m_active = std::ref<CryptoPP::HashTransformation>(m_mac);
    }
  }
  void Update(const byte* p, size_t n) { m_active.get().Update(p, n); }
  void Final(byte* pOut) { m_active.get().TruncatedFinal(pOut, kSize); }
  static std::string Text(const byte* pDigest, int upper) {
    return Hasher::DigestToHex(pDigest, kSize, upper);
  }

 private:
  H m_hash;
  CryptoPP::HMAC<H> m_mac;
  std::reference_wrapper<CryptoPP::HashTransformation> m_active;
};

// The SHA3 entries (pre-standard Keccak): RFC 2104 HMAC built here with the
// Keccak rate as block length, on one Keccak object restarted between uses.
template <class K>
class KeccakHmac {
 public:
  using Hash = K;
  static const unsigned kSize = K::DIGESTSIZE;
  static const unsigned kBlock = 200 - 2 * kSize;

  KeccakHmac(const std::string& key, int hmac) : m_bKeyed(hmac != 0 && !key.empty()) {
    if (!m_bKeyed) return;
    // A key longer than the block is replaced by its digest; that is the only
    // change made to an input anywhere, so only the key gets an owned copy.
    std::string ownKey(key);
    if (ownKey.size() > kBlock) {
      byte shortKey[kSize];
      m_hash.Update(Bytes(ownKey), ownKey.size());
      m_hash.TruncatedFinal(shortKey, kSize);
      m_hash.Restart();
      ownKey.assign(reinterpret_cast<const char*>(shortKey), kSize);
      CryptoPP::SecureWipeArray(shortKey, kSize);
    }
    byte innerPad[kBlock];
    std::memset(innerPad, 0x36, kBlock);
    std::memset(m_outerPad, 0x5C, kBlock);
    for (size_t i = 0; i < ownKey.size(); ++i) {
      innerPad[i] ^= static_cast<byte>(ownKey[i]);
      m_outerPad[i] ^= static_cast<byte>(ownKey[i]);
    }
    m_hash.Update(innerPad, kBlock);
    CryptoPP::SecureWipeArray(innerPad, kBlock);
    if (!ownKey.empty()) CryptoPP::SecureWipeArray(&ownKey[0], ownKey.size());
  }
  ~KeccakHmac() { CryptoPP::SecureWipeArray(m_outerPad, kBlock); }

  void Update(const byte* p, size_t n) { m_hash.Update(p, n); }
  void Final(byte* pOut) {
    if (!m_bKeyed) {
      m_hash.TruncatedFinal(pOut, kSize);
      return;
    }
    byte inner[kSize];
    m_hash.TruncatedFinal(inner, kSize);
    m_hash.Restart();
    m_hash.Update(m_outerPad, kBlock);
    m_hash.Update(inner, kSize);
    m_hash.TruncatedFinal(pOut, kSize);
  }
  static std::string Text(const byte* pDigest, int upper) {
    return Hasher::DigestToHex(pDigest, kSize, upper);
  }

 private:
  const bool m_bKeyed;
  K m_hash;
  byte m_outerPad[kBlock] = {};
};

// The catalogue's two checksum forms: CRC32's text is its bytes reversed.
template <class H>
using Crc32Checksum = Checksum<H, true>;
template <class H>
using PlainChecksum = Checksum<H, false>;

}  // namespace digest_forms
