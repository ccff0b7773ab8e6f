// Every entry whose bytes come from a faster library, against the library
// class they must equal: plain and keyed, every short length, the chunk and
// view boundaries of a file job, a large random input, and each code path
// the processor offers. VEXORIN_TEST_CPU (set by ctest for the second and
// third runs of this suite) takes features away from libdeflate before its
// first call, which then keeps the path it chose for the process.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/ChunkPipeline.h"
#include "engine/DigestForms.h"

extern "C" volatile uint32_t libdeflate_x86_cpu_features;

namespace {

using namespace digest_forms;
using fast_digests::ReferenceOf;

// The digest form of F over its hash class's reference.
template <class F>
struct OverReference;
template <class H, bool kReversed>
struct OverReference<Checksum<H, kReversed>> {
  using type = Checksum<typename ReferenceOf<H>::type, kReversed>;
};
template <class H>
struct OverReference<LibraryHmac<H>> {
  using type = LibraryHmac<typename ReferenceOf<H>::type>;
};
template <class H>
struct OverReference<KeccakHmac<H>> {
  using type = KeccakHmac<typename ReferenceOf<H>::type>;
};

// Form F fed pData in pieces of nPiece bytes (all at once for 0).
template <class F>
std::string Digest(const std::string& data, size_t nPiece, const std::string& key, int hmac) {
  F form(key, hmac);
  const byte* p = Bytes(data);
  if (nPiece == 0) nPiece = data.size() + 1;
  for (size_t at = 0; at < data.size(); at += nPiece)
    form.Update(p + at, std::min(nPiece, data.size() - at));
  byte digest[F::kSize];
  form.Final(digest);
  return F::Text(digest, 0);
}

struct Backend {
  UINT nEntry;
  const char* pszLibrary;
  unsigned nBlock;  // the block HMAC pads the key to
  // The fast form's digest and the reference's, as text.
  std::string (*pfnFast)(const std::string&, size_t, const std::string&, int);
  std::string (*pfnReference)(const std::string&, size_t, const std::string&, int);
};

template <class F>
constexpr unsigned HmacBlock() {
  if constexpr (std::is_same<F, KeccakHmac<typename F::Hash>>::value)
    return F::kBlock;
  else
    return F::Hash::BLOCKSIZE;
}

#define VEXORIN_BACKEND_ENTRY(TEXT, NAME, BYTES, DIGEST)                        \
  if (fast_digests::IsFast<DIGEST::Hash>())                                     \
    table.push_back({kAlgorithm##NAME, fast_digests::LibraryOf<DIGEST::Hash>(), \
                     HmacBlock<DIGEST>(), &Digest<DIGEST>, &Digest<OverReference<DIGEST>::type>});
const std::vector<Backend>& Backends() {
  static const std::vector<Backend> table = [] {
    std::vector<Backend> table;
    VEXORIN_CATALOGUE(VEXORIN_BACKEND_ENTRY, VEXORIN_BACKEND_ENTRY)
    return table;
  }();
  return table;
}
#undef VEXORIN_BACKEND_ENTRY

std::string Random(size_t nSize, unsigned seed) {
  std::mt19937 generator(seed);
  std::string data(nSize, '\0');
  for (char& c : data) c = static_cast<char>(generator());
  return data;
}

// Compares every fast entry's plain digest with its reference's.
void ExpectSameEverywhere(const std::string& data, size_t nPiece, const std::string& what) {
  for (const Backend& b : Backends()) {
    const std::string name = CatalogueEntryAt(b.nEntry)->pszName;
    ASSERT_EQ(b.pfnReference(data, nPiece, "", 0), b.pfnFast(data, nPiece, "", 0))
        << name << " (" << b.pszLibrary << "), " << what;
  }
}

// The features libdeflate may use in this run, before its first call.
class CpuFeatures : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* level = std::getenv("VEXORIN_TEST_CPU");
    const uint32_t kKnown = 0x80000000, kSse2 = 1, kPclmul = 2;
    if (level && !std::strcmp(level, "generic")) libdeflate_x86_cpu_features = kKnown;
    if (level && !std::strcmp(level, "sse2"))
      libdeflate_x86_cpu_features = kKnown | kSse2 | kPclmul;
  }
};
[[maybe_unused]] const auto* const g_features =
    ::testing::AddGlobalTestEnvironment(new CpuFeatures);

TEST(Backends, TheCatalogueNamesWhoseCodeRuns) {
  // The entries that kept the library's code name it; the others are listed here.
  for (UINT entry = 0; entry < kAlgorithmCount; ++entry) {
    ASSERT_NE(nullptr, fast_digests::DigestLibrary(entry));
  }
  EXPECT_EQ(nullptr, fast_digests::DigestLibrary(kAlgorithmCount));
  EXPECT_STREQ("libdeflate", fast_digests::DigestLibrary(kAlgorithmCRC32));
  EXPECT_STREQ("libdeflate", fast_digests::DigestLibrary(kAlgorithmAdler32));
  EXPECT_STREQ("Crypto++", fast_digests::DigestLibrary(kAlgorithmTiger));
  EXPECT_FALSE(Backends().empty());
}

