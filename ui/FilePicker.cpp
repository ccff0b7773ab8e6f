#include "ui/FilePicker.h"

#include <shlobj.h>

#include <cstddef>
#include <cstring>
#include <new>

namespace {

// Explorer style, resizable, existing files only, with our hook.
const DWORD kOpenFlags = OFN_EXPLORER | OFN_ENABLESIZING | OFN_FILEMUSTEXIST | OFN_ENABLEHOOK;
// OPENFILENAMEA with pvReserved, dwReserved, FlagsEx; and up to lpTemplateName.
const DWORD kExtendedSize = sizeof(OPENFILENAMEA);
const DWORD kClassicSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 4 || (kExtendedSize == 88 && kClassicSize == 76),
              "the 32-bit forms are 88 and 76 bytes");
const char kDefaultFilter[] = "All Files (*.*)\0*.*\0";

}  // namespace

FilePicker::FilePicker() : m_pszFileBuffer(nullptr), m_nBufferSize(1024) {
  std::memset(&m_ofn, 0, sizeof(m_ofn));

  OSVERSIONINFOEXA version;
  std::memset(&version, 0, sizeof(version));
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
    version.dwPlatformId = version.dwMajorVersion = version.dwMinorVersion = 0;
  }
  m_ofn.lStructSize =
      StructSizeFor(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);

  char documents[MAX_PATH] = {};
  if (SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE)) {
    documents[MAX_PATH - 1] = '\0';
    m_strLastDir = documents;
  }
}

FilePicker::~FilePicker() { delete[] m_pszFileBuffer; }

std::vector<std::string> FilePicker::OpenFiles(HWND owner, bool allowMultiple, const char* filter,
                                               const std::string& initialName,
                                               const std::string& initialDir) {
  std::vector<std::string> paths;

  m_ofn.nMaxFile = m_nBufferSize;
  m_ofn.hwndOwner = owner;
  m_ofn.Flags |= kOpenFlags;
  m_ofn.lpfnHook =
      reinterpret_cast<LPOFNHOOKPROC>(m_hookThunk.BindMember(this, &FilePicker::HookProc));
  if (m_ofn.lpfnHook == nullptr) m_ofn.Flags &= ~static_cast<DWORD>(OFN_ENABLEHOOK);
  if (allowMultiple) {
    m_ofn.Flags |= OFN_ALLOWMULTISELECT;
  } else {
    m_ofn.Flags &= ~static_cast<DWORD>(OFN_ALLOWMULTISELECT);
  }
  m_ofn.lpstrFilter = (filter != nullptr) ? filter : kDefaultFilter;

  if (!initialDir.empty()) m_strLastDir = initialDir;
  m_ofn.lpstrInitialDir = m_strLastDir.c_str();

  delete[] m_pszFileBuffer;
  // One byte more than the dialog is told about, so the text always ends.
  m_pszFileBuffer = new (std::nothrow) char[m_nBufferSize + 1]();
  if (m_pszFileBuffer != nullptr) {
    FillNameBuffer(m_pszFileBuffer, m_nBufferSize, initialName);
    m_ofn.lpstrFile = m_pszFileBuffer;
    if (GetOpenFileNameA(&m_ofn)) {
      if (m_ofn.Flags & OFN_ALLOWMULTISELECT) {
        paths = SplitSelection(m_pszFileBuffer, m_nBufferSize + 1);
      } else if (m_pszFileBuffer[0] != '\0') {
        paths.push_back(m_pszFileBuffer);
      }
      if (!paths.empty()) RememberFolder(paths.front(), m_strLastDir);
    }
  }

  delete[] m_pszFileBuffer;
  m_pszFileBuffer = nullptr;
  m_ofn.lpstrFile = nullptr;
  m_ofn.lpstrInitialDir = nullptr;
  return paths;
}

UINT_PTR FilePicker::HookProc(HWND window, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    // The hook gets a child of the Explorer-style dialog; move the dialog.
    HWND dialog = GetParent(window);
    RECT frame, work;
    if (dialog != nullptr && GetWindowRect(dialog, &frame) &&
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
      int width = frame.right - frame.left;
      int height = frame.bottom - frame.top;
      POINT origin = CentredOrigin(work, width, height);
      MoveWindow(dialog, origin.x, origin.y, width, height, TRUE);
    }
  }
  return 0;
}

DWORD FilePicker::StructSizeFor(DWORD dwPlatformId, DWORD dwMajor, DWORD dwMinor) {
  bool nt5 = dwPlatformId == VER_PLATFORM_WIN32_NT && dwMajor == 5 && dwMinor <= 2;
  return nt5 ? kExtendedSize : kClassicSize;
}

POINT FilePicker::CentredOrigin(const RECT& work, int width, int height) {
  POINT origin;
  origin.x = (work.right - width) / 2;
  origin.y = (work.bottom - height) / 2;
  return origin;
}

std::size_t FilePicker::FillNameBuffer(char* buffer, std::size_t size, const std::string& name) {
  if (buffer == nullptr || size == 0) return 0;
  std::memset(buffer, 0, size);
  std::size_t count = name.size() < size - 1 ? name.size() : size - 1;
  std::memcpy(buffer, name.data(), count);
  return count;
}

std::vector<std::string> FilePicker::SplitSelection(const char* buffer, std::size_t size) {
  std::vector<std::string> entries;
  for (std::size_t pos = 0; pos < size && buffer[pos] != '\0';) {
    std::size_t end = pos;
    while (end < size && buffer[end] != '\0') ++end;
    entries.emplace_back(buffer + pos, end - pos);
    pos = end + 1;
  }

  std::vector<std::string> paths;
  if (entries.empty()) return paths;
  // A lone entry is one picked file, unless it is a folder. A folder that
  // cannot be queried still counts as the folder when names follow it.
  DWORD attributes = GetFileAttributesA(entries[0].c_str());
  bool isFolder =
      attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (!isFolder && entries.size() == 1) {
    paths.push_back(entries[0]);
    return paths;
  }
  std::string folder = entries[0];
  if (folder.back() != '\\') folder += '\\';
  for (std::size_t i = 1; i < entries.size(); ++i) paths.push_back(folder + entries[i]);
  return paths;
}

bool FilePicker::RememberFolder(const std::string& firstPath, std::string& lastDir) {
  std::string root = firstPath.substr(0, 3);
  if (!GetVolumeInformationA(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0)) {
    return false;
  }
  std::string::size_type slash = firstPath.rfind('\\');
  lastDir = (slash == std::string::npos) ? std::string() : firstPath.substr(0, slash + 1);
  return true;
}
