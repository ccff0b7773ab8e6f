#include "fileio/LongPath.h"

#include <cstring>
#include <vector>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveAbsolute(const std::string& path) {
  const char c = path.size() >= 3 ? path[0] : '\0';
  return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':' &&
         IsSeparator(path[2]);
}

bool IsUnc(const std::string& path) {
  return path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

bool IsDevicePath(const std::string& path) {
  return path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
         (path[2] == '?' || path[2] == '.') && IsSeparator(path[3]);
}

// The segments of rest, with "." dropped and ".." applied; the first
// nKept segments (a share's server and name) are never removed.
std::string Normalise(const std::string& rest, size_t nKept) {
  std::vector<std::string> segments;
  size_t pos = 0;
  while (pos <= rest.size()) {
    size_t end = pos;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::string segment = rest.substr(pos, end - pos);
    if (segment == "..") {
      if (segments.size() > nKept) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    pos = end + 1;
  }
  std::string joined;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i != 0) joined += '\\';
    joined += segments[i];
  }
  // A path that named a folder keeps its closing separator.
  if (!rest.empty() && IsSeparator(rest.back()) && !joined.empty()) joined += '\\';
  return joined;
}

}  // namespace

std::string ExtendedLengthPath(const std::string& path) {
  if (path.size() < MAX_PATH || IsDevicePath(path)) return path;
  if (IsDriveAbsolute(path))
    return "\\\\?\\" + path.substr(0, 2) + "\\" + Normalise(path.substr(3), 0);
  if (IsUnc(path)) return "\\\\?\\UNC\\" + Normalise(path.substr(2), 2);
  return path;
}

std::wstring WideExtendedLengthPath(const std::string& path) {
  const std::string extended = ExtendedLengthPath(path);
  if (extended.empty()) return std::wstring();
  const int nLength = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, extended.data(),
                                            (int)extended.size(), nullptr, 0);
  std::wstring wide(nLength > 0 ? nLength : 0, L'\0');
  if (nLength > 0)
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, extended.data(), (int)extended.size(),
                          &wide[0], nLength);
  return wide;
}

HANDLE CreateFileAnyLength(const char* path, DWORD dwAccess, DWORD dwShare, DWORD dwDisposition,
                           DWORD dwFlags) {
  if (path == nullptr || std::strlen(path) < MAX_PATH)
    return ::CreateFileA(path, dwAccess, dwShare, nullptr, dwDisposition, dwFlags, nullptr);
  return ::CreateFileW(WideExtendedLengthPath(path).c_str(), dwAccess, dwShare, nullptr,
                       dwDisposition, dwFlags, nullptr);
}

DWORD GetFileAttributesAnyLength(const char* path) {
  if (path == nullptr || std::strlen(path) < MAX_PATH) return ::GetFileAttributesA(path);
  return ::GetFileAttributesW(WideExtendedLengthPath(path).c_str());
}

std::string NarrowFromWide(const wchar_t* pszText, int nLength) {
  const int nBytes =
      ::WideCharToMultiByte(CP_ACP, 0, pszText, nLength, nullptr, 0, nullptr, nullptr);
  std::string text(nBytes > 0 ? nBytes : 0, '\0');
  if (nBytes > 0)
    ::WideCharToMultiByte(CP_ACP, 0, pszText, nLength, &text[0], nBytes, nullptr, nullptr);
  if (nLength < 0 && !text.empty()) text.pop_back();  // the terminating zero
  return text;
}

bool IsFolderPath(const std::string& path) {
  const DWORD dwAttributes = GetFileAttributesAnyLength(path.c_str());
  return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
