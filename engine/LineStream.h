#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "fileio/OwnedHandle.h"

// The lines of a text file read as a stream: any size in bounded memory,
// in time linear in its size. UTF-8 (a byte order mark skipped) or UTF-16
// LE or BE with its byte order mark (turned into UTF-8 on the way; a lone
// surrogate becomes U+FFFD); LF or CRLF. Bytes are otherwise passed on as
// they are (NUL bytes and invalid UTF-8 included): judging them is the
// reader's business.
class LineStream {
 public:
  // Lines longer than this (UTF-8 bytes) are not held: Next gives their
  // first kKeptBytes and says so, and reads on to the next line.
  static const size_t kMaxLineBytes = 128 * 1024;
  static const size_t kKeptBytes = 256;

  LineStream() = default;
  virtual ~LineStream() = default;
  LineStream(const LineStream&) = delete;
  LineStream& operator=(const LineStream&) = delete;

  // Opens a file (UTF-8 path of any length) for reading, shared for reading
  // and writing. False with LastError on failure; ERROR_INVALID_FUNCTION
  // for anything that is not a file on a disk (a device, a pipe).
  bool Open(const std::string& path);

  // The next line without its CR LF, in UTF-8. False at the end of the file
  // (LastError 0) or when reading failed (LastError the system's code).
  // *pbTooLong tells a line over kMaxLineBytes (only its start in *pLine).
  bool Next(std::string* pLine, bool* pbTooLong);

  size_t LineNumber() const { return m_nLine; }  // 1-based, of the last line given
  DWORD LastError() const { return m_dwError; }
  bool IsUtf16() const { return m_encoding != Encoding::kUtf8; }
  ULONGLONG BytesRead() const { return m_qwRead; }

 private:
  enum class Encoding { kUtf8, kUtf16LE, kUtf16BE };
  bool Fill();
  void Decode(size_t nAt, size_t nEnd);
  void AppendUnit(unsigned int unit);

  OwnedHandle m_file;
  Encoding m_encoding = Encoding::kUtf8;
  bool m_bStarted = false;
  bool m_bEnd = false;
  std::vector<char> m_raw;      // bytes as read
  std::string m_text;           // UTF-8 not yet given out
  size_t m_nAt = 0;             // first byte of m_text not yet given out
  unsigned int m_nHigh = 0;     // a high surrogate waiting for its pair
  unsigned int m_nOddByte = 0;  // 0x100 | the first byte of a unit split between reads
  size_t m_nLine = 0;
  ULONGLONG m_qwRead = 0;
  DWORD m_dwError = 0;
};
