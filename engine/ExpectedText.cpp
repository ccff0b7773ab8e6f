#include "engine/ExpectedText.h"

#include <algorithm>
#include <cstring>

namespace {

// What a tooltip shows of a long line.
const size_t kShownLine = 100;

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAllHex(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsHexDigit);
}

// Spaces, tabs and the no-break space of pasted web text (UTF-8 or ANSI).
bool IsBlank(const std::string& s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == 0xA0;
}

// A UTF-8 no-break space is C2 A0: its lead byte goes with it.
bool IsNbspLead(const std::string& s, size_t i) {
  return static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < s.size() &&
         static_cast<unsigned char>(s[i + 1]) == 0xA0;
}

std::string Trim(const std::string& s) {
  size_t begin = 0, end = s.size();
  while (begin < end && (IsBlank(s, begin) || IsNbspLead(s, begin))) ++begin;
  while (end > begin && IsBlank(s, end - 1)) {
    --end;
    if (end > begin && static_cast<unsigned char>(s[end]) == 0xA0 && IsNbspLead(s, end - 1)) --end;
  }
  return s.substr(begin, end - begin);
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A tag or list text in capitals without dashes, underscores and spaces:
// "SHA2-256" and "sha2_256" both become "SHA2256".
std::string TagKey(const std::string& tag) {
  std::string key;
  for (char c : tag)
    if (c != '-' && c != '_' && c != ' ') key += Upper(c);
  return key;
}

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  const size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (Upper(s[i]) != Upper(prefix[i])) return false;
  return true;
}

// The entry a tag chooses, kAlgorithmCount when none. The spellings tools
// print that differ from the list texts come first: the list's "SHA3"
// entries are the original Keccak, while a SHA3 tag names the standard.
UINT EntryOfTag(const std::string& tag) {
  static const struct {
    const char* pszKey;
    UINT nAlgorithm;
  } kSpellings[] = {
      {"SHA224", kAlgorithmSHA224},         {"SHA256", kAlgorithmSHA256},
      {"SHA384", kAlgorithmSHA384},         {"SHA512", kAlgorithmSHA512},
      {"RMD128", kAlgorithmRIPEMD128},      {"RMD160", kAlgorithmRIPEMD160},
      {"RMD256", kAlgorithmRIPEMD256},      {"RMD320", kAlgorithmRIPEMD320},
      {"SHA3224", kAlgorithmFIPS_SHA3_224}, {"SHA3256", kAlgorithmFIPS_SHA3_256},
      {"SHA3384", kAlgorithmFIPS_SHA3_384}, {"SHA3512", kAlgorithmFIPS_SHA3_512},
      {"KECCAK224", kAlgorithmSHA3_224},    {"KECCAK256", kAlgorithmSHA3_256},
      {"KECCAK384", kAlgorithmSHA3_384},    {"KECCAK512", kAlgorithmSHA3_512},
      {"BLAKE2B", kAlgorithmBLAKE2b512},    {"BLAKE2S", kAlgorithmBLAKE2s256},
  };
  const std::string key = TagKey(tag);
  if (key.empty()) return kAlgorithmCount;
  for (const auto& spelling : kSpellings)
    if (key == spelling.pszKey) return spelling.nAlgorithm;
  for (UINT nAlgorithm = 0; nAlgorithm < kAlgorithmCount; ++nAlgorithm)
    if (key == TagKey(CatalogueEntryAt(nAlgorithm)->pszName)) return nAlgorithm;
  return kAlgorithmCount;
}

// A tag is a short word: letters, digits, dashes, underscores, slashes.
bool LooksLikeTag(const std::string& tag) {
  if (tag.empty() || tag.size() > 24) return false;
  for (char c : tag) {
    const bool bWordChar = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '/';
    if (!bWordChar) return false;
  }
  return true;
}

// The hex digits of a digest that a line prints, possibly in spaced pairs.
std::string DigitsOf(const std::string& text) { return NormaliseExpectedDigest(text); }

std::string Shown(const std::string& line) {
  if (line.size() <= kShownLine) return line;
  return line.substr(0, kShownLine) + "...";
}

// The lines of a checksum text, one at a time, without CR and LF.
class LineReader {
 public:
  explicit LineReader(const std::string& text) : m_text(text) {
    if (m_text.compare(0, 3, "\xEF\xBB\xBF") == 0) m_nAt = 3;
  }
  bool Next(std::string* pLine) {
    if (m_nAt >= m_text.size()) return false;
    size_t end = m_text.find('\n', m_nAt);
    if (end == std::string::npos) end = m_text.size();
    size_t stop = end;
    if (stop > m_nAt && m_text[stop - 1] == '\r') --stop;
    pLine->assign(m_text, m_nAt, stop - m_nAt);
    m_nAt = end + 1;
    ++m_nLine;
    return true;
  }
  size_t LineNumber() const { return m_nLine; }

 private:
  const std::string& m_text;
  size_t m_nAt = 0;
  size_t m_nLine = 0;
};

