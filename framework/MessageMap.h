#pragma once

#include <windows.h>
#include <shellapi.h>

class CWnd;

// One entry of a message map: a window message (or WM_COMMAND with a
// notification code and a control id) and the handler it goes to. Only the
// pointer that matches nSig is set. An AfxSig_ctlcolor entry answers all six
// WM_CTLCOLOR* messages; its handler gets the device context, the control
// and the kind (CTLCOLOR_EDIT, CTLCOLOR_STATIC, ...) and returns the brush.
enum AfxSig { AfxSig_end = 0, AfxSig_vv, AfxSig_vwl, AfxSig_hv, AfxSig_vh, AfxSig_ctlcolor };

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;
  UINT nCode;
  UINT nID;
  AfxSig nSig;
  void (CWnd::*pfn_vv)();
  void (CWnd::*pfn_vwl)(UINT, LPARAM);
  HCURSOR (CWnd::*pfn_hv)();
  void (CWnd::*pfn_vh)(HDROP);
  HBRUSH (CWnd::*pfn_ctlcolor)(HDC, HWND, UINT);
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
    typedef theClass ThisClass;                                                     \
    typedef baseClass TheBaseClass;                                                 \
    static_assert(sizeof(ThisClass) > 0, "a map may have no entries");              \
    static const AFX_MSGMAP_ENTRY _messageEntries[] = {
#define END_MESSAGE_MAP()                                                                       \
  { 0, 0, 0, AfxSig_end, nullptr, nullptr, nullptr, nullptr, nullptr }                          \
  }                                                                                             \
  ;                                                                                             \
  static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
  return &messageMap;                                                                           \
  }

#define AFX_COMMAND_ENTRY(code, id, memberFxn)           \
  {WM_COMMAND,                                           \
   (UINT)(code),                                         \
   (UINT)(id),                                           \
   AfxSig_vv,                                            \
   static_cast<void (CWnd::*)()>(&ThisClass::memberFxn), \
   nullptr,                                              \
   nullptr,                                              \
   nullptr,                                              \
   nullptr},

#define ON_BN_CLICKED(id, memberFxn) AFX_COMMAND_ENTRY(BN_CLICKED, id, memberFxn)
#define ON_EN_CHANGE(id, memberFxn) AFX_COMMAND_ENTRY(EN_CHANGE, id, memberFxn)
#define ON_CBN_SELCHANGE(id, memberFxn) AFX_COMMAND_ENTRY(CBN_SELCHANGE, id, memberFxn)

#define ON_WM_SYSCOMMAND()                                                                      \
  {WM_SYSCOMMAND, 0,       0,                                                                   \
   AfxSig_vwl,    nullptr, static_cast<void (CWnd::*)(UINT, LPARAM)>(&ThisClass::OnSysCommand), \
   nullptr,       nullptr, nullptr},
#define ON_WM_PAINT()                                                                         \
  {WM_PAINT, 0,       0,       AfxSig_vv, static_cast<void (CWnd::*)()>(&ThisClass::OnPaint), \
   nullptr,  nullptr, nullptr, nullptr},
#define ON_WM_DESTROY()                                                                           \
  {WM_DESTROY, 0,       0,       AfxSig_vv, static_cast<void (CWnd::*)()>(&ThisClass::OnDestroy), \
   nullptr,    nullptr, nullptr, nullptr},
#define ON_WM_QUERYDRAGICON()                                     \
  {WM_QUERYDRAGICON,                                              \
   0,                                                             \
   0,                                                             \
   AfxSig_hv,                                                     \
   nullptr,                                                       \
   nullptr,                                                       \
   static_cast<HCURSOR (CWnd::*)()>(&ThisClass::OnQueryDragIcon), \
   nullptr,                                                       \
   nullptr},
#define ON_WM_DROPFILES()                                                                       \
  {WM_DROPFILES, 0,       0,       AfxSig_vh,                                                   \
   nullptr,      nullptr, nullptr, static_cast<void (CWnd::*)(HDROP)>(&ThisClass::OnDropFiles), \
   nullptr},
// The message number is only a marker: the entry answers every WM_CTLCOLOR*.
#define ON_WM_CTLCOLOR() \
  {WM_CTLCOLORSTATIC,    \
   0,                    \
   0,                    \
   AfxSig_ctlcolor,      \
   nullptr,              \
   nullptr,              \
   nullptr,              \
   nullptr,              \
   static_cast<HBRUSH (CWnd::*)(HDC, HWND, UINT)>(&ThisClass::OnCtlColor)},
