#include "engine/Hasher.h"

#include <cryptopp/adler32.h>
#include <cryptopp/blake2.h>
#include <cryptopp/crc.h>
#include <cryptopp/filters.h>
#include <cryptopp/hex.h>
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

#include <cstdio>
#include <cstring>
#include <functional>

#include "engine/ChunkPipeline.h"
#include "engine/DigestObject.h"
#include "fileio/MappedFileReader.h"

namespace {

using CryptoPP::byte;

const byte* Bytes(const std::string& s) { return reinterpret_cast<const byte*>(s.data()); }

// The three ways an entry turns bytes into a digest. Each one is set up once
// with the key and flag, then fed once (a string) or chunk by chunk (a file).

// CRC32 and Adler32: no keyed form; key and flag never enter the result.
template <class H, bool kReversedText>
class Checksum {
 public:
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

using Crc32Digest = Checksum<CryptoPP::CRC32, true>;
using Adler32Digest = Checksum<CryptoPP::Adler32, false>;

void* AllocateFromHeap(SIZE_T nBytes) { return ::HeapAlloc(::GetProcessHeap(), 0, nBytes); }

}  // namespace

void* (*Hasher::s_pfnAllocateChunk)(SIZE_T) = AllocateFromHeap;
HANDLE(WINAPI* Hasher::s_pfnCreateDigestThread)
(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) = ::CreateThread;

std::vector<std::string> Hasher::HashStringMany(const std::string& text, const std::string& key,
                                                int hmac, int upper,
                                                const std::vector<UINT>& entries) {
  std::vector<std::string> results;
  for (UINT nAlgorithm : entries) {
    Hasher one(nAlgorithm);
    results.push_back(one.HashString(text, key, hmac, upper));
  }
  return results;
}

Hasher::Hasher(UINT nAlgorithm) : m_nAlgorithm(nAlgorithm) {}

Hasher::~Hasher() {}

std::string Hasher::DigestToHex(const BYTE* pDigest, size_t nLength, int upper) {
  std::string text;
  CryptoPP::HexEncoder encoder(new CryptoPP::StringSink(text), upper != 0, 0, ":", "");
  encoder.Put(pDigest, nLength);
  encoder.MessageEnd();
  return text;
}

std::string Hasher::Crc32ToHex(const BYTE* pDigest, int upper) {
  std::string text;
  char digits[3];
  for (int i = 3; i >= 0; --i) {
    std::snprintf(digits, sizeof(digits), upper != 0 ? "%02X" : "%02x",
                  static_cast<unsigned>(pDigest[i]));
    text.append(digits, 2);
  }
  return text;
}

DWORD Hasher::ProgressPercent(ULONGLONG qwSize, ULONGLONG qwPosition) {
  const ULONGLONG q = qwSize / 100;
  if (q == 0) return 100;
  return static_cast<DWORD>(qwPosition / q);
}

void Hasher::NotifyProgress(const ProgressCallback& progress, DWORD dwPercent) {
  if (!progress.IsEmpty()) progress(static_cast<int>(dwPercent));
}

template <class Digest>
std::string Hasher::HashStringWith(const std::string& text, const std::string& key, int hmac,
                                   int upper) {
  byte digest[Digest::kSize] = {};
  Digest hash(key, hmac);
  hash.Update(Bytes(text), text.size());
  hash.Final(digest);
  return Digest::Text(digest, upper);
}

template <class Digest>
std::string Hasher::HashFileWith(const char* path, const std::string& key, int hmac, int upper,
                                 const ProgressCallback& progress) {
  MappedFileReader reader;
  if (!reader.Open(path, GENERIC_READ, FILE_SHARE_READ)) {
    m_dwError = reader.LastError();
    return std::string();
  }
  const ULONGLONG qwSize = reader.Size();
  // Declared after the reader, so on every return the prefetch has ended
  // before the reader closes.
  ChunkPipeline chunks(reader, kChunkSize);
  if (!chunks.Start(s_pfnAllocateChunk)) {
    m_dwError = ERROR_NOT_ENOUGH_MEMORY;
    return std::string();
  }
  Digest hash(key, hmac);
  ChunkPipeline::Chunk chunk;
  while (chunks.Next(&chunk)) {
    if (m_bStop.load() != 0) {
      m_dwError = 0;
      return std::string();
    }
    hash.Update(chunk.pData, chunk.dwLength);
    NotifyProgress(progress, ProgressPercent(qwSize, chunk.qwPosition));
  }
  // The reader is this thread's again only once the prefetch has ended.
  chunks.Stop();
  if (reader.Position() < qwSize) {
    // A view could not be mapped part-way: the digest would cover only the
    // front of the file, so the run fails with the reader's code instead.
    const DWORD dwError = reader.LastError();
    m_dwError = dwError != 0 ? dwError : ERROR_READ_FAULT;
    return std::string();
  }
  byte digest[Digest::kSize] = {};
  hash.Final(digest);
  m_dwError = 0;
  return Digest::Text(digest, upper);
}

// Both dispatchers switch on the index; entries without HMAC are not given
// the flag.
#define VEXORIN_STRING_CHECKSUM(TEXT, NAME, BYTES, DIGEST) \
  case kAlgorithm##NAME:                                   \
    return HashString##NAME(text, key, upper);
#define VEXORIN_STRING_KEYED(TEXT, NAME, BYTES, DIGEST) \
  case kAlgorithm##NAME:                                \
    return HashString##NAME(text, key, hmac, upper);
#define VEXORIN_FILE_CHECKSUM(TEXT, NAME, BYTES, DIGEST) \
  case kAlgorithm##NAME:                                 \
    return HashFile##NAME(path, key, upper, progress);
#define VEXORIN_FILE_KEYED(TEXT, NAME, BYTES, DIGEST) \
  case kAlgorithm##NAME:                              \
    return HashFile##NAME(path, key, hmac, upper, progress);

std::string Hasher::HashString(const std::string& text, const std::string& key, int hmac,
                               int upper) {
  switch (m_nAlgorithm) {
    VEXORIN_CATALOGUE(VEXORIN_STRING_CHECKSUM, VEXORIN_STRING_KEYED)
    default:
      return std::string();
  }
}

std::string Hasher::HashFile(const char* path, std::string key, int hmac, int upper,
                             ProgressCallback progress) {
  m_bStop = 0;
  switch (m_nAlgorithm) {
    VEXORIN_CATALOGUE(VEXORIN_FILE_CHECKSUM, VEXORIN_FILE_KEYED)
    default:
      return std::string();
  }
}

// The per-entry members: each computes with the digest object of its line in
// the catalogue, whose length must be the one the catalogue states.
#define VEXORIN_CHECKSUM_MEMBERS(TEXT, NAME, BYTES, DIGEST)                               \
  static_assert(DIGEST::kSize == BYTES, TEXT ": digest length");                          \
  std::string Hasher::HashString##NAME(const std::string& text, const std::string& key,   \
                                       int upper) {                                       \
    return HashStringWith<DIGEST>(text, key, 0, upper);                                   \
  }                                                                                       \
  std::string Hasher::HashFile##NAME(const char* path, const std::string& key, int upper, \
                                     ProgressCallback progress) {                         \
    return HashFileWith<DIGEST>(path, key, 0, upper, progress);                           \
  }