// The parser's state across lines: a certutil header waits for its digest,
// a Get-FileHash list or table gathers its fields.
class Parser {
 public:
  explicit Parser(ExpectedText* pOut) : m_out(*pOut) {}

  void Line(const std::string& raw, size_t nLine) {
    const std::string line = Trim(raw);
    m_nLine = nLine;
    m_strRaw = raw;
    if (line.empty()) {
      FlushRecord();
      return;
    }
    if (line[0] == ';' || line[0] == '#') return;  // SFV and shell comments
    if (StartsWithNoCase(line, "CertUtil:")) return;
    if (CertutilHeader(line) || CertutilDigest(line)) return;
    if (ListField(line) || TableLine(line)) return;
    if (TagLine(line) || GnuLine(line) || SfvLine(line) || BareLine(line)) return;
    ++m_nUnknown;
  }

  void End() { FlushRecord(); }

  size_t Unknown() const { return m_nUnknown; }

 private:
  void Add(const std::string& digits, const std::string& name, const std::string& tag, size_t nLine,
           const std::string& line) {
    ExpectedDigest digest;
    digest.strDigits = digits;
    digest.strName = name;
    digest.strTag = tag;
    digest.nAlgorithm = tag.empty() ? kAlgorithmCount : EntryOfTag(tag);
    digest.nLine = nLine;
    digest.strLine = Shown(Trim(line));
    m_out.digests.push_back(digest);
  }

  // "SHA256 hash of C:\path\file.iso:"
  bool CertutilHeader(const std::string& line) {
    if (line.back() != ':') return false;
    const size_t at = line.find(' ');
    if (at == std::string::npos || !StartsWithNoCase(line.substr(at), " hash of ")) return false;
    const std::string tag = line.substr(0, at);
    if (!LooksLikeTag(tag)) return false;
    m_strPendingTag = tag;
    m_strPendingName = line.substr(at + 9, line.size() - at - 10);
    m_nPendingLine = m_nLine;
    m_strPendingLine = line;
    return true;
  }

  bool CertutilDigest(const std::string& line) {
    if (m_strPendingTag.empty()) return false;
    const std::string digits = DigitsOf(line);
    const std::string tag = m_strPendingTag;
    m_strPendingTag.clear();
    if (!IsAllHex(digits)) return false;
    Add(digits, m_strPendingName, tag, m_nPendingLine, m_strPendingLine + " " + line);
    return true;
  }

  // "Algorithm : SHA256", "Hash : E3B0...", "Path : C:\file.iso"
  bool ListField(const std::string& line) {
    static const char* const kFields[] = {"Algorithm", "Hash", "Path"};
    for (int i = 0; i < 3; ++i) {
      const size_t n = std::strlen(kFields[i]);
      if (!StartsWithNoCase(line, kFields[i])) continue;
      const std::string rest = Trim(line.substr(n));
      if (rest.empty() || rest[0] != ':') continue;
      if (i == 0 && !m_record[1].empty()) FlushRecord();
      m_record[i] = Trim(rest.substr(1));
      if (m_nRecordLine == 0) m_nRecordLine = m_nLine;
      return true;
    }
    return false;
  }

  // "Algorithm       Hash        Path", then a line of dashes, then rows.
  bool TableLine(const std::string& line) {
    if (StartsWithNoCase(line, "Algorithm ") && line.find(" Hash") != std::string::npos) {
      m_bTableHeader = true;
      return true;
    }
    if (m_bTableHeader && line[0] == '-') {
      m_bTable = line.find_first_not_of("- \t") == std::string::npos;
      m_bTableHeader = false;
      return m_bTable;
    }
    if (!m_bTable) return false;
    const size_t tagEnd = line.find_first_of(" \t");
    if (tagEnd == std::string::npos) return false;
    const std::string tag = line.substr(0, tagEnd);
    std::string rest = Trim(line.substr(tagEnd));
    const size_t hashEnd = rest.find_first_of(" \t");
    const std::string hash = rest.substr(0, hashEnd);
    if (!LooksLikeTag(tag) || !IsAllHex(hash)) return false;
    const std::string path =
        hashEnd == std::string::npos ? std::string() : Trim(rest.substr(hashEnd));
    Add(hash, path, tag, m_nLine, m_strRaw);
    return true;
  }

  void FlushRecord() {
    if (!m_record[1].empty()) {
      const std::string digits = DigitsOf(m_record[1]);
      Add(digits, m_record[2], m_record[0].empty() ? std::string() : m_record[0], m_nRecordLine,
          "Hash : " + m_record[1] + (m_record[2].empty() ? "" : ", Path : " + m_record[2]));
    }
    for (std::string& field : m_record) field.clear();
    m_nRecordLine = 0;
  }

