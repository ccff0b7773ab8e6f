#include "engine/Sidecar.h"

#include "engine/ChecksumPlan.h"
#include "engine/FolderWalk.h"
#include "engine/LineStream.h"
#include "engine/ListedPath.h"

namespace {

// Where a text with a NUL byte counts as binary.
const size_t kBinaryProbeBytes = 4096;

bool IsBlankOrComment(const std::string& line) {
  const size_t at = line.find_first_not_of(" \t\v\f");
  return at == std::string::npos || line[at] == '#' || line[at] == ';';
}

// The first line of the file at path that names fileName (bBare: a line of
// a bare digest does too).
SidecarLine FirstLineNaming(const std::string& path, const std::string& folder,
                            const std::string& fileName, bool bBare) {
  SidecarLine found;
  LineStream stream;
  if (!stream.Open(path)) return found;
  std::string line;
  bool bTooLong = false;
  size_t nSeen = 0;
  while (stream.BytesRead() <= kMaxSidecarBytes && stream.Next(&line, &bTooLong)) {
    if (nSeen < kBinaryProbeBytes && line.find('\0') != std::string::npos) return found;
    nSeen += line.size() + 1;
    ExpectedDigest digest;
    if (bTooLong || IsBlankOrComment(line) || !ParseChecksumLine(line, 0, &digest)) continue;
    bool bNames = bBare && digest.strName.empty();
    if (!digest.strName.empty()) {
      const ListedPath listed = ResolveListedPath(folder, digest.strName);
      bNames = !listed.bRefused && SamePathName(listed.strName, fileName);
    }
    if (!bNames) continue;
    found.bFound = true;
    found.strLine = line;
    found.strSource = path;
    found.nLine = stream.LineNumber();
    return found;
  }
  return found;
}

}  // namespace

SidecarLine FindSidecarLine(const std::string& filePath) {
  const size_t slash = filePath.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : filePath.substr(0, slash);
  const std::string fileName = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
  static const char* const kBeside[] = {".sha256", ".sha512", ".sha1", ".md5", ".sfv", ".b2"};
  for (const char* pszExtension : kBeside) {
    const SidecarLine line = FirstLineNaming(filePath + pszExtension, folder, fileName, true);
    if (line.bFound) return line;
  }
  static const char* const kSums[] = {"SHA256SUMS", "SHA512SUMS", "SHA1SUMS", "MD5SUMS", "B2SUMS"};
  for (const char* pszSums : kSums) {
    const std::string path = folder.empty() ? pszSums : folder + "\\" + pszSums;
    const SidecarLine line = FirstLineNaming(path, folder, fileName, false);
    if (line.bFound) return line;
  }
  return SidecarLine();
}