TEST(Backends, EveryLengthUpTo300) {
  const std::string data = Random(300, 1);
  for (size_t n = 0; n <= 300; ++n) {
    ExpectSameEverywhere(data.substr(0, n), 0, "length " + std::to_string(n));
    // Fed in odd pieces: the partial-block paths.
    ExpectSameEverywhere(data.substr(0, n), 7, "length " + std::to_string(n) + " by 7");
  }
}

TEST(Backends, ChunkAndViewBoundaries) {
  // A file job hands the digest one chunk at a time, kChunksPerRead chunks per view.
  const size_t kChunk = Hasher::kChunkSize;
  const size_t kView = kChunk * ChunkPipeline::kChunksPerRead;
  const std::string data = Random(kView + kChunk + 1, 2);
  for (size_t n : {kChunk - 1, kChunk, kChunk + 1, kView - 1, kView, kView + 1, kView + kChunk + 1})
    ExpectSameEverywhere(data.substr(0, n), kChunk, "length " + std::to_string(n) + " by chunks");
}

TEST(Backends, SixtyFourMiBOfRandomBytes) {
  const std::string data = Random(64 << 20, 3);
  ExpectSameEverywhere(data, 0, "64 MiB at once");
  ExpectSameEverywhere(data, 1000003, "64 MiB in pieces of 1000003");
}

TEST(Backends, KeyedAroundTheBlock) {
  const std::string data = Random(1000, 4);
  for (const Backend& b : Backends()) {
    if (!OffersHmac(b.nEntry)) continue;
    const std::string name = CatalogueEntryAt(b.nEntry)->pszName;
    for (size_t nKey : {size_t(1), size_t(b.nBlock - 1), size_t(b.nBlock), size_t(b.nBlock + 1),
                        size_t(2 * b.nBlock)}) {
      const std::string key = Random(nKey, unsigned(nKey));
      for (size_t n : {size_t(0), size_t(1), size_t(b.nBlock), size_t(1000)}) {
        EXPECT_EQ(b.pfnReference(data.substr(0, n), 0, key, 1),
                  b.pfnFast(data.substr(0, n), 0, key, 1))
            << name << " key " << nKey << " length " << n;
      }
      // The flag without a key, or a key without the flag, is the plain digest.
      EXPECT_EQ(b.pfnReference(data, 0, "", 0), b.pfnFast(data, 0, "", 1)) << name;
      EXPECT_EQ(b.pfnReference(data, 0, "", 0), b.pfnFast(data, 0, key, 0)) << name;
    }
  }
}

#if VEXORIN_WITH_OPENSSL
// OpenSSL reads its feature table on every call: each path this processor
// has is taken in turn, from all features down to plain integer code.
TEST(Backends, EveryOpenSslPathAgrees) {
  fast_digests::EnsureCpuFeatures();
  unsigned saved[4];
  std::memcpy(saved, OPENSSL_ia32cap_P, sizeof saved);
  struct Level {
    const char* pszName;
    unsigned clear[4];
  };
  const unsigned kSha = 1u << 29, kAvx2 = 1u << 5, kBmi = (1u << 3) | (1u << 8);
  const unsigned kAvx = 1u << 28, kXop = 1u << 11, kSsse3 = 1u << 9;
  const unsigned kSse2 = 1u << 26, kMmx = 1u << 23, kFxsr = 1u << 24;
  // clang-format off
  const Level levels[] = {
      {"all features",       {0, 0, 0, 0}},
      {"no SHA extensions",  {0, 0, kSha, 0}},
      {"no AVX2",            {0, 0, kSha | kAvx2 | kBmi, 0}},
      {"no AVX, XOP",        {0, kAvx | kXop, kSha | kAvx2 | kBmi, 0}},
      {"no SSSE3",           {0, kAvx | kXop | kSsse3, kSha | kAvx2 | kBmi, 0}},
      {"integer code only",  {kSse2 | kMmx | kFxsr, ~0u, ~0u, ~0u}},
  };
  // clang-format on
  const std::string data = Random(Hasher::kChunkSize + 300, 5);
  for (const Level& level : levels) {
    for (int i = 0; i < 4; ++i) OPENSSL_ia32cap_P[i] = saved[i] & ~level.clear[i];
    for (size_t n :
         {size_t(0), size_t(55), size_t(64), size_t(111), size_t(128), size_t(300), data.size()})
      ExpectSameEverywhere(data.substr(0, n), 0,
                           std::string(level.pszName) + ", length " + std::to_string(n));
    ExpectSameEverywhere(data, 333, std::string(level.pszName) + ", in pieces");
  }
  std::memcpy(OPENSSL_ia32cap_P, saved, sizeof saved);
}
#endif

}  // namespace