  // "SHA256 (name) = digest" and "SHA2-256(name)= digest": the digest
  // follows the last ") = " or ")= ", since names may hold both.
  bool TagLine(const std::string& line) {
    const size_t open = line.find('(');
    if (open == std::string::npos) return false;
    const std::string tag = Trim(line.substr(0, open));
    if (!LooksLikeTag(tag)) return false;
    size_t close = std::string::npos, eq = 0;
    for (size_t i = line.size(); i-- > open + 1 && close == std::string::npos;) {
      if (line[i] != ')' || i + 1 >= line.size()) continue;
      if (line[i + 1] == '=') {
        close = i;
        eq = i + 1;
      } else if (line[i + 1] == ' ' && i + 2 < line.size() && line[i + 2] == '=') {
        close = i;
        eq = i + 2;
      }
    }
    if (close == std::string::npos) return false;
    const std::string digits = DigitsOf(line.substr(eq + 1));
    if (digits.empty()) return false;
    Add(digits, line.substr(open + 1, close - open - 1), tag, m_nLine, m_strRaw);
    return true;
  }

  // "digest  name", "digest *name", "\digest  escaped\\name".
  bool GnuLine(const std::string& line) {
    const bool bEscaped = line[0] == '\\';
    const size_t begin = bEscaped ? 1 : 0;
    const size_t end = line.find_first_of(" \t", begin);
    if (end == std::string::npos) return false;
    const std::string digits = line.substr(begin, end - begin);
    if (!IsAllHex(digits) || digits.size() < 8) return false;
    size_t nameAt = end + 1;
    if (nameAt < line.size() && (line[nameAt] == ' ' || line[nameAt] == '*')) {
      ++nameAt;
    } else if (digits.size() == 8 && SfvLine(line)) {
      return true;  // "deadbeef 0badf00d": a name that looks like a digest
    }
    std::string name = line.substr(nameAt);
    if (name.empty()) return false;
    if (bEscaped) name = Unescape(name);
    Add(digits, name, std::string(), m_nLine, m_strRaw);
    return true;
  }

  static std::string Unescape(const std::string& name) {
    std::string plain;
    for (size_t i = 0; i < name.size(); ++i) {
      if (name[i] == '\\' && i + 1 < name.size()) {
        ++i;
        plain += name[i] == 'n' ? '\n' : name[i];
      } else {
        plain += name[i];
      }
    }
    return plain;
  }

  // "name 1A2B3C4D": a CRC32 after the last blank.
  bool SfvLine(const std::string& line) {
    const size_t blank = line.find_last_of(" \t");
    if (blank == std::string::npos) return false;
    const std::string digits = line.substr(blank + 1);
    if (digits.size() != 8 || !IsAllHex(digits)) return false;
    const std::string name = Trim(line.substr(0, blank));
    if (name.empty()) return false;
    Add(digits, name, "CRC32", m_nLine, m_strRaw);
    return true;
  }

  // A digest on a line of its own, possibly in spaced pairs.
  bool BareLine(const std::string& line) {
    const std::string digits = DigitsOf(line);
    if (!IsAllHex(digits)) return false;
    Add(digits, std::string(), std::string(), m_nLine, m_strRaw);
    return true;
  }

  ExpectedText& m_out;
  size_t m_nLine = 0;
  std::string m_strRaw;
  size_t m_nUnknown = 0;
  std::string m_strPendingTag, m_strPendingName, m_strPendingLine;
  size_t m_nPendingLine = 0;
  std::string m_record[3];  // Algorithm, Hash, Path
  size_t m_nRecordLine = 0;
  bool m_bTableHeader = false;
  bool m_bTable = false;
};

}  // namespace

ExpectedText ParseExpectedText(const std::string& text) {
  ExpectedText parsed;
  const std::string digits =
      NormaliseExpectedDigest(text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text);
  if (digits.empty()) return parsed;
  ExpectedDigest bare;
  bare.strDigits = digits;
  bare.nLine = 1;
  bare.strLine = Shown(Trim(text.substr(0, text.find('\n'))));
  // Today's row: the whole text is one digest, however it is broken up.
  if (IsAllHex(digits)) {
    parsed.digests.push_back(bare);
    return parsed;
  }
  Parser parser(&parsed);
  LineReader lines(text);
  std::string line;
  while (lines.Next(&line)) parser.Line(line, lines.LineNumber());
  parser.End();
  parsed.bChecksumText = !parsed.digests.empty();
  if (parsed.digests.empty()) {
    if (lines.LineNumber() <= 1) {
      // One line that is no checksum line: held as a digest, it gets the
      // row's own verdict ("Not hexadecimal").
      parsed.digests.push_back(bare);
    } else {
      parsed.strProblem = "No line of the text is a digest or a checksum line";
    }
  }
  return parsed;
}

// The last path component, with or without "./" or "*" in front.
std::string LastPathComponent(const std::string& name) {
  size_t begin = 0;
  if (!name.empty() && name[0] == '*') begin = 1;
  const size_t slash = name.find_last_of("\\/");
  if (slash != std::string::npos && slash + 1 > begin) begin = slash + 1;
  return name.substr(begin);
}

bool IsPublishedDigest(const std::string& text) {
  const ExpectedText parsed = ParseExpectedText(text);
  if (parsed.digests.empty()) return false;
  if (parsed.bChecksumText) return true;
  return !NamesWithHexDigits(parsed.digests.front().strDigits.size()).empty();
}

bool IsHexText(const std::string& text) { return IsAllHex(text); }
