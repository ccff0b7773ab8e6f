#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/CallbackThunk.h"

// Turns a static text control into a clickable link: link colours, an
// underline while the mouse is over it, the hand pointer, and the shell's
// "open" verb on a click. Works by subclassing the control and its parent;
// links sharing a parent subclass it once.
class HyperLink {
 public:
  HyperLink();
  virtual ~HyperLink();
  HyperLink(const HyperLink&) = delete;
  HyperLink& operator=(const HyperLink&) = delete;

  // Opens m_strURL; FALSE when there is none or the shell refuses it.
  virtual BOOL Navigate();

  BOOL Attach(HWND hWndControl);
  BOOL Detach();
  void SetURL(const char* pszURL);
  void SetURL(const std::string& strURL) { m_strURL = strURL; }

  // The window procedures, reached through the thunks.
  LRESULT ControlProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT ParentProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  static const char PROP_OBJECT_PTR[];

  // A subclassed parent: how many links are attached under it and which of
  // them installed its ParentProc (and so holds the previous procedure).
  struct ParentEntry {
    HWND hWndParent;
    UINT nLinks;
    HyperLink* pOwner;
  };
  static std::vector<ParentEntry> s_parents;

 protected:
  HWND m_hWnd = nullptr;
  CallbackThunk m_controlThunk;
  CallbackThunk m_parentThunk;
  WNDPROC m_pfnOldProc = nullptr;
  WNDPROC m_pfnOldParentProc = nullptr;
  BOOL m_bHover = FALSE;
  BOOL m_bVisited = FALSE;
  BOOL m_bPressed = FALSE;
  int m_nUnderline = 1;  // 0 always, 1 while hovered, 2 never
  COLORREF m_crNormal = RGB(0, 0, 255);
  COLORREF m_crHover = RGB(255, 0, 255);
  COLORREF m_crPressed = RGB(255, 0, 0);
  COLORREF m_crVisited = RGB(128, 0, 128);
  LOGFONTA m_logFont;
  HFONT m_hFont = nullptr;
  HFONT m_hUnderlineFont = nullptr;
  HFONT m_hOriginalFont = nullptr;
  std::string m_strURL;
  HCURSOR m_hCursor = nullptr;

 private:
  void SetControlFont(HFONT hFont);
  // Makes the link's plain and underlined fonts from hSource's description,
  // shows the one for the current state and sizes the control to its text.
  void UseFont(HGDIOBJ hSource);
  void FollowParentFont();
  void ShowHandCursor();
  void SizeToText();
  void ReleaseParent(HWND hWndParent);
  static std::vector<ParentEntry>::iterator FindParent(HWND hWndParent);

  // Looks for another link attached under the same parent, to take over
  // the parent's subclassing when its owner goes first.
  struct HeirSearch {
    HWND hWndParent;
    const HyperLink* pLeaving;
    HyperLink* pHeir;
  };
  static BOOL CALLBACK FindHeir(HWND hWndChild, LPARAM lParam);
};
