#include "engine/EntryChooser.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string TriedNames(const std::vector<UINT>& entries, const std::vector<std::string>& digests) {
  std::string names;
  for (size_t i = 0; i < entries.size() && i < digests.size(); ++i) {
    if (digests[i].empty() || CatalogueEntryAt(entries[i]) == nullptr) continue;
    names += (names.empty() ? "" : ", ") + std::string(CatalogueEntryAt(entries[i])->pszName);
  }
  return names;
}

}  // namespace

std::vector<UINT> EntryChooser::EntriesFor(const FileRow& row) const {
  if (!row.NeedsRun()) return {};
  if (CatalogueEntryAt(row.nEntry) != nullptr) return Given({row.nEntry});
  if (row.result == RowResult::kNotListed) {
    const UINT nEntry = SetEntry();
    return nEntry == kAlgorithmCount ? std::vector<UINT>() : std::vector<UINT>{nEntry};
  }
  const size_t nDigits = row.strExpected.size();
  if (nDigits < sizeof(m_fixed) / sizeof(m_fixed[0])) {
    CriticalSection::Hold hold(m_lock);
    if (m_fixed[nDigits] != 0) return {m_fixed[nDigits] - 1};
  }
  return Given(CandidateEntries(nDigits, kAlgorithmCount, false));
}

std::vector<UINT> EntryChooser::Given(std::vector<UINT> entries) const {
  CriticalSection::Hold hold(m_lock);
  if (m_nFirstGiven == kAlgorithmCount && !entries.empty()) m_nFirstGiven = entries[0];
  return entries;
}

void EntryChooser::Settle(FileRow* pRow, const std::vector<UINT>& entries,
                          const std::vector<std::string>& digests) {
  size_t nFirst = entries.size();
  for (size_t i = 0; i < entries.size() && i < digests.size(); ++i) {
    if (digests[i].empty() || CatalogueEntryAt(entries[i]) == nullptr) continue;
    if (nFirst == entries.size()) nFirst = i;
    if (pRow->strExpected.empty() || _stricmp(digests[i].c_str(), pRow->strExpected.c_str()) != 0)
      continue;
    pRow->nEntry = entries[i];
    pRow->strDigest = Lower(digests[i]);
    pRow->result = RowResult::kMatch;
    pRow->strReason.clear();
    CriticalSection::Hold hold(m_lock);
    const size_t nDigits = pRow->strExpected.size();
    if (nDigits < sizeof(m_fixed) / sizeof(m_fixed[0]) && m_fixed[nDigits] == 0)
      m_fixed[nDigits] = entries[i] + 1;
    if (m_nFirstSettled == kAlgorithmCount) m_nFirstSettled = entries[i];
    return;
  }
  if (nFirst == entries.size()) return;
  const bool bWasOpen = CatalogueEntryAt(pRow->nEntry) == nullptr;
  pRow->nEntry = entries[nFirst];
  pRow->strDigest = Lower(digests[nFirst]);
  if (pRow->strExpected.empty()) {
    if (pRow->result != RowResult::kNotListed) pRow->result = RowResult::kHashed;
  } else {
    pRow->result = RowResult::kNoMatch;
    // Where the count decided and several entries ran, the tooltip says so.
    const std::string tried = TriedNames(entries, digests);
    if (bWasOpen && tried.find(',') != std::string::npos) pRow->strReason = "Tried " + tried;
  }
  CriticalSection::Hold hold(m_lock);
  if (m_nFirstSettled == kAlgorithmCount) m_nFirstSettled = entries[nFirst];
}

void EntryChooser::Fail(FileRow* pRow, DWORD dwError) {
  pRow->dwError = dwError;
  // "Missing" is a listed file that is not there; a file found by the walk
  // or given to hash that then could not be read is unreadable, whatever
  // the reason (it vanished, was cut short or locked).
  const bool bMissing = dwError == ERROR_FILE_NOT_FOUND || dwError == ERROR_PATH_NOT_FOUND;
  const bool bListed = pRow->result == RowResult::kPending && !pRow->strExpected.empty();
  pRow->result = bMissing && bListed ? RowResult::kMissing : RowResult::kUnreadable;
}

UINT EntryChooser::SetEntry() const {
  CriticalSection::Hold hold(m_lock);
  return m_nFirstSettled != kAlgorithmCount ? m_nFirstSettled : m_nFirstGiven;
}
