#include "engine/FileRows.h"

namespace {

std::string Plural(size_t n, const char* pszOne, const char* pszMany) {
  return std::to_string(n) + (n == 1 ? pszOne : pszMany);
}

std::string Duration(ULONGLONG qwSeconds) {
  const ULONGLONG qwHours = qwSeconds / 3600, qwMinutes = qwSeconds / 60 % 60;
  const ULONGLONG qwRest = qwSeconds % 60;
  std::string text = qwHours ? std::to_string(qwHours) + ":" : "";
  const ULONGLONG qwShownMinutes = qwHours ? qwMinutes : qwSeconds / 60;
  if (qwHours && qwMinutes < 10) text += "0";
  text += std::to_string(qwShownMinutes) + ":";
  if (qwRest < 10) text += "0";
  return text + std::to_string(qwRest);
}

}  // namespace

const char* ResultText(RowResult result) {
  switch (result) {
    case RowResult::kMatch:
      return "Match";
    case RowResult::kNoMatch:
      return "No match";
    case RowResult::kMissing:
      return "Missing";
    case RowResult::kUnreadable:
      return "Unreadable";
    case RowResult::kRefused:
      return "Refused";
    case RowResult::kNotListed:
      return "Not listed";
    case RowResult::kMoved:
      return "Moved";
    default:
      return "";
  }
}

bool IsGoodResult(RowResult result) { return result == RowResult::kMatch; }

std::string FileSet::FullPath(const FileRow& row) const {
  return strFolder.empty() ? row.strName : strFolder + "\\" + row.strName;
}

std::string AlgorithmText(const FileRow& row) {
  const CatalogueEntry* pEntry = CatalogueEntryAt(row.nEntry);
  return pEntry ? pEntry->pszName : "";
}

std::string SystemMessageText(DWORD dwError) {
  char* pszText = nullptr;
  const DWORD dwLength = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, dwError, 0, reinterpret_cast<char*>(&pszText), 0, nullptr);
  std::string text = dwLength && pszText ? std::string(pszText, dwLength) : std::string();
  if (pszText) ::LocalFree(pszText);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text.empty() ? "Error " + std::to_string(dwError) : text;
}

std::string RowTooltip(const FileRow& row) {
  switch (row.result) {
    case RowResult::kNoMatch:
      return row.strReason.empty() ? "Expected " + row.strExpected
                                   : "Expected " + row.strExpected + "\n" + row.strReason;
    case RowResult::kUnreadable:
    case RowResult::kMissing: {
      const std::string text = row.dwError ? SystemMessageText(row.dwError) : std::string();
      if (row.strReason.empty()) return text;
      return text.empty() ? row.strReason : text + "\n" + row.strReason;
    }
    case RowResult::kMoved:
      return "Listed as " + row.strReason;
    default:
      return row.strReason;
  }
}

void RowCounts::Add(RowResult result, int nSign) {
  size_t* pCount = nullptr;
  switch (result) {
    case RowResult::kMatch:
      pCount = &nMatch;
      break;
    case RowResult::kNoMatch:
      pCount = &nNoMatch;
      break;
    case RowResult::kMissing:
      pCount = &nMissing;
      break;
    case RowResult::kUnreadable:
      pCount = &nUnreadable;
      break;
    case RowResult::kRefused:
      pCount = &nRefused;
      break;
    case RowResult::kNotListed:
      pCount = &nNotListed;
      break;
    case RowResult::kMoved:
      pCount = &nMoved;
      break;
    default:
      break;
  }
  nRows += static_cast<size_t>(nSign);
  if (pCount) *pCount += static_cast<size_t>(nSign);
}

RowCounts CountRows(const std::vector<FileRow>& rows) {
  RowCounts counts;
  for (const FileRow& row : rows) counts.Add(row.result);
  return counts;
}

std::string SummaryText(const RowCounts& counts, const RunFigures& figures) {
  const struct {
    size_t n;
    const char* pszText;
  } parts[] = {
      {counts.nMatch, " match"},     {counts.nNoMatch, " no match"},
      {counts.nMissing, " missing"}, {counts.nUnreadable, " unreadable"},
      {counts.nRefused, " refused"}, {counts.nNotListed, " not listed"},
      {counts.nMoved, " moved"},
  };
  std::string text = Plural(counts.nRows, " file", " files");
  const char* pszJoin = ": ";
  for (const auto& part : parts) {
    if (part.n == 0) continue;
    text += pszJoin + std::to_string(part.n) + part.pszText;
    pszJoin = ", ";
  }
  if (figures.bRunning) {
    if (figures.qwBytesPerSecond != 0)
      text += ", " + std::to_string((figures.qwBytesPerSecond + (1 << 19)) >> 20) + " MiB/s";
    if (figures.qwSecondsLeft != ~0ULL) text += ", " + Duration(figures.qwSecondsLeft) + " left";
  }
  if (figures.bStopped) text += ", stopped";
  return text;
}

std::string CopyText(const std::vector<FileRow>& rows, const std::vector<size_t>& selected) {
  std::string text;
  auto append = [&](const FileRow& row) {
    text += ResultText(row.result);
    text += '\t';
    text += AlgorithmText(row);
    text += '\t';
    text += row.strDigest;
    text += '\t';
    text += row.strName;
    text += "\r\n";
  };
  if (selected.empty()) {
    for (const FileRow& row : rows) append(row);
  } else {
    for (size_t i : selected)
      if (i < rows.size()) append(rows[i]);
  }
  return text;
}
