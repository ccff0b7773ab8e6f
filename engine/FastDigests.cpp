#include "engine/FastDigests.h"

#include "engine/Catalogue.h"
#include "engine/DigestForms.h"

namespace fast_digests {

void EnsureCpuFeatures() {
#if VEXORIN_WITH_OPENSSL
  static const bool bReady = (OPENSSL_cpuid_setup(), true);
  (void)bReady;
#endif
}

#define VEXORIN_LIBRARY_ENTRY(TEXT, NAME, BYTES, DIGEST) \
  case kAlgorithm##NAME:                                 \
    return LibraryOf<digest_forms::DIGEST::Hash>();
const char* DigestLibrary(unsigned nAlgorithm) {
  using namespace digest_forms;
  switch (nAlgorithm) {
    VEXORIN_CATALOGUE(VEXORIN_LIBRARY_ENTRY, VEXORIN_LIBRARY_ENTRY)
    default:
      return nullptr;
  }
}
#undef VEXORIN_LIBRARY_ENTRY

}  // namespace fast_digests
