// Files dropped on the main dialog as the shell drops them (wide paths):
// names in several scripts and a path beyond MAX_PATH reach the data source
// whole and are hashed. The test links the program's manifest, so it runs
// with the program's code page.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "engine/Hasher.h"
#include "tests/dialog/DialogDriver.h"
#include "tests/common/DeepFile.h"

CWinApp g_app("Vexorin");

namespace {

const int kSha256 = 14;

std::wstring Wide(const std::string& utf8) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), nullptr, 0);
  std::wstring wide(n, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &wide[0], n);
  return wide;
}

// The drop data the shell builds: DROPFILES, then NUL-separated wide paths
// ended by an empty one.
HGLOBAL MakeWideDrop(const std::vector<std::wstring>& paths) {
  size_t nSize = sizeof(DROPFILES) + sizeof(wchar_t);
  for (const std::wstring& path : paths) nSize += (path.size() + 1) * sizeof(wchar_t);
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, nSize);
  DROPFILES* pDrop = static_cast<DROPFILES*>(::GlobalLock(hMem));
  pDrop->pFiles = sizeof(DROPFILES);
  pDrop->fWide = TRUE;
  wchar_t* p = reinterpret_cast<wchar_t*>(pDrop + 1);
  for (const std::wstring& path : paths) {
    memcpy(p, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    p += path.size() + 1;
  }
  ::GlobalUnlock(hMem);
  return hMem;
}

std::string Sha256(const std::string& bytes) { return Hasher(kSha256).HashString(bytes, "", 0, 0); }

TEST(DroppedPaths, EveryScriptAndLengthIsTakenWholeAndHashed) {
  ASSERT_EQ(::GetACP(), 65001u) << "the program's manifest is linked";
  char szTemp[MAX_PATH] = {};
  ::GetTempPathA(sizeof(szTemp), szTemp);
  const std::string base =
      std::string(szTemp) + "vexorin-drop-" + std::to_string(::GetCurrentProcessId());
  // "отчёт-报告-🙂.bin" beside a short folder, and "файл-文件.bin" past
  // 300 bytes of folders.
  DeepFile mixed(
      base + "-short",
      "\xd0\xbe\xd1\x82\xd1\x87\xd1\x91\xd1\x82-\xe6\x8a\xa5\xe5\x91\x8a-\xf0\x9f\x99\x82.bin",
      "mixed", 0);
  DeepFile deep(base + "-deep", "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb-\xe6\x96\x87\xe4\xbb\xb6.bin",
                "deep");
  ASSERT_TRUE(mixed.Made() && deep.Made());
  ASSERT_GT(deep.Path().size(), 300u);

  DialogDriver d;
  d.Click(IDC_FILE);
  d.SelectAlgorithm(kSha256);
  const struct {
    const char* what;
    std::string path;
    std::string bytes;
  } files[] = {{"mixed scripts", mixed.Path(), "mixed"}, {"beyond MAX_PATH", deep.Path(), "deep"}};
  for (const auto& file : files) {
    SCOPED_TRACE(file.what);
    d.SetText(IDC_DATA, "");
    ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeWideDrop({Wide(file.path)}), 0);
    EXPECT_EQ(d.Text(IDC_DATA), file.path);
    EXPECT_EQ(d.RunFileJob(d.Text(IDC_DATA)), Sha256(file.bytes));
  }

  // The deep folder itself is a folder at any length: ignored.
  d.SetText(IDC_DATA, "");
  ::SendMessageA(d.m_hWnd, WM_DROPFILES, (WPARAM)MakeWideDrop({Wide(deep.Folder())}), 0);
  EXPECT_EQ(d.Text(IDC_DATA), "");
}

}  // namespace
