#include "engine/LineStream.h"

#include "engine/Utf8.h"
#include "fileio/LongPath.h"

namespace {

const DWORD kReadBytes = 1 << 20;

// The first bytes of s up to n, cut between UTF-8 sequences where it can.
std::string Start(const std::string& s, size_t at, size_t n) {
  size_t end = at + n;
  while (end > at && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return s.substr(at, end > at ? end - at : n);
}

}  // namespace

bool LineStream::Open(const std::string& path) {
  m_file.Reset();
  HANDLE h = CreateFileAnyLength(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
  if (h == INVALID_HANDLE_VALUE) {
    m_dwError = ::GetLastError();
    return false;
  }
  m_file.Reset(h);
  if (::GetFileType(h) != FILE_TYPE_DISK) {
    m_file.Reset();
    m_dwError = ERROR_INVALID_FUNCTION;
    return false;
  }
  m_dwError = 0;
  return true;
}

bool LineStream::Fill() {
  if (m_bEnd || !m_file) return false;
  m_raw.resize(kReadBytes);
  DWORD dwRead = 0;
  if (!::ReadFile(m_file.Get(), m_raw.data(), kReadBytes, &dwRead, nullptr)) {
    m_dwError = ::GetLastError();
    m_bEnd = true;
    return false;
  }
  m_qwRead += dwRead;
  size_t nAt = 0;
  if (!m_bStarted) {
    m_bStarted = true;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(m_raw.data());
    if (dwRead >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
      nAt = 3;
    } else if (dwRead >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
      m_encoding = Encoding::kUtf16LE;
      nAt = 2;
    } else if (dwRead >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
      m_encoding = Encoding::kUtf16BE;
      nAt = 2;
    }
  }
  if (dwRead == 0) {
    m_bEnd = true;
    // A text that ends inside a character: the rest is one U+FFFD.
    if (m_nOddByte != 0 || m_nHigh != 0) AppendUtf8(&m_text, 0xFFFD);
    m_nOddByte = m_nHigh = 0;
    return !m_text.empty();
  }
  if (m_encoding == Encoding::kUtf8) {
    m_text.append(m_raw.data() + nAt, dwRead - nAt);
  } else {
    Decode(nAt, dwRead);
  }
  return true;
}

void LineStream::Decode(size_t nAt, size_t nEnd) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(m_raw.data());
  for (size_t i = nAt; i < nEnd; ++i) {
    if (m_nOddByte == 0) {
      m_nOddByte = 0x100 | p[i];
      continue;
    }
    const unsigned int first = m_nOddByte & 0xFF;
    m_nOddByte = 0;
    AppendUnit(m_encoding == Encoding::kUtf16LE ? first | (p[i] << 8) : (first << 8) | p[i]);
  }
}

void LineStream::AppendUnit(unsigned int unit) {
  if (unit >= 0xDC00 && unit <= 0xDFFF && m_nHigh != 0) {
    AppendUtf8(&m_text, 0x10000 + ((m_nHigh - 0xD800) << 10) + (unit - 0xDC00));
    m_nHigh = 0;
    return;
  }
  if (m_nHigh != 0) AppendUtf8(&m_text, 0xFFFD);
  m_nHigh = 0;
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    m_nHigh = unit;
  } else {
    AppendUtf8(&m_text, unit >= 0xDC00 && unit <= 0xDFFF ? 0xFFFD : unit);
  }
}

bool LineStream::Next(std::string* pLine, bool* pbTooLong) {
  pLine->clear();
  *pbTooLong = false;
  if (m_dwError != 0) return false;
  size_t nScan = m_nAt;
  while (true) {
    const size_t nl = m_text.find('\n', nScan);
    if (nl != std::string::npos) {
      if (!*pbTooLong && nl - m_nAt > kMaxLineBytes) {
        *pbTooLong = true;
        *pLine = Start(m_text, m_nAt, kKeptBytes);
      } else if (!*pbTooLong) {
        const size_t nEnd = nl > m_nAt && m_text[nl - 1] == '\r' ? nl - 1 : nl;
        pLine->assign(m_text, m_nAt, nEnd - m_nAt);
      }
      m_nAt = nl + 1;
      ++m_nLine;
      return true;
    }
    // No line break in what is held: a line too long is dropped as it
    // comes, else the rest waits for more.
    if (!*pbTooLong && m_text.size() - m_nAt > kMaxLineBytes) {
      *pbTooLong = true;
      *pLine = Start(m_text, m_nAt, kKeptBytes);
    }
    if (*pbTooLong) {
      m_text.clear();
    } else {
      m_text.erase(0, m_nAt);
    }
    m_nAt = 0;
    nScan = m_text.size();
    if (!Fill()) break;
  }
  if (m_dwError != 0) return false;
  // The end of the file: a last line without a line break.
  if (!*pbTooLong) {
    if (m_text.empty()) return false;
    const size_t nEnd = m_text.back() == '\r' ? m_text.size() - 1 : m_text.size();
    pLine->assign(m_text, 0, nEnd);
  }
  m_text.clear();
  ++m_nLine;
  return true;
}
