#pragma once

#include <windows.h>

#include <atomic>
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

  const UINT m_nAlgorithm;
  DWORD m_dwError = 0;
  std::atomic<int> m_bStop{0};  // read afresh before every chunk

  // ... per-algorithm members (HashStringMD5, HashFileSHA256, ...) follow.
};
