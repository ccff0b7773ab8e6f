#include "engine/Hasher.h"

#include <cryptopp/adler32.h>
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
#include <cryptopp/tiger.h>
#include <cryptopp/whrlpool.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "engine/ChunkPipeline.h"
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

using CRC32Digest = Checksum<CryptoPP::CRC32, true>;
using Adler32Digest = Checksum<CryptoPP::Adler32, false>;

void* AllocateFromHeap(SIZE_T nBytes) { return ::HeapAlloc(::GetProcessHeap(), 0, nBytes); }

}  // namespace

void* (*Hasher::s_pfnAllocateChunk)(SIZE_T) = AllocateFromHeap;

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
  ChunkPipeline chunks(reader, kChunkSize);
  if (!chunks.Start(s_pfnAllocateChunk)) {
    chunks.Stop();
    reader.Close();
    m_dwError = ERROR_NOT_ENOUGH_MEMORY;
    return std::string();
  }
  Digest hash(key, hmac);
  ChunkPipeline::Chunk chunk;
  while (chunks.Next(&chunk)) {
    if (m_bStop.load() != 0) {
      chunks.Stop();
      reader.Close();
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
    reader.Close();
    m_dwError = dwError != 0 ? dwError : ERROR_READ_FAULT;
    return std::string();
  }
  byte digest[Digest::kSize] = {};
  hash.Final(digest);
  reader.Close();
  m_dwError = 0;
  return Digest::Text(digest, upper);
}

std::string Hasher::HashString(const std::string& text, const std::string& key, int hmac,
                               int upper) {
  switch (m_nAlgorithm) {
    case 0:
      return HashStringCRC32(text, key, upper);
    case 1:
      return HashStringAdler32(text, key, upper);
    case 2:
      return HashStringTiger(text, key, hmac, upper);
    case 3:
      return HashStringPanama(text, key, hmac, upper);
    case 4:
      return HashStringWhirlpool(text, key, hmac, upper);
    case 5:
      return HashStringMD2(text, key, hmac, upper);
    case 6:
      return HashStringMD4(text, key, hmac, upper);
    case 7:
      return HashStringMD5(text, key, hmac, upper);
    case 8:
      return HashStringRIPEMD128(text, key, hmac, upper);
    case 9:
      return HashStringRIPEMD160(text, key, hmac, upper);
    case 10:
      return HashStringRIPEMD256(text, key, hmac, upper);
    case 11:
      return HashStringRIPEMD320(text, key, hmac, upper);
    case 12:
      return HashStringSHA1(text, key, hmac, upper);
    case 13:
      return HashStringSHA224(text, key, hmac, upper);
    case 14:
      return HashStringSHA256(text, key, hmac, upper);
    case 15:
      return HashStringSHA384(text, key, hmac, upper);
    case 16:
      return HashStringSHA512(text, key, hmac, upper);
    case 17:
      return HashStringSHA3_224(text, key, hmac, upper);
    case 18:
      return HashStringSHA3_256(text, key, hmac, upper);
    case 19:
      return HashStringSHA3_384(text, key, hmac, upper);
    case 20:
      return HashStringSHA3_512(text, key, hmac, upper);
    default:
      return std::string();
  }
}

std::string Hasher::HashFile(const char* path, std::string key, int hmac, int upper,
                             ProgressCallback progress) {
  m_bStop = 0;
  switch (m_nAlgorithm) {
    case 0:
      return HashFileCRC32(path, key, upper, progress);
    case 1:
      return HashFileAdler32(path, key, upper, progress);
    case 2:
      return HashFileTiger(path, key, hmac, upper, progress);
    case 3:
      return HashFilePanama(path, key, hmac, upper, progress);
    case 4:
      return HashFileWhirlpool(path, key, hmac, upper, progress);
    case 5:
      return HashFileMD2(path, key, hmac, upper, progress);
    case 6:
      return HashFileMD4(path, key, hmac, upper, progress);
    case 7:
      return HashFileMD5(path, key, hmac, upper, progress);
    case 8:
      return HashFileRIPEMD128(path, key, hmac, upper, progress);
    case 9:
      return HashFileRIPEMD160(path, key, hmac, upper, progress);
    case 10:
      return HashFileRIPEMD256(path, key, hmac, upper, progress);
    case 11:
      return HashFileRIPEMD320(path, key, hmac, upper, progress);
    case 12:
      return HashFileSHA1(path, key, hmac, upper, progress);
    case 13:
      return HashFileSHA224(path, key, hmac, upper, progress);
    case 14:
      return HashFileSHA256(path, key, hmac, upper, progress);
    case 15:
      return HashFileSHA384(path, key, hmac, upper, progress);
    case 16:
      return HashFileSHA512(path, key, hmac, upper, progress);
    case 17:
      return HashFileSHA3_224(path, key, hmac, upper, progress);
    case 18:
      return HashFileSHA3_256(path, key, hmac, upper, progress);
    case 19:
      return HashFileSHA3_384(path, key, hmac, upper, progress);
    case 20:
      return HashFileSHA3_512(path, key, hmac, upper, progress);
    default:
      return std::string();
  }
}

