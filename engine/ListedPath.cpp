#include "engine/ListedPath.h"

#include <cstring>
#include <vector>

#include "engine/Utf8.h"

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The names the system opens as devices in any folder, with any extension.
bool IsDeviceName(const std::string& segment) {
  // The system looks at the part before the first dot, trailing spaces
  // and dots dropped.
  std::string base = segment.substr(0, segment.find('.'));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  for (char& c : base) c = Upper(c);
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
  for (const char* pszDevice : kDevices)
    if (base == pszDevice) return true;
  if (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0) return false;
  const std::string number = base.substr(3);
  // COM0-COM9 and LPT0-LPT9, and the superscript 1, 2 and 3 (U+00B9,
  // U+00B2, U+00B3) that the system takes as those digits.
  if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
  return number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

ListedPath Refused(const char* pszRule) {
  ListedPath refused;
  refused.bRefused = true;
  refused.strRule = pszRule;
  return refused;
}

}  // namespace

ListedPath ResolveListedPath(const std::string& folder, const std::string& name) {
  if (!IsValidUtf8(name)) return Refused("A name that is not valid UTF-8 is never opened");
  for (char c : name)
    if (IsControl(static_cast<unsigned char>(c)))
      return Refused("A name with a control character is never opened");
  if (name.empty()) return Refused("An empty name is never opened");
  if (name.size() >= 2 && IsSeparator(name[0]) && IsSeparator(name[1])) {
    if (name.size() >= 3 && (name[2] == '?' || name[2] == '.'))
      return Refused("A device path (\\\\?\\, \\\\.\\) is never opened");
    return Refused("A network path (\\\\server\\share) is never opened");
  }
  const char c0 = Upper(name[0]);
  if (name.size() >= 2 && c0 >= 'A' && c0 <= 'Z' && name[1] == ':')
    return Refused("A path with a drive (C:) is never opened");
  if (IsSeparator(name[0])) return Refused("An absolute path is never opened");
  if (name.find(':') != std::string::npos)
    return Refused("An alternate data stream (name:stream) is never opened");
  if (name.find_first_of("<>\"|?*") != std::string::npos)
    return Refused("A name with < > \" | ? or * is never opened");

  std::vector<std::string> segments;
  size_t at = 0;
  while (true) {
    size_t end = at;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string segment = name.substr(at, end - at);
    if (segment.empty()) return Refused("A name with an empty segment (a//b, a/) is never opened");
    if (segment == "..") {
      if (segments.empty())
        return Refused("A path whose .. leaves the checksum file's folder is never opened");
      segments.pop_back();
    } else if (segment != ".") {
      if (segment.back() == '.' || segment.back() == ' ')
        return Refused("A name that ends in a dot or a space is never opened");
      if (IsDeviceName(segment))
        return Refused("A device name (CON, NUL, AUX, PRN, COM1, LPT1, ...) is never opened");
      segments.push_back(segment);
    }
    if (end == name.size()) break;
    at = end + 1;
  }
  if (segments.empty()) return Refused("A name of the folder itself is never opened");

  ListedPath listed;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (i != 0) listed.strName += '\\';
    listed.strName += segments[i];
  }
  std::string base = folder;
  while (!base.empty() && IsSeparator(base.back())) base.pop_back();
  listed.strFullPath = base + "\\" + listed.strName;
  return listed;
}

std::string ShownName(const std::string& name, size_t nMaxBytes) {
  std::string shown;
  for (size_t i = 0; i < name.size();) {
    size_t n = Utf8SequenceLength(name, i);
    const bool bGood = n != 0 && !(n == 1 && IsControl(static_cast<unsigned char>(name[i])));
    const size_t nAdded = bGood ? n : 3;
    if (shown.size() + nAdded > nMaxBytes) return shown + "...";
    if (bGood) {
      shown.append(name, i, n);
    } else {
      shown += kReplacement;
      n = n == 0 ? 1 : n;
    }
    i += n;
  }
  return shown;
}
