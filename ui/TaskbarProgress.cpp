#include "ui/TaskbarProgress.h"

#include <objbase.h>

namespace {

ITaskbarList3* CreateTaskbarList() {
  ITaskbarList3* pList = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&pList))))
    return nullptr;
  return pList;
}

}  // namespace

TaskbarProgress::CreateFunction TaskbarProgress::s_pfnCreate = &CreateTaskbarList;

TaskbarProgress::~TaskbarProgress() { Detach(); }

UINT TaskbarProgress::ButtonCreatedMessage() {
  static const UINT s_nMessage = ::RegisterWindowMessageA("TaskbarButtonCreated");
  return s_nMessage;
}

void TaskbarProgress::Attach(HWND hWnd) {
  if (m_pList != nullptr) {
    m_pList->Release();
    m_pList = nullptr;
  }
  if (!m_bComStarted) {
    // S_FALSE (already started on this thread) is counted too; a thread
    // of the other model keeps its own and is not ended here.
    m_bComStarted = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
  m_hWnd = hWnd;
  m_bStateSet = false;
  ITaskbarList3* pList = s_pfnCreate();
  if (pList == nullptr) return;
  if (FAILED(pList->HrInit())) {
    pList->Release();
    return;
  }
  m_pList = pList;
  Apply();
}

void TaskbarProgress::Detach() {
  if (m_pList != nullptr) {
    m_pList->Release();
    m_pList = nullptr;
  }
  if (m_bComStarted) {
    ::CoUninitialize();
    m_bComStarted = false;
  }
  m_hWnd = nullptr;
}

void TaskbarProgress::Show(int nPercent) {
  m_bShown = true;
  m_nPercent = nPercent;
  Apply();
}

void TaskbarProgress::Clear() {
  m_bShown = false;
  Apply();
}

void TaskbarProgress::Apply() {
  if (m_pList == nullptr) return;
  if (!m_bShown) {
    if (m_bStateSet) m_pList->SetProgressState(m_hWnd, TBPF_NOPROGRESS);
    m_bStateSet = false;
    return;
  }
  if (!m_bStateSet) m_pList->SetProgressState(m_hWnd, TBPF_NORMAL);
  m_bStateSet = true;
  m_pList->SetProgressValue(m_hWnd, static_cast<ULONGLONG>(m_nPercent), 100);
}

void TaskbarProgress::Report(HWND hWnd, int nPercent) {
  ::SendNotifyMessageA(hWnd, kReportMessage, static_cast<WPARAM>(nPercent), 0);
}

BOOL TaskbarProgress::OnMessage(HWND hWnd, UINT message, WPARAM wParam) {
  if (message == kReportMessage) {
    Show(static_cast<int>(wParam));
    return TRUE;
  }
  if (message == ButtonCreatedMessage()) {
    Attach(hWnd);
    return TRUE;
  }
  return FALSE;
}
