#pragma once

#include <windows.h>

// Which of a job's progress reports reach the bar. A report comes per
// chunk, and every move of the bar repaints it: on a fast job those
// repaints took a share of the processors from the digests. So a move is
// shown at most once a kGapMs, besides the first report of a job and the
// last (100 or beyond, where tiny files' reports lie), and never twice the
// same; the bar still moves ten times a second.
class ReportGate {
 public:
  static const DWORD kGapMs = 100;

  // The next report is a job's first.
  void Reset() { m_nLast = -1; }

  // Whether the report of nPercent, made at dwNow (milliseconds), is shown.
  bool Admit(int nPercent, DWORD dwNow) {
    if (nPercent == m_nLast) return false;
    if (m_nLast >= 0 && nPercent < 100 && dwNow - m_dwLast < kGapMs) return false;
    m_nLast = nPercent;
    m_dwLast = dwNow;
    return true;
  }

 private:
  int m_nLast = -1;
  DWORD m_dwLast = 0;
};
