#pragma once

#include <windows.h>

#include <memory>
#include <string>

// One entry's digest, set up with the key and flag, fed in pieces, read
// once: what lets a run hold the digests of several entries at a time.
class DigestObject {
 public:
  virtual ~DigestObject() {}
  virtual void Update(const BYTE* pData, size_t nLength) = 0;
  // The digest as the entry prints it; call once, after the last Update.
  virtual std::string Final(int upper) = 0;
};

// The digest object of entry nAlgorithm; null outside the catalogue.
std::unique_ptr<DigestObject> MakeDigestObject(UINT nAlgorithm, const std::string& key, int hmac);
