#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <vector>

// What a virtual list view shows of a row model: the owner answers for
// every cell on demand, so the control keeps no copy of a row and a set of
// any size costs it nothing.
class ListRowSource {
 public:
  // How a row's Result is coloured: as the main window's verdict.
  enum class Tone { kPlain, kGood, kBad };

  virtual ~ListRowSource() = default;
  virtual size_t RowCount() const = 0;
  // The texts of the columns Name, Algorithm, Digest, Result.
  virtual std::string CellText(size_t nRow, int nColumn) const = 0;
  // Why the row has its result; empty when there is nothing to add.
  virtual std::string RowTip(size_t nRow) const = 0;
  virtual Tone RowTone(size_t nRow) const = 0;
};

// The report-style list of the list window (LVS_OWNERDATA): its columns,
// the cells from the source (LVN_GETDISPINFO), the colours of the rows
// (NM_CUSTOMDRAW) and their tooltips (LVN_GETINFOTIP).
class ListRowsView {
 public:
  static const int kColumnCount = 4;
  static const int kDigestColumn = 2;

  // Sets the columns and styles of the dialog's list control.
  void Attach(HWND hList, const ListRowSource* pSource);
  HWND Handle() const { return m_hList; }

  // After the list changed its width.
  void FitDigestColumn();
  // The row count changed; rows keep their selection and scroll position.
  void SetRowCount(size_t nRows);
  // The rows in view are drawn again from the source; the others ask
  // when they come into view.
  void RedrawVisible();
  // The rows the user selected, in order.
  std::vector<size_t> SelectedRows() const;

  // WM_NOTIFY from the list; true with *pResult set when it was answered.
  bool OnNotify(const NMHDR* pHeader, LRESULT* pResult);

 private:
  void OnGetDispInfo(NMLVDISPINFOW* pInfo);
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW* pDraw) const;
  void OnGetInfoTip(NMLVGETINFOTIPW* pTip) const;

  HWND m_hList = nullptr;
  const ListRowSource* m_pSource = nullptr;
  // The list keeps a pointer to the text it asked for until the next ask.
  std::wstring m_cell;
  int m_nDigestLeast = 0;  // pixels
};
