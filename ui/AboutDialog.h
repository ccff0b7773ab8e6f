#pragma once

#include "framework/Dialog.h"
#include "ui/HyperLink.h"

// The About box: icon, product line, notice and two links, one to the web
// site and one that starts a mail to support. Built afresh for every
// opening, so both links start unvisited.
class AboutDialog : public CDialog {
 public:
  AboutDialog();
  ~AboutDialog() override;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnDpiChanged(UINT nDpi) override;

  DECLARE_MESSAGE_MAP()

 private:
  HyperLink m_linkWeb;
  HyperLink m_linkMail;
  CIconHandle m_icon;  // the icon control's image after a DPI change
};
