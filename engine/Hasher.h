#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/ProgressCallback.h"

class DigestObject;

// The engine object: one algorithm index of the catalogue (Catalogue.h), the
// Windows error code of the last failed file run, and the stop flag that
// the user-interface thread sets while a file run is under way.
class Hasher {
 public:
  explicit Hasher(UINT nAlgorithm);
  virtual ~Hasher();

  // Digest of a byte string as hexadecimal text; empty outside the catalogue.
  std::string HashString(const std::string& text, const std::string& key, int hmac, int upper);

  // Digest of a whole file; empty when the file could not be hashed (see
  // ErrorCode) or the run was stopped (m_bStop set).
  std::string HashFile(const char* path, std::string key, int hmac, int upper,
                       ProgressCallback progress);

  // The digests of several entries of one file from a single read, in the
  // order of entries: each chunk is read once and fed to every entry's
  // digest, each on its own thread. A report per chunk once all have been
  // fed it; the stop flag read before each chunk. All texts empty when the
  // file could not be hashed (see ErrorCode), the run was stopped, or an
  // index is outside the catalogue (ERROR_INVALID_PARAMETER).
  std::vector<std::string> HashFileMany(const char* path, const std::string& key, int hmac,
                                        int upper, const std::vector<UINT>& entries,
                                        ProgressCallback progress);

  // The digests of several entries of a byte string, in the order of entries.
  static std::vector<std::string> HashStringMany(const std::string& text, const std::string& key,
                                                 int hmac, int upper,
                                                 const std::vector<UINT>& entries);

  DWORD ErrorCode() const { return m_dwError; }

  // Hexadecimal text of a digest, two digits a byte in buffer order.
  static std::string DigestToHex(const BYTE* pDigest, size_t nLength, int upper);
  // Text of a 4-byte CRC32 digest, most significant byte first.
  static std::string Crc32ToHex(const BYTE* pDigest, int upper);
  // Percentage for a progress report: position / (size / 100), 100 for tiny files.
  static DWORD ProgressPercent(ULONGLONG qwSize, ULONGLONG qwPosition);

  // Test seam: creation of the digest threads of HashFileMany (CreateThread
  // in the program); where one cannot be made its digest is fed in line.
  static HANDLE(WINAPI* s_pfnCreateDigestThread)(LPSECURITY_ATTRIBUTES, SIZE_T,
                                                 LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);

  static const DWORD kChunkSize = 1048576;

  const UINT m_nAlgorithm;
  DWORD m_dwError = 0;
  std::atomic<int> m_bStop{0};  // read afresh before every chunk
  // A caller's stop flag (a job's stop request), read beside m_bStop before
  // every chunk. No run clears it, so a stop stored in it before the run
  // began still stops the run.
  const std::atomic<int>* m_pOuterStop = nullptr;

  // One member per catalogue entry, declared from the catalogue's list:
  // HashStringCRC32 .. HashStringSHA3_512 and HashFileCRC32 .. HashFileSHA3_512.
  // Entries without HMAC are not given the flag. The key and text are taken
  // by reference: only the SHA3 HMAC changes anything (its key, when hashing
  // a long one), and it makes its own copy of the key for that, so a long
  // text is never copied.
#define VEXORIN_DECLARE_CHECKSUM(TEXT, NAME, BYTES, DIGEST)                                 \
  std::string HashString##NAME(const std::string& text, const std::string& key, int upper); \
  std::string HashFile##NAME(const char* path, const std::string& key, int upper,           \
                             ProgressCallback progress);
#define VEXORIN_DECLARE_KEYED(TEXT, NAME, BYTES, DIGEST)                                    \
  std::string HashString##NAME(const std::string& text, const std::string& key, int hmac,   \
                               int upper);                                                  \
  std::string HashFile##NAME(const char* path, const std::string& key, int hmac, int upper, \
                             ProgressCallback progress);
  VEXORIN_CATALOGUE(VEXORIN_DECLARE_CHECKSUM, VEXORIN_DECLARE_KEYED)
#undef VEXORIN_DECLARE_CHECKSUM
#undef VEXORIN_DECLARE_KEYED

 private:
  void NotifyProgress(const ProgressCallback& progress, DWORD dwPercent);
  bool StopAsked() const {
    return m_bStop.load() != 0 || (m_pOuterStop != nullptr && m_pOuterStop->load() != 0);
  }

  // The one read of a file behind HashFile and HashFileMany: each chunk fed
  // to every digest, the first on this thread and the others each on a
  // thread of its own, a report per chunk once all have been fed it, and a
  // file cut short failing the run. The texts of the digests in order; all
  // empty when the file could not be hashed (see ErrorCode) or the run was
  // stopped. With bLastReportStops a stop stored while the last reports
  // were made still stops the run (the threads' reports may come after the
  // last chunk); without it a run whose loop has ended keeps its digest.
  std::vector<std::string> ReadDigests(const char* path, const std::vector<DigestObject*>& digests,
                                       int upper, const ProgressCallback& progress,
                                       bool bLastReportStops);

  template <class Digest>
  std::string HashStringWith(const std::string& text, const std::string& key, int hmac, int upper);
  template <class Digest>
  std::string HashFileWith(const char* path, const std::string& key, int hmac, int upper,
                           const ProgressCallback& progress);
};
