#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "engine/ProgressCallback.h"

// The engine object: one algorithm index of the catalogue (0..20), the
// Windows error code of the last failed file run, and the stop flag that
// the user-interface thread sets while a file run is under way.
class Hasher {
 public:
  explicit Hasher(UINT nAlgorithm);
  virtual ~Hasher();

  // Digest of a byte string as hexadecimal text; empty for an index above 20.
  std::string HashString(const std::string& text, const std::string& key, int hmac, int upper);

  // Digest of a whole file; empty when the file could not be hashed (see
  // ErrorCode) or the run was stopped (m_bStop set).
  std::string HashFile(const char* path, std::string key, int hmac, int upper,
                       ProgressCallback progress);

  DWORD ErrorCode() const { return m_dwError; }

  // Hexadecimal text of a digest, two digits a byte in buffer order.
  static std::string DigestToHex(const BYTE* pDigest, size_t nLength, int upper);
  // Text of a 4-byte CRC32 digest, most significant byte first.
  static std::string Crc32ToHex(const BYTE* pDigest, int upper);
  // Percentage for a progress report: position / (size / 100), 100 for tiny files.
  static DWORD ProgressPercent(ULONGLONG qwSize, ULONGLONG qwPosition);

  // Test seam: allocation of the chunk buffer (HeapAlloc of the process heap
  // in the program; the buffer is always freed with HeapFree).
  static void* (*s_pfnAllocateChunk)(SIZE_T nBytes);

  static const DWORD kChunkSize = 1048576;

  const UINT m_nAlgorithm;
  DWORD m_dwError = 0;
  std::atomic<int> m_bStop{0};  // read afresh before every chunk

  // One member per catalogue entry. The key and text are taken by reference:
  // only the SHA3 HMAC changes anything (its key, when hashing a long one), and
  // it makes its own copy of the key for that, so a long text is never copied.
  std::string HashStringCRC32(const std::string& text, const std::string& key, int upper);
  std::string HashStringAdler32(const std::string& text, const std::string& key, int upper);
  std::string HashStringTiger(const std::string& text, const std::string& key, int hmac, int upper);
  std::string HashStringPanama(const std::string& text, const std::string& key, int hmac,
                               int upper);
  std::string HashStringWhirlpool(const std::string& text, const std::string& key, int hmac,
                                  int upper);
  std::string HashStringMD2(const std::string& text, const std::string& key, int hmac, int upper);
  std::string HashStringMD4(const std::string& text, const std::string& key, int hmac, int upper);
  std::string HashStringMD5(const std::string& text, const std::string& key, int hmac, int upper);
  std::string HashStringRIPEMD128(const std::string& text, const std::string& key, int hmac,
                                  int upper);
  std::string HashStringRIPEMD160(const std::string& text, const std::string& key, int hmac,
                                  int upper);
  std::string HashStringRIPEMD256(const std::string& text, const std::string& key, int hmac,
                                  int upper);
  std::string HashStringRIPEMD320(const std::string& text, const std::string& key, int hmac,
                                  int upper);
  std::string HashStringSHA1(const std::string& text, const std::string& key, int hmac, int upper);
  std::string HashStringSHA224(const std::string& text, const std::string& key, int hmac,
                               int upper);
  std::string HashStringSHA256(const std::string& text, const std::string& key, int hmac,
                               int upper);
  std::string HashStringSHA384(const std::string& text, const std::string& key, int hmac,
                               int upper);
  std::string HashStringSHA512(const std::string& text, const std::string& key, int hmac,
                               int upper);
  std::string HashStringSHA3_224(const std::string& text, const std::string& key, int hmac,
                                 int upper);
  std::string HashStringSHA3_256(const std::string& text, const std::string& key, int hmac,
                                 int upper);
  std::string HashStringSHA3_384(const std::string& text, const std::string& key, int hmac,
                                 int upper);
  std::string HashStringSHA3_512(const std::string& text, const std::string& key, int hmac,
                                 int upper);

  std::string HashFileCRC32(const char* path, const std::string& key, int upper,
                            ProgressCallback progress);
  std::string HashFileAdler32(const char* path, const std::string& key, int upper,
                              ProgressCallback progress);
  std::string HashFileTiger(const char* path, const std::string& key, int hmac, int upper,
                            ProgressCallback progress);
  std::string HashFilePanama(const char* path, const std::string& key, int hmac, int upper,
                             ProgressCallback progress);
  std::string HashFileWhirlpool(const char* path, const std::string& key, int hmac, int upper,
                                ProgressCallback progress);
  std::string HashFileMD2(const char* path, const std::string& key, int hmac, int upper,
                          ProgressCallback progress);
  std::string HashFileMD4(const char* path, const std::string& key, int hmac, int upper,
                          ProgressCallback progress);
  std::string HashFileMD5(const char* path, const std::string& key, int hmac, int upper,
                          ProgressCallback progress);
  std::string HashFileRIPEMD128(const char* path, const std::string& key, int hmac, int upper,
                                ProgressCallback progress);
  std::string HashFileRIPEMD160(const char* path, const std::string& key, int hmac, int upper,
                                ProgressCallback progress);
  std::string HashFileRIPEMD256(const char* path, const std::string& key, int hmac, int upper,
                                ProgressCallback progress);
  std::string HashFileRIPEMD320(const char* path, const std::string& key, int hmac, int upper,
                                ProgressCallback progress);
  std::string HashFileSHA1(const char* path, const std::string& key, int hmac, int upper,
                           ProgressCallback progress);
  std::string HashFileSHA224(const char* path, const std::string& key, int hmac, int upper,
                             ProgressCallback progress);
  std::string HashFileSHA256(const char* path, const std::string& key, int hmac, int upper,
                             ProgressCallback progress);
  std::string HashFileSHA384(const char* path, const std::string& key, int hmac, int upper,
                             ProgressCallback progress);
  std::string HashFileSHA512(const char* path, const std::string& key, int hmac, int upper,
                             ProgressCallback progress);
  std::string HashFileSHA3_224(const char* path, const std::string& key, int hmac, int upper,
                               ProgressCallback progress);
  std::string HashFileSHA3_256(const char* path, const std::string& key, int hmac, int upper,
                               ProgressCallback progress);
  std::string HashFileSHA3_384(const char* path, const std::string& key, int hmac, int upper,
                               ProgressCallback progress);
  std::string HashFileSHA3_512(const char* path, const std::string& key, int hmac, int upper,
                               ProgressCallback progress);

 private:
  void NotifyProgress(const ProgressCallback& progress, DWORD dwPercent);

  template <class Digest>
  std::string HashStringWith(const std::string& text, const std::string& key, int hmac, int upper);
  template <class Digest>
  std::string HashFileWith(const char* path, const std::string& key, int hmac, int upper,
                           const ProgressCallback& progress);
};