#define VEXORIN_KEYED_MEMBERS(TEXT, NAME, BYTES, DIGEST)                                          \
  static_assert(DIGEST::kSize == BYTES, TEXT ": digest length");                                  \
  std::string Hasher::HashString##NAME(const std::string& text, const std::string& key, int hmac, \
                                       int upper) {                                               \
    return HashStringWith<DIGEST>(text, key, hmac, upper);                                        \
  }                                                                                               \
  std::string Hasher::HashFile##NAME(const char* path, const std::string& key, int hmac,          \
                                     int upper, ProgressCallback progress) {                      \
    return HashFileWith<DIGEST>(path, key, hmac, upper, progress);                                \
  }

VEXORIN_CATALOGUE(VEXORIN_CHECKSUM_MEMBERS, VEXORIN_KEYED_MEMBERS)

namespace {

// Any entry's digest object behind one interface, for runs that hold the
// digests of several entries at once.
template <class Digest>
class DigestObjectOf : public DigestObject {
 public:
  DigestObjectOf(const std::string& key, int hmac) : m_digest(key, hmac) {}
  void Update(const BYTE* pData, size_t nLength) override { m_digest.Update(pData, nLength); }
  std::string Final(int upper) override {
    byte digest[Digest::kSize] = {};
    m_digest.Final(digest);
    return Digest::Text(digest, upper);
  }

 private:
  Digest m_digest;
};

}  // namespace

#define VEXORIN_OBJECT_CHECKSUM(TEXT, NAME, BYTES, DIGEST) \
  case kAlgorithm##NAME:                                   \
    return std::unique_ptr<DigestObject>(new DigestObjectOf<DIGEST>(key, 0));
#define VEXORIN_OBJECT_KEYED(TEXT, NAME, BYTES, DIGEST) \
  case kAlgorithm##NAME:                                \
    return std::unique_ptr<DigestObject>(new DigestObjectOf<DIGEST>(key, hmac));

std::unique_ptr<DigestObject> MakeDigestObject(UINT nAlgorithm, const std::string& key, int hmac) {
  switch (nAlgorithm) {
    VEXORIN_CATALOGUE(VEXORIN_OBJECT_CHECKSUM, VEXORIN_OBJECT_KEYED)
    default:
      return nullptr;
  }
}
