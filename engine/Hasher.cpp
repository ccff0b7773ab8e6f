#include "engine/Hasher.h"

#include <cryptopp/filters.h>
#include <cryptopp/hex.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "engine/DigestForms.h"
#include "engine/DigestObject.h"

namespace {

using namespace digest_forms;

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
  // The one-entry case of the shared read.
  DigestObjectOf<Digest> digest(key, hmac);
  return ReadDigests(path, std::vector<DigestObject*>(1, &digest), upper, progress, false).front();
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