// The per-entry members: each names its library class and keyed form.
#define VEXORIN_CHECKSUM_MEMBERS(NAME, DIGEST)                                            \
  std::string Hasher::HashString##NAME(const std::string& text, const std::string& key,   \
                                       int upper) {                                       \
    return HashStringWith<DIGEST>(text, key, 0, upper);                                   \
  }                                                                                       \
  std::string Hasher::HashFile##NAME(const char* path, const std::string& key, int upper, \
                                     ProgressCallback progress) {                         \
    return HashFileWith<DIGEST>(path, key, 0, upper, progress);                           \
  }

#define VEXORIN_KEYED_MEMBERS(NAME, DIGEST)                                                       \
  std::string Hasher::HashString##NAME(const std::string& text, const std::string& key, int hmac, \
                                       int upper) {                                               \
    return HashStringWith<DIGEST>(text, key, hmac, upper);                                        \
  }                                                                                               \
  std::string Hasher::HashFile##NAME(const char* path, const std::string& key, int hmac,          \
                                     int upper, ProgressCallback progress) {                      \
    return HashFileWith<DIGEST>(path, key, hmac, upper, progress);                                \
  }

VEXORIN_CHECKSUM_MEMBERS(CRC32, CRC32Digest)
VEXORIN_CHECKSUM_MEMBERS(Adler32, Adler32Digest)
VEXORIN_KEYED_MEMBERS(Tiger, LibraryHmac<CryptoPP::Tiger>)
VEXORIN_KEYED_MEMBERS(Panama, LibraryHmac<CryptoPP::Weak::PanamaHash<CryptoPP::LittleEndian>>)
VEXORIN_KEYED_MEMBERS(Whirlpool, LibraryHmac<CryptoPP::Whirlpool>)
VEXORIN_KEYED_MEMBERS(MD2, LibraryHmac<CryptoPP::Weak::MD2>)
VEXORIN_KEYED_MEMBERS(MD4, LibraryHmac<CryptoPP::Weak::MD4>)
VEXORIN_KEYED_MEMBERS(MD5, LibraryHmac<CryptoPP::Weak::MD5>)
VEXORIN_KEYED_MEMBERS(RIPEMD128, LibraryHmac<CryptoPP::RIPEMD128>)
VEXORIN_KEYED_MEMBERS(RIPEMD160, LibraryHmac<CryptoPP::RIPEMD160>)
VEXORIN_KEYED_MEMBERS(RIPEMD256, LibraryHmac<CryptoPP::RIPEMD256>)
VEXORIN_KEYED_MEMBERS(RIPEMD320, LibraryHmac<CryptoPP::RIPEMD320>)
VEXORIN_KEYED_MEMBERS(SHA1, LibraryHmac<CryptoPP::SHA1>)
VEXORIN_KEYED_MEMBERS(SHA224, LibraryHmac<CryptoPP::SHA224>)
VEXORIN_KEYED_MEMBERS(SHA256, LibraryHmac<CryptoPP::SHA256>)
VEXORIN_KEYED_MEMBERS(SHA384, LibraryHmac<CryptoPP::SHA384>)
VEXORIN_KEYED_MEMBERS(SHA512, LibraryHmac<CryptoPP::SHA512>)
VEXORIN_KEYED_MEMBERS(SHA3_224, KeccakHmac<CryptoPP::Keccak_224>)
VEXORIN_KEYED_MEMBERS(SHA3_256, KeccakHmac<CryptoPP::Keccak_256>)
VEXORIN_KEYED_MEMBERS(SHA3_384, KeccakHmac<CryptoPP::Keccak_384>)
VEXORIN_KEYED_MEMBERS(SHA3_512, KeccakHmac<CryptoPP::Keccak_512>)
