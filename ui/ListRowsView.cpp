#include "ui/ListRowsView.h"

#include <vector>

namespace {

// The words of a result carry it; the colours only repeat it.
const COLORREF kMatchColour = RGB(0, 100, 0);    // dark green
const COLORREF kNoMatchColour = RGB(139, 0, 0);  // dark red

struct Column {
  const wchar_t* pszTitle;
  int nWidth;  // in dialog-base units of the list's font, as the template's
  int nFormat;
};
// clang-format off
const Column kColumns[ListRowsView::kColumnCount] = {
    {L"Name",      140, LVCFMT_LEFT},
    {L"Algorithm",  52, LVCFMT_LEFT},
    {L"Digest",    196, LVCFMT_LEFT},
    {L"Result",     50, LVCFMT_LEFT},
};
// clang-format on

std::wstring WideFromBytes(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], n);
  return wide;
}

}  // namespace

void ListRowsView::Attach(HWND hList, const ListRowSource* pSource) {
  m_hList = hList;
  m_pSource = pSource;
  // The texts are the program's bytes; the wide messages carry every script.
  ::SendMessageW(hList, CCM_SETUNICODEFORMAT, TRUE, 0);
  const DWORD dwExtended =
      LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP;
  ::SendMessageW(hList, LVM_SETEXTENDEDLISTVIEWSTYLE, dwExtended, dwExtended);
  // Widths follow the dialog's units, so they scale with its font and DPI.
  RECT rcUnits = {0, 0, 4, 8};
  ::MapDialogRect(::GetParent(hList), &rcUnits);
  for (int i = 0; i < kColumnCount; ++i) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = kColumns[i].nFormat;
    column.cx = ::MulDiv(kColumns[i].nWidth, rcUnits.right, 4);
    column.pszText = const_cast<wchar_t*>(kColumns[i].pszTitle);
    column.iSubItem = i;
    ::SendMessageW(hList, LVM_INSERTCOLUMNW, i, (LPARAM)&column);
    if (i == kDigestColumn) m_nDigestLeast = column.cx;
  }
}

void ListRowsView::FitDigestColumn() {
  // The Digest column takes the width the others leave, never less than
  // its own: a wider window shows longer digests whole.
  RECT rc;
  ::GetClientRect(m_hList, &rc);
  int nOthers = 0;
  for (int i = 0; i < kColumnCount; ++i)
    if (i != kDigestColumn) nOthers += (int)::SendMessageW(m_hList, LVM_GETCOLUMNWIDTH, i, 0);
  const int nWidth = rc.right - nOthers;
  if (nWidth > m_nDigestLeast) ::SendMessageW(m_hList, LVM_SETCOLUMNWIDTH, kDigestColumn, nWidth);
}

void ListRowsView::SetRowCount(size_t nRows) {
  ::SendMessageW(m_hList, LVM_SETITEMCOUNT, (WPARAM)nRows,
                 LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  ::InvalidateRect(m_hList, nullptr, FALSE);
}

void ListRowsView::RedrawVisible() {
  const int nTop = (int)::SendMessageW(m_hList, LVM_GETTOPINDEX, 0, 0);
  const int nPage = (int)::SendMessageW(m_hList, LVM_GETCOUNTPERPAGE, 0, 0);
  ::SendMessageW(m_hList, LVM_REDRAWITEMS, (WPARAM)nTop, (LPARAM)(nTop + nPage));
}

std::vector<size_t> ListRowsView::SelectedRows() const {
  std::vector<size_t> rows;
  int nItem = -1;
  while ((nItem = (int)::SendMessageW(m_hList, LVM_GETNEXTITEM, (WPARAM)nItem, LVNI_SELECTED)) !=
         -1)
    rows.push_back((size_t)nItem);
  return rows;
}

bool ListRowsView::OnNotify(const NMHDR* pHeader, LRESULT* pResult) {
  if (pHeader->hwndFrom != m_hList || m_pSource == nullptr) return false;
  switch (pHeader->code) {
    case LVN_GETDISPINFOW:
      OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(pHeader)));
      *pResult = 0;
      return true;
    case NM_CUSTOMDRAW:
      *pResult = OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(pHeader)));
      return true;
    case LVN_GETINFOTIPW:
      OnGetInfoTip(reinterpret_cast<NMLVGETINFOTIPW*>(const_cast<NMHDR*>(pHeader)));
      *pResult = 0;
      return true;
    default:
      return false;
  }
}

void ListRowsView::OnGetDispInfo(NMLVDISPINFOW* pInfo) {
  LVITEMW& item = pInfo->item;
  if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
  const size_t nRow = (size_t)item.iItem;
  if (item.iItem < 0 || nRow >= m_pSource->RowCount() || item.iSubItem < 0 ||
      item.iSubItem >= kColumnCount) {
    item.pszText[0] = L'\0';
    return;
  }
  m_cell = WideFromBytes(m_pSource->CellText(nRow, item.iSubItem));
  lstrcpynW(item.pszText, m_cell.c_str(), item.cchTextMax);
}

LRESULT ListRowsView::OnCustomDraw(NMLVCUSTOMDRAW* pDraw) const {
  switch (pDraw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      // The whole row in its result's colour: one ask per row drawn.
      const size_t nRow = (size_t)pDraw->nmcd.dwItemSpec;
      const ListRowSource::Tone tone =
          nRow < m_pSource->RowCount() ? m_pSource->RowTone(nRow) : ListRowSource::Tone::kPlain;
      if (tone == ListRowSource::Tone::kPlain) return CDRF_DODEFAULT;
      pDraw->clrText = tone == ListRowSource::Tone::kGood ? kMatchColour : kNoMatchColour;
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void ListRowsView::OnGetInfoTip(NMLVGETINFOTIPW* pTip) const {
  if (pTip->pszText == nullptr || pTip->cchTextMax <= 0 || pTip->iItem < 0 ||
      (size_t)pTip->iItem >= m_pSource->RowCount())
    return;
  const std::wstring tip = WideFromBytes(m_pSource->RowTip((size_t)pTip->iItem));
  if (tip.empty()) return;  // the list then shows a cut cell's whole text, if any
  // The list may hand in the cut cell's text: the reason replaces it.
  lstrcpynW(pTip->pszText, tip.c_str(), pTip->cchTextMax);
}
