#include "engine/Utf8.h"

size_t Utf8SequenceLength(const std::string& s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  size_t n;
  unsigned int value;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    value = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    value = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    value = c & 0x07;
  } else {
    return 0;
  }
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char t = static_cast<unsigned char>(s[i + k]);
    if ((t & 0xC0) != 0x80) return 0;
    value = (value << 6) | (t & 0x3F);
  }
  if (n == 3 && (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF))) return 0;
  if (n == 4 && (value < 0x10000 || value > 0x10FFFF)) return 0;
  return n;
}

bool IsValidUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = Utf8SequenceLength(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

void AppendUtf8(std::string* pOut, unsigned int cp) {
  if (cp < 0x80) {
    *pOut += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *pOut += static_cast<char>(0xC0 | (cp >> 6));
    *pOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *pOut += static_cast<char>(0xE0 | (cp >> 12));
    *pOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *pOut += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *pOut += static_cast<char>(0xF0 | (cp >> 18));
    *pOut += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *pOut += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *pOut += static_cast<char>(0x80 | (cp & 0x3F));
  }
}
