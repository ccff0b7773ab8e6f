#include "ui/SavePicker.h"

#include <commdlg.h>

#include <vector>

#include "fileio/LongPath.h"

namespace {

std::wstring WideFromBytes(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(n > 0 ? n : 1, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  return wide.data();
}

// The type list: the index the dialog gives back is the form.
const wchar_t kFilter[] =
    L"Checksum file (digest  name)\0*\0"
    L"Checksum file, tagged (ALGORITHM (name) = digest)\0*\0";

}  // namespace

bool PickSavePath(HWND hOwner, const std::string& proposed, std::string* pPath,
                  ChecksumForm* pForm) {
  const size_t slash = proposed.find_last_of('\\');
  const std::wstring folder =
      WideFromBytes(slash == std::string::npos ? std::string() : proposed.substr(0, slash));
  const std::wstring name =
      WideFromBytes(slash == std::string::npos ? proposed : proposed.substr(slash + 1));
  // The longest path the system names.
  std::vector<wchar_t> file(32768, L'\0');
  name.copy(file.data(), file.size() - 1);

  OPENFILENAMEW ofn = {};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = hOwner;
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = (DWORD)file.size();
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.Flags =
      OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER | OFN_HIDEREADONLY;
  if (!::GetSaveFileNameW(&ofn)) return false;
  *pPath = NarrowFromWide(file.data(), -1);
  *pForm = ofn.nFilterIndex == 2 ? ChecksumForm::kBsdTag : ChecksumForm::kGnu;
  return !pPath->empty();
}
